#pragma once
// A UDP socket on 127.0.0.1 (or another loopback address, playing another
// host) for tests: sends datagrams to a port on 127.0.0.1 and waits for
// datagrams with a deadline. Uses the program's own socket seam.

#include <chrono>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "link/NetworkOrder.h"
#include "link/Socket.h"

namespace corvello::test {

class LoopbackUdp {
public:
    // The second loopback host, 127.0.0.2.
    static std::uint32_t otherHost()
    {
        const std::uint8_t bytes[4] = {127, 0, 0, 2};
        std::uint32_t address;
        std::memcpy(&address, bytes, sizeof address);
        return address;
    }

    explicit LoopbackUdp(std::uint32_t localAddress = net::loopbackAddress())
    {
        net::startSockets();
        socket_ = net::openUdpSocket();
        net::bindToSystemPort(socket_, localAddress);
    }
    ~LoopbackUdp() { net::closeSocket(socket_); }
    LoopbackUdp(const LoopbackUdp&) = delete;
    LoopbackUdp& operator=(const LoopbackUdp&) = delete;

    std::uint16_t port() const { return static_cast<std::uint16_t>(net::localPort(socket_)); }

    void sendTo(std::uint16_t port, const std::string& bytes)
    {
        net::connectSocket(socket_, {net::loopbackAddress(), toNetworkOrder16(port)});
        net::sendBytes(socket_, reinterpret_cast<const std::uint8_t*>(bytes.data()), static_cast<int>(bytes.size()));
    }

    std::optional<std::string> receive(std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        const net::SocketHandle handles[1] = {socket_};
        bool readable[1] = {false};
        if (net::waitReadable(handles, static_cast<int>(timeout.count()), readable) != net::WaitResult::Ready)
            return std::nullopt;
        std::uint8_t buffer[4096];
        const int size = net::receiveBytes(socket_, buffer, sizeof buffer);
        if (size < 0)
            return std::nullopt;
        return std::string(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(size));
    }

private:
    net::SocketHandle socket_ = net::kNoSocket;
};

}  // namespace corvello::test
