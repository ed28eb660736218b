#pragma once
// Ends another thread's wait on sockets: a loopback datagram socket connected
// to itself, which that thread watches beside its own sockets. A self-pipe
// in effect, but one that Windows' select() can watch too.

#include "link/Socket.h"

namespace corvello::net {

class WakeSignal {
public:
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    // What the waiting thread watches; kNoSocket when none could be made.
    SocketHandle socket() const { return socket_; }
    // Any thread: makes socket() readable.
    void raise();
    // The waiting thread, once socket() was readable: takes every pending signal.
    void drain();

private:
    SocketHandle socket_ = kNoSocket;
};

}  // namespace corvello::net
