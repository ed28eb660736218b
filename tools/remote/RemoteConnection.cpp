#include "tools/remote/RemoteConnection.h"

#include <charconv>
#include <thread>

namespace corvello::remote {

bool parseEndpoint(std::string_view text, Endpoint& endpoint)
{
    std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0)
        return false;
    std::string_view port = text.substr(colon + 1);
    auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), endpoint.port);
    if (error != std::errc{} || end != port.data() + port.size() || endpoint.port == 0)
        return false;
    endpoint.host = std::string(text.substr(0, colon));
    return true;
}

bool connectToCorvello(RemoteLink& node, const Endpoint& endpoint, std::chrono::milliseconds timeout)
{
    node.connectTo(endpoint.host, endpoint.port);
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!node.isConnected()) {
        if (!node.linkThreadRunning() || std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace corvello::remote
