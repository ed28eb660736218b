#pragma once
// The operating system's sockets, reduced to what the remote link needs:
// IPv4 TCP and UDP, readiness waits, address text, this computer's interface
// addresses, and the last error as number and text.
// One implementation per platform (Socket_posix.cpp, Socket_win.cpp).

#include <array>
#include <bit>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace corvello::net {

// A descriptor on POSIX, a SOCKET on Windows; kNoSocket when there is none.
using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kNoSocket = -1;

// An IPv4 endpoint as the network carries it: both fields in network byte order.
struct PeerAddress {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
};

struct SocketError {
    int code = 0;
    std::string text;
};

enum class WaitResult { Ready, TimedOut, Failed };
inline constexpr int kWaitForever = -1;

// Starts the platform's socket library once per process; later calls do nothing.
void startSockets();

SocketHandle openTcpSocket();
SocketHandle openUdpSocket();
void closeSocket(SocketHandle socket);
// Ends both directions; a thread waiting on the socket then sees an orderly close.
void shutdownSocket(SocketHandle socket);

// A port number in network byte order, as PeerAddress carries it.
constexpr std::uint16_t networkPort(std::uint16_t hostPort)
{
    if constexpr (std::endian::native == std::endian::big)
        return hostPort;
    return static_cast<std::uint16_t>(hostPort << 8 | hostPort >> 8);
}

inline constexpr std::uint32_t kAnyAddress = 0;
std::uint32_t loopbackAddress();  // 127.0.0.1 in network byte order

// Binds to the given IPv4 address (network order) on a system-chosen port.
bool bindToSystemPort(SocketHandle socket, std::uint32_t address = kAnyAddress);
// Binds to the given IPv4 endpoint; for a test that plays another host.
bool bindTo(SocketHandle socket, PeerAddress local);
// Listens with the system's maximum backlog.
bool listenWithMaximumBacklog(SocketHandle socket);
// The bound local port in host byte order, or -1 when it cannot be read.
std::int32_t localPort(SocketHandle socket);

SocketHandle acceptConnection(SocketHandle listening, PeerAddress& peer);
// Connects (blocking for TCP); for UDP this fixes the only peer.
bool connectSocket(SocketHandle socket, PeerAddress peer);
// First IPv4 address of `host` in network byte order; 0 when it cannot be resolved.
std::uint32_t resolveIPv4(const std::string& host);

// Results as the system gives them: the byte count, 0 for an orderly close
// (receive only), -1 on error (see lastSocketError and lastErrorIsTransient).
int sendBytes(SocketHandle socket, const std::uint8_t* bytes, int length);
int receiveBytes(SocketHandle socket, std::uint8_t* bytes, int capacity);
// One datagram and the IPv4 endpoint it came from.
int receiveDatagram(SocketHandle socket, std::uint8_t* bytes, int capacity, PeerAddress& from);

bool setNonBlocking(SocketHandle socket, bool nonBlocking);
bool setNoDelay(SocketHandle socket, bool noDelay);
bool setSendBufferSize(SocketHandle socket, int bytes);

// Waits until any socket is readable, without limit when `milliseconds` is
// kWaitForever; `readable[i]` tells which. Returns Failed when the wait itself fails.
WaitResult waitReadable(std::span<const SocketHandle> sockets, int milliseconds, std::span<bool> readable);
WaitResult waitWritable(SocketHandle socket, int milliseconds);

// A numeric IPv4 or IPv6 address in its 16-byte IPv6 form, an IPv4 address
// as ::ffff:a.b.c.d; false when `text` is not one. No name is looked up.
bool parseNumericAddress(const std::string& text, std::array<std::uint8_t, 16>& ipv6Form);
// Dotted-quad text of an IPv4 address in network byte order.
std::string formatIPv4(std::uint32_t address);
// This computer's IPv4 addresses in network byte order, loopback left out.
std::vector<std::uint32_t> interfaceAddressesIPv4();

SocketError lastSocketError();
// True when the last failure only means "not now" (would block, interrupted).
bool lastErrorIsTransient();

}  // namespace corvello::net
