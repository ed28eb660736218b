#pragma once
// Where the reference remote connects, and the one function that connects it.
// Every way of finding Corvello (an address given by hand, a discovered
// service) ends in an Endpoint handed to connectToCorvello.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/RemoteLink.h"

namespace corvello::remote {

struct Endpoint {
    std::string host;
    std::uint16_t port = 0;
};

// Reads "HOST:PORT" (the last colon separates them); false when either is missing.
bool parseEndpoint(std::string_view text, Endpoint& endpoint);

// Connects a client-mode node, preamble included. False when the link is not
// up within `timeout` or the connection failed.
bool connectToCorvello(RemoteLink& node, const Endpoint& endpoint, std::chrono::milliseconds timeout);

}  // namespace corvello::remote
