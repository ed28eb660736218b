// Winsock 2. Readiness uses select(): the link never waits on more than a
// handful of sockets, well inside FD_SETSIZE.
#include "link/Socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

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

bool bindToSystemPort(SocketHandle socket, std::uint32_t address)
{
    sockaddr_in sa = toSockaddr({address, 0});
    return ::bind(raw(socket), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
}

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
    timeval timeout = toTimeval(milliseconds);
    WaitResult result = fromSelect(::select(0, &set, nullptr, nullptr, &timeout));
    for (std::size_t i = 0; i < sockets.size(); ++i)
        readable[i] = result == WaitResult::Ready && FD_ISSET(raw(sockets[i]), &set);
    return result;
}

WaitResult waitWritable(SocketHandle socket, int milliseconds)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(raw(socket), &set);
    timeval timeout = toTimeval(milliseconds);
    return fromSelect(::select(0, nullptr, &set, nullptr, &timeout));
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
