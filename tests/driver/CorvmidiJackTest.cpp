// corvmidi-jack as a DAW on Linux meets it. Started for real: a JACK server
// (jackd, or PipeWire's JACK service in the PipeWire build of this test; see
// JackServer.h) and corvmidi-jack, by PID through ChildProcess; the virtual
// MIDI server runs in the test process with a private XDG_RUNTIME_DIR; a small
// JACK client in the test plays the DAW.

#include "driver/jack/MidiEventRing.h"
#include "tests/driver/DriverHarness.h"
#include "tests/driver/JackServer.h"
#include "tests/support/ChildProcess.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>

namespace corvello::test {
namespace {

// The DAW's end: one JACK output port feeding corvmidi-jack and one input port
// fed by it; events cross the process thread through rings.
class DawClient {
public:
    DawClient()
    {
        for (int attempt = 0; attempt < 100 && client_ == nullptr; ++attempt) {
            client_ = jack_client_open("daw", JackNoStartServer, nullptr);
            if (client_ == nullptr)
                std::this_thread::sleep_for(50ms);
        }
        if (client_ == nullptr)
            return;
        send_ = jack_port_register(client_, "send", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        receive_ = jack_port_register(client_, "receive", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client_, &DawClient::process, this);
        jack_activate(client_);
    }
    ~DawClient()
    {
        if (client_ != nullptr)
            jack_client_close(client_);
    }

    bool joined() const { return client_ != nullptr; }

    // Waits for corvmidi-jack's pair of ports for `port`.
    bool hasPorts(const std::string& port, std::chrono::milliseconds timeout)
    {
        for (auto deadline = std::chrono::steady_clock::now() + timeout;
             std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(50ms)) {
            if (jack_port_by_name(client_, ("corvmidi:" + port + " out").c_str()) &&
                jack_port_by_name(client_, ("corvmidi:" + port + " in").c_str()))
                return true;
        }
        return false;
    }

    // Waits for corvmidi-jack's ports of `port` and connects to them.
    bool connectTo(const std::string& port, std::chrono::milliseconds timeout)
    {
        return hasPorts(port, timeout) &&
               jack_connect(client_, jack_port_name(send_), ("corvmidi:" + port + " out").c_str()) == 0 &&
               jack_connect(client_, ("corvmidi:" + port + " in").c_str(), jack_port_name(receive_)) == 0;
    }

    void send(const Bytes& event) { outgoing_.push(event.data(), event.size()); }

    std::optional<Bytes> receive(std::chrono::milliseconds timeout = 5s)
    {
        for (auto deadline = std::chrono::steady_clock::now() + timeout;
             std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(5ms)) {
            if (const std::size_t size = incoming_.nextSize()) {
                Bytes event(size);
                incoming_.pop(event.data());
                return event;
            }
        }
        return std::nullopt;
    }

private:
    static int process(jack_nframes_t frames, void* self)
    {
        auto& daw = *static_cast<DawClient*>(self);
        void* out = jack_port_get_buffer(daw.send_, frames);
        jack_midi_clear_buffer(out);
        while (const std::size_t size = daw.outgoing_.nextSize()) {
            daw.outgoing_.pop(daw.event_.data());
            jack_midi_event_write(out, 0, daw.event_.data(), size);
        }
        void* in = jack_port_get_buffer(daw.receive_, frames);
        for (jack_nframes_t i = 0; i < jack_midi_get_event_count(in); ++i) {
            jack_midi_event_t received{};
            if (jack_midi_event_get(&received, in, i) == 0)
                daw.incoming_.push(received.buffer, received.size);
        }
        return 0;
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* send_ = nullptr;
    jack_port_t* receive_ = nullptr;
    MidiEventRing outgoing_{1 << 16};
    MidiEventRing incoming_{1 << 16};
    std::vector<std::uint8_t> event_ = std::vector<std::uint8_t>(MidiEventRing::kMaxEventSize);
};

class CorvmidiJack : public ::testing::Test {
protected:
    void SetUp() override
    {
        isolateSharedThings();
        jack = std::make_unique<JackServer>();
    }

    void TearDown() override
    {
        daw.reset();
        if (host) {
            EXPECT_EQ(host->stop(SIGTERM, 5s), 0) << "corvmidi-jack did not end cleanly";
        }
        host.reset();
        jack.reset();
        if (serverRunning)
            virtMidiServerStop();
    }

    void startHost() { host = std::make_unique<ChildProcess>(std::vector<std::string>{CORVMIDI_JACK}); }
    void startDaw()
    {
        daw = std::make_unique<DawClient>();
        ASSERT_TRUE(daw->joined()) << "the JACK server did not come up";
    }
    void startServer()
    {
        ASSERT_TRUE(virtMidiServerStart(kPortNames, &ServerRecorder::receive, &server));
        serverRunning = true;
    }
    void stopServer()
    {
        virtMidiServerStop();
        serverRunning = false;
    }

    // What the DAW writes reaches the server on `port` (other ports' traffic skipped).
    void expectServerReceives(std::int32_t port, const Bytes& bytes, std::chrono::milliseconds timeout = 5s)
    {
        for (;;) {
            auto received = server.next(timeout);
            ASSERT_TRUE(received) << "nothing reached the server";
            if (received->port == port) {
                EXPECT_EQ(received->bytes, bytes);
                return;
            }
        }
    }

    // A connection made with jack_connect carries events once the server has
    // rebuilt its graph, which PipeWire does a little later: the first event
    // is sent until one arrives.
    void sendUntilTheServerReceives(std::int32_t port, const Bytes& bytes)
    {
        for (int attempt = 0; attempt < 40; ++attempt) {
            daw->send(bytes);
            if (auto received = server.next(250ms); received && received->port == port) {
                EXPECT_EQ(received->bytes, bytes);
                while (server.next(100ms)) {
                }  // a copy sent just before the graph changed
                return;
            }
        }
        FAIL() << "nothing reached the server";
    }

    void serverSends(std::int32_t port, const Bytes& bytes)
    {
        virtMidiServerSend(port, bytes.data(), static_cast<std::int32_t>(bytes.size()));
    }

    std::unique_ptr<JackServer> jack;
    std::unique_ptr<ChildProcess> host;
    std::unique_ptr<DawClient> daw;
    ServerRecorder server;
    bool serverRunning = false;
};

TEST_F(CorvmidiJack, CarriesMidiBothWaysBetweenJackAndTheServer)
{
    startServer();
    startDaw();
    startHost();
    ASSERT_TRUE(daw->connectTo("Tamberlin", 10s)) << "no corvmidi:Tamberlin ports";
    for (const char* port : {"Swivo 1", "Swivo 2"})
        EXPECT_TRUE(daw->hasPorts(port, 1s)) << "no corvmidi:" << port << " ports";

    sendUntilTheServerReceives(2, {0x90, 0x3C, 0x7F});
    const Bytes sysExOut = {0xF0, 0x00, 0x00, 0x66, 0x14, 0x00, 0xF7};
    daw->send(sysExOut);
    expectServerReceives(2, sysExOut);

    serverSends(2, {0xB0, 0x10, 0x41});
    EXPECT_EQ(daw->receive(), (Bytes{0xB0, 0x10, 0x41}));
    // A long system-exclusive message spans several of the host's buffers and
    // several pipe messages, and still reaches the DAW whole.
    Bytes sysExIn(3000, 0x20);
    sysExIn.front() = 0xF0;
    sysExIn.back() = 0xF7;
    for (std::size_t at = 0; at < sysExIn.size(); at += 500)
        serverSends(2, Bytes(sysExIn.begin() + at, sysExIn.begin() + std::min(at + 500, sysExIn.size())));
    EXPECT_EQ(daw->receive(), sysExIn);
}

TEST_F(CorvmidiJack, FollowsCorvelloStartingLateAndRestarting)
{
    startDaw();
    startHost();
    std::this_thread::sleep_for(1s);
    EXPECT_FALSE(daw->connectTo("Tamberlin", 100ms)) << "ports shown before Corvello runs";
    startServer();
    ASSERT_TRUE(daw->connectTo("Tamberlin", 10s));
    sendUntilTheServerReceives(2, {0x90, 0x3C, 0x7F});

    stopServer();
    startServer();
    // The host notices within a few seconds and reopens its devices; until
    // then what the DAW sends is lost, so keep sending.
    for (int attempt = 0; attempt < 40; ++attempt) {
        daw->send({0x80, 0x3C, 0x00});
        if (auto received = server.next(250ms); received && received->port == 2) {
            EXPECT_EQ(received->bytes, (Bytes{0x80, 0x3C, 0x00}));
            serverSends(2, {0x90, 0x40, 0x01});
            EXPECT_EQ(daw->receive(), (Bytes{0x90, 0x40, 0x01}));
            return;
        }
    }
    FAIL() << "corvmidi-jack did not reconnect after Corvello restarted";
}

}  // namespace
}  // namespace corvello::test
