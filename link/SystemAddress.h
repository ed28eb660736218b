#pragma once
// The one piece of address text the system reads for link/AddressText.cpp:
// inet_pton, whose header differs between the platforms' socket libraries.
// Implemented beside the rest of each platform's sockets (Socket_*.cpp).

namespace corvello::net {

// Reads a numeric IPv4 (4 bytes) or IPv6 (16 bytes) address into `bytes`,
// in network byte order; false when `text` is not one.
bool systemParseAddress(bool ipv6, const char* text, void* bytes);

}  // namespace corvello::net
