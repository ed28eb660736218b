#pragma once
// The addresses a remote on the network can use to reach this computer.

#include <string>
#include <vector>

namespace corvello {

// IPv4 addresses of the network interfaces that are up, loopback left out, in
// the system's order.
std::vector<std::string> localIPv4Addresses();

}  // namespace corvello
