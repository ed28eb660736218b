// Winsock 2. Readiness uses select(): the link never waits on more than a
// handful of sockets, well inside FD_SETSIZE.
#include "link/Socket.h"
#include "link/SystemAddress.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>
#include <mutex>

namespace corvello::net {

namespace {

SOCKET raw(SocketHandle socket) { return static_cast<SOCKET>(socket); }
SocketHandle handle(SOCKET socket) { return socket == INVALID_SOCKET ? kNoSocket : static_cast<SocketHandle>(socket); }

sockaddr_in toSockaddr(PeerAddress peer)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = peer.address;
    sa.sin_port = peer.port;
    return sa;
}

bool setIntOption(SocketHandle socket, int level, int name, int value)
{
    return setsockopt(raw(socket), level, name, reinterpret_cast<const char*>(&value), sizeof value) == 0;
}

timeval toTimeval(int milliseconds) { return {milliseconds / 1000, (milliseconds % 1000) * 1000}; }

// select()'s time-out argument: null waits without limit.
timeval* timeoutFor(int milliseconds, timeval& storage)
{
    if (milliseconds == kWaitForever)
        return nullptr;
    storage = toTimeval(milliseconds);
    return &storage;
}

WaitResult fromSelect(int result)
{
    if (result == SOCKET_ERROR)
        return WaitResult::Failed;
    return result == 0 ? WaitResult::TimedOut : WaitResult::Ready;
}

}  // namespace

void startSockets()
{
    static std::once_flag started;
    std::call_once(started, [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    });
}

std::uint32_t loopbackAddress() { return htonl(INADDR_LOOPBACK); }

SocketHandle openTcpSocket() { return handle(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)); }
SocketHandle openUdpSocket() { return handle(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)); }

void closeSocket(SocketHandle socket)
{
    if (socket != kNoSocket)
        ::closesocket(raw(socket));
}

void shutdownSocket(SocketHandle socket)
{
    if (socket != kNoSocket)
        ::shutdown(raw(socket), SD_BOTH);
}

bool bindTo(SocketHandle socket, PeerAddress local)
{
    sockaddr_in sa = toSockaddr(local);
    return ::bind(raw(socket), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
}

bool bindToSystemPort(SocketHandle socket, std::uint32_t address) { return bindTo(socket, {address, 0}); }

bool listenWithMaximumBacklog(SocketHandle socket) { return ::listen(raw(socket), SOMAXCONN) == 0; }

std::int32_t localPort(SocketHandle socket)
{
    sockaddr_in sa{};
    int length = sizeof sa;
    if (::getsockname(raw(socket), reinterpret_cast<sockaddr*>(&sa), &length) != 0)
        return -1;
    return ntohs(sa.sin_port);
}

SocketHandle acceptConnection(SocketHandle listening, PeerAddress& peer)
{
    sockaddr_in sa{};
    int length = sizeof sa;
    SOCKET accepted = ::accept(raw(listening), reinterpret_cast<sockaddr*>(&sa), &length);
    if (accepted == INVALID_SOCKET)
        return kNoSocket;
    peer = {sa.sin_addr.s_addr, sa.sin_port};
    return handle(accepted);
}

bool connectSocket(SocketHandle socket, PeerAddress peer)
{
    sockaddr_in sa = toSockaddr(peer);
    return ::connect(raw(socket), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
}

std::uint32_t resolveIPv4(const std::string& host)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found)
        return 0;
    std::uint32_t address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(found);
    return address;
}

int sendBytes(SocketHandle socket, const std::uint8_t* bytes, int length)
{
    return ::send(raw(socket), reinterpret_cast<const char*>(bytes), length, 0);
}

int receiveBytes(SocketHandle socket, std::uint8_t* bytes, int capacity)
{
    return ::recv(raw(socket), reinterpret_cast<char*>(bytes), capacity, 0);
}

int receiveDatagram(SocketHandle socket, std::uint8_t* bytes, int capacity, PeerAddress& from)
{
    sockaddr_in sa{};
    int length = sizeof sa;
    int n = ::recvfrom(raw(socket), reinterpret_cast<char*>(bytes), capacity, 0, reinterpret_cast<sockaddr*>(&sa), &length);
    from = sa.sin_family == AF_INET ? PeerAddress{sa.sin_addr.s_addr, sa.sin_port} : PeerAddress{};
    return n;
}

bool setNonBlocking(SocketHandle socket, bool nonBlocking)
{
    u_long mode = nonBlocking ? 1 : 0;
    return ::ioctlsocket(raw(socket), FIONBIO, &mode) == 0;
}

bool setNoDelay(SocketHandle socket, bool noDelay)
{
    return socket != kNoSocket && setIntOption(socket, IPPROTO_TCP, TCP_NODELAY, noDelay ? 1 : 0);
}

bool setSendBufferSize(SocketHandle socket, int bytes) { return setIntOption(socket, SOL_SOCKET, SO_SNDBUF, bytes); }

WaitResult waitReadable(std::span<const SocketHandle> sockets, int milliseconds, std::span<bool> readable)
{
    fd_set set;
    FD_ZERO(&set);
    for (SocketHandle s : sockets)
        FD_SET(raw(s), &set);
    timeval storage;
    WaitResult result = fromSelect(::select(0, &set, nullptr, nullptr, timeoutFor(milliseconds, storage)));
    for (std::size_t i = 0; i < sockets.size(); ++i)
        readable[i] = result == WaitResult::Ready && FD_ISSET(raw(sockets[i]), &set);
    return result;
}

WaitResult waitWritable(SocketHandle socket, int milliseconds)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(raw(socket), &set);
    timeval storage;
    return fromSelect(::select(0, nullptr, &set, nullptr, timeoutFor(milliseconds, storage)));
}

bool systemParseAddress(bool ipv6, const char* text, void* bytes)
{
    return ::inet_pton(ipv6 ? AF_INET6 : AF_INET, text, bytes) == 1;
}

// Winsock resolves this computer's own name to every address of its
// interfaces, which spares the IP helper library.
std::vector<std::uint32_t> interfaceAddressesIPv4()
{
    std::vector<std::uint32_t> addresses;
    char name[256] = "";
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (::gethostname(name, sizeof name) != 0 || ::getaddrinfo(name, nullptr, &hints, &found) != 0)
        return addresses;
    for (addrinfo* entry = found; entry; entry = entry->ai_next) {
        std::uint32_t address = reinterpret_cast<sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr;
        if ((ntohl(address) >> 24) != 127)
            addresses.push_back(address);
    }
    ::freeaddrinfo(found);
    return addresses;
}

SocketError lastSocketError()
{
    int code = WSAGetLastError();
    char text[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(code), 0,
                   text, sizeof text, nullptr);
    std::string message = text;
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.pop_back();
    return {code, message};
}

bool lastErrorIsTransient()
{
    int code = WSAGetLastError();
    return code == WSAEWOULDBLOCK || code == WSAEINTR;
}

}  // namespace corvello::net
