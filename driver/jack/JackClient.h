#pragma once
// The JACK side of the host: one client, two MIDI ports per hosted port, and
// a process callback that only moves events between the ports' buffers and
// the rings (no locks, no allocation).

#include "driver/jack/HostedPort.h"
#include "driver/jack/Wakeup.h"

#include <atomic>
#include <memory>
#include <string>

#include <jack/jack.h>

namespace corvello {

class JackClient {
public:
    // Joins the running JACK server (never starts one); null, with `error`
    // set, when there is none.
    static std::unique_ptr<JackClient> open(const std::string& clientName, HostedPorts& ports,
                                            Wakeup& wakeup, std::string& error);
    ~JackClient();
    JackClient(const JackClient&) = delete;
    JackClient& operator=(const JackClient&) = delete;

    bool activate();

    // Registers the port's two JACK ports; the caller then publishes it.
    bool registerPorts(HostedPort& port, std::string& error);

    // True once the JACK server has gone away.
    bool serverGone() const { return serverGone_.load(); }

private:
    JackClient(jack_client_t* client, HostedPorts& ports, Wakeup& wakeup)
        : client_(client), ports_(ports), wakeup_(wakeup)
    {
    }
    static int process(jack_nframes_t frames, void* self);
    static void shutdown(void* self);
    void deliverToDaw(HostedPort& port, jack_nframes_t frames);
    bool collectFromDaw(HostedPort& port, jack_nframes_t frames);

    jack_client_t* client_;
    HostedPorts& ports_;
    Wakeup& wakeup_;
    std::atomic<bool> serverGone_{false};
};

}  // namespace corvello
