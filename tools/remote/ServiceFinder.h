#pragma once
// Finds Corvello by DNS-SD: the first "_tamberlin._tcp" service that
// resolves, on any computer of the network.

#include <chrono>

#include "tools/remote/RemoteConnection.h"

namespace corvello::remote {

// False when the DNS-SD library is missing or nothing resolved within `timeout`.
bool findCorvello(Endpoint& endpoint, std::chrono::milliseconds timeout);

}  // namespace corvello::remote
