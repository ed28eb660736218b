#include "link/WakeSignal.h"

namespace corvello::net {

WakeSignal::WakeSignal()
{
    startSockets();
    socket_ = openUdpSocket();
    if (socket_ == kNoSocket)
        return;
    const std::uint32_t loopback = loopbackAddress();
    const std::int32_t port = bindToSystemPort(socket_, loopback) ? localPort(socket_) : -1;
    if (port < 0 || !connectSocket(socket_, {loopback, networkPort(static_cast<std::uint16_t>(port))})) {
        closeSocket(socket_);
        socket_ = kNoSocket;
        return;
    }
    setNonBlocking(socket_, true);
}

WakeSignal::~WakeSignal() { closeSocket(socket_); }

void WakeSignal::raise()
{
    static constexpr std::uint8_t kSignal = 1;
    if (socket_ != kNoSocket)
        sendBytes(socket_, &kSignal, 1);
}

void WakeSignal::drain()
{
    std::uint8_t byte;
    while (socket_ != kNoSocket && receiveBytes(socket_, &byte, 1) > 0) {
    }
}

}  // namespace corvello::net
