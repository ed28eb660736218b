#include "routing/VersionCode.h"

#include "platform/ProductVersion.h"

namespace corvello {

std::int16_t versionCode(std::uint16_t major, std::uint16_t minor, std::uint16_t build)
{
    const std::int32_t code = (((std::int32_t{minor} - std::int32_t{major} * 32) * 32) + build) * 32;
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(code));
}

std::int16_t ownVersionCode()
{
    const auto version = readProductVersion();
    return version ? versionCode(version->major, version->minor, version->build) : 0;
}

bool versionsCompatible(std::int32_t own, std::int32_t remote)
{
    for (int shift : {15, 10, 5})
        if ((((own >> shift) ^ (remote >> shift)) & 0xFF) != 0)
            return false;
    return true;
}

}  // namespace corvello
