#include "driver/jack/JackClient.h"

#include <jack/midiport.h>

namespace corvello {

std::unique_ptr<JackClient> JackClient::open(const std::string& clientName, HostedPorts& ports,
                                             Wakeup& wakeup, std::string& error)
{
    jack_status_t status{};
    jack_client_t* client = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
    if (client == nullptr) {
        error = "cannot join the JACK server (status 0x" + std::to_string(status) +
                "); is jackd running?";
        return nullptr;
    }
    std::unique_ptr<JackClient> self(new JackClient(client, ports, wakeup));
    jack_set_process_callback(client, &JackClient::process, self.get());
    jack_on_shutdown(client, &JackClient::shutdown, self.get());
    return self;
}

JackClient::~JackClient()
{
    jack_deactivate(client_);
    jack_client_close(client_);
}

bool JackClient::activate() { return jack_activate(client_) == 0; }

bool JackClient::registerPorts(HostedPort& port, std::string& error)
{
    const std::string toDaw = port.name + " in";
    const std::string fromDaw = port.name + " out";
    port.toDawPort = jack_port_register(client_, toDaw.c_str(), JACK_DEFAULT_MIDI_TYPE,
                                        JackPortIsOutput, 0);
    port.fromDawPort = jack_port_register(client_, fromDaw.c_str(), JACK_DEFAULT_MIDI_TYPE,
                                          JackPortIsInput, 0);
    if (port.toDawPort == nullptr || port.fromDawPort == nullptr) {
        error = "cannot register the JACK ports of \"" + port.name + "\"";
        return false;
    }
    return true;
}

int JackClient::process(jack_nframes_t frames, void* self)
{
    auto& client = *static_cast<JackClient*>(self);
    const std::uint32_t count = client.ports_.count.load(std::memory_order_acquire);
    bool collected = false;
    for (std::uint32_t i = 0; i < count; ++i) {
        HostedPort& port = client.ports_.ports[i];
        client.deliverToDaw(port, frames);
        collected |= client.collectFromDaw(port, frames);
    }
    if (collected)
        client.wakeup_.post();
    return 0;
}

// Everything waiting goes out at the start of the cycle; what the buffer has
// no room for waits for the next one, unless it could never fit.
void JackClient::deliverToDaw(HostedPort& port, jack_nframes_t frames)
{
    void* buffer = jack_port_get_buffer(port.toDawPort, frames);
    jack_midi_clear_buffer(buffer);
    bool bufferEmpty = true;
    while (const std::size_t size = port.toDaw.nextSize()) {
        jack_midi_data_t* event = jack_midi_event_reserve(buffer, 0, size);
        if (event == nullptr) {
            if (bufferEmpty)
                port.toDaw.skip();
            break;
        }
        port.toDaw.pop(event);
        bufferEmpty = false;
    }
}

bool JackClient::collectFromDaw(HostedPort& port, jack_nframes_t frames)
{
    void* buffer = jack_port_get_buffer(port.fromDawPort, frames);
    const jack_nframes_t events = jack_midi_get_event_count(buffer);
    for (jack_nframes_t i = 0; i < events; ++i) {
        jack_midi_event_t event{};
        if (jack_midi_event_get(&event, buffer, i) != 0)
            continue;
        if (!port.fromDaw.push(event.buffer, event.size))
            port.droppedFromDaw.fetch_add(1, std::memory_order_relaxed);
    }
    return events > 0;
}

void JackClient::shutdown(void* self)
{
    auto& client = *static_cast<JackClient*>(self);
    client.serverGone_.store(true);
    client.wakeup_.post();
}

}  // namespace corvello
