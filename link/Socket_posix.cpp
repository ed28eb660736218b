// BSD sockets. Readiness uses poll(), so descriptors above FD_SETSIZE are safe.
#include "link/Socket.h"
#include "link/SystemAddress.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <net/if.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace corvello::net {

namespace {

int fd(SocketHandle socket) { return static_cast<int>(socket); }

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
    return setsockopt(fd(socket), level, name, &value, sizeof value) == 0;
}

}  // namespace

void startSockets() {}

std::uint32_t loopbackAddress() { return htonl(INADDR_LOOPBACK); }

SocketHandle openTcpSocket() { return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0); }
SocketHandle openUdpSocket() { return ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0); }

void closeSocket(SocketHandle socket)
{
    if (socket != kNoSocket)
        ::close(fd(socket));
}

void shutdownSocket(SocketHandle socket)
{
    if (socket != kNoSocket)
        ::shutdown(fd(socket), SHUT_RDWR);
}

bool bindTo(SocketHandle socket, PeerAddress local)
{
    sockaddr_in sa = toSockaddr(local);
    return ::bind(fd(socket), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
}

bool bindToSystemPort(SocketHandle socket, std::uint32_t address) { return bindTo(socket, {address, 0}); }

bool listenWithMaximumBacklog(SocketHandle socket) { return ::listen(fd(socket), SOMAXCONN) == 0; }

std::int32_t localPort(SocketHandle socket)
{
    sockaddr_in sa{};
    socklen_t length = sizeof sa;
    if (::getsockname(fd(socket), reinterpret_cast<sockaddr*>(&sa), &length) != 0)
        return -1;
    return ntohs(sa.sin_port);
}

SocketHandle acceptConnection(SocketHandle listening, PeerAddress& peer)
{
    sockaddr_in sa{};
    socklen_t length = sizeof sa;
    int accepted = ::accept4(fd(listening), reinterpret_cast<sockaddr*>(&sa), &length, SOCK_CLOEXEC);
    if (accepted < 0)
        return kNoSocket;
    peer = {sa.sin_addr.s_addr, sa.sin_port};
    return accepted;
}

bool connectSocket(SocketHandle socket, PeerAddress peer)
{
    sockaddr_in sa = toSockaddr(peer);
    int result;
    do
        result = ::connect(fd(socket), reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    while (result != 0 && errno == EINTR);
    return result == 0;
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
    return static_cast<int>(::send(fd(socket), bytes, static_cast<size_t>(length), MSG_NOSIGNAL));
}

int receiveBytes(SocketHandle socket, std::uint8_t* bytes, int capacity)
{
    return static_cast<int>(::recv(fd(socket), bytes, static_cast<size_t>(capacity), 0));
}

int receiveDatagram(SocketHandle socket, std::uint8_t* bytes, int capacity, PeerAddress& from)
{
    sockaddr_in sa{};
    socklen_t length = sizeof sa;
    auto n = ::recvfrom(fd(socket), bytes, static_cast<size_t>(capacity), 0, reinterpret_cast<sockaddr*>(&sa), &length);
    from = sa.sin_family == AF_INET ? PeerAddress{sa.sin_addr.s_addr, sa.sin_port} : PeerAddress{};
    return static_cast<int>(n);
}

bool setNonBlocking(SocketHandle socket, bool nonBlocking)
{
    int flags = ::fcntl(fd(socket), F_GETFL);
    if (flags < 0)
        return false;
    flags = nonBlocking ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return ::fcntl(fd(socket), F_SETFL, flags) == 0;
}

bool setNoDelay(SocketHandle socket, bool noDelay)
{
    return socket != kNoSocket && setIntOption(socket, IPPROTO_TCP, TCP_NODELAY, noDelay ? 1 : 0);
}

bool setSendBufferSize(SocketHandle socket, int bytes) { return setIntOption(socket, SOL_SOCKET, SO_SNDBUF, bytes); }

WaitResult waitReadable(std::span<const SocketHandle> sockets, int milliseconds, std::span<bool> readable)
{
    std::vector<pollfd> polled;
    for (SocketHandle s : sockets)
        polled.push_back({fd(s), POLLIN, 0});
    int result = ::poll(polled.data(), polled.size(), milliseconds);
    if (result < 0)
        return errno == EINTR ? WaitResult::TimedOut : WaitResult::Failed;
    for (std::size_t i = 0; i < polled.size(); ++i)
        readable[i] = (polled[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
    return result == 0 ? WaitResult::TimedOut : WaitResult::Ready;
}

WaitResult waitWritable(SocketHandle socket, int milliseconds)
{
    pollfd polled{fd(socket), POLLOUT, 0};
    int result = ::poll(&polled, 1, milliseconds);
    if (result < 0)
        return errno == EINTR ? WaitResult::TimedOut : WaitResult::Failed;
    return result == 0 ? WaitResult::TimedOut : WaitResult::Ready;
}

bool systemParseAddress(bool ipv6, const char* text, void* bytes)
{
    return ::inet_pton(ipv6 ? AF_INET6 : AF_INET, text, bytes) == 1;
}

std::vector<std::uint32_t> interfaceAddressesIPv4()
{
    std::vector<std::uint32_t> addresses;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return addresses;
    for (ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET || (entry->ifa_flags & IFF_LOOPBACK))
            continue;
        addresses.push_back(reinterpret_cast<sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr);
    }
    ::freeifaddrs(list);
    return addresses;
}

SocketError lastSocketError()
{
    int code = errno;
    return {code, std::strerror(code)};
}

bool lastErrorIsTransient() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }

}  // namespace corvello::net
