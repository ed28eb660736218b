#pragma once
// The JACK server a test's DAW and corvmidi-jack meet on, started for real:
// either `jackd -d dummy` under a server name of its own (JACK_DEFAULT_SERVER,
// so nothing else on the machine is disturbed), or PipeWire's JACK service:
// pipewire and wireplumber on a private session bus, in the test's own
// XDG_RUNTIME_DIR. A JACK client reaches PipeWire through PipeWire's libjack,
// which the test process and its children load through LD_LIBRARY_PATH (ctest
// sets it for the PipeWire variant of the test).

#include <memory>
#include <vector>

namespace corvello::test {

class ChildProcess;

class JackServer {
public:
    enum class Kind { jackd, pipewire };

    // Starts the server of the kind this test binary was built for. Call
    // after the test's XDG_RUNTIME_DIR is set.
    JackServer();
    ~JackServer();

    static Kind kind();

private:
    std::vector<std::unique_ptr<ChildProcess>> processes_;  // started in order, stopped in reverse
};

}  // namespace corvello::test
