// Address text for link/Socket.h, the same on every platform.
#include <cstring>

#include "link/Socket.h"
#include "link/SystemAddress.h"

namespace corvello::net {

bool parseNumericAddress(const std::string& text, std::array<std::uint8_t, 16>& ipv6Form)
{
    // The system reads up to the first NUL; what follows it would go unjudged.
    if (text.find('\0') != std::string::npos)
        return false;
    std::array<std::uint8_t, 4> v4{};
    if (systemParseAddress(false, text.c_str(), v4.data())) {
        ipv6Form = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
        std::memcpy(ipv6Form.data() + 12, v4.data(), v4.size());
        return true;
    }
    return systemParseAddress(true, text.c_str(), ipv6Form.data());
}

std::string formatIPv4(std::uint32_t address)
{
    std::uint8_t bytes[4];
    std::memcpy(bytes, &address, sizeof bytes);  // network order is the order in memory
    return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." + std::to_string(bytes[2]) + "." +
           std::to_string(bytes[3]);
}

}  // namespace corvello::net
