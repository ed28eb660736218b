#include "tests/driver/JackServer.h"

#include "tests/support/ChildProcess.h"

#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>

namespace corvello::test {

using namespace std::chrono_literals;

JackServer::Kind JackServer::kind()
{
#ifdef CORVELLO_TEST_PIPEWIRE
    return Kind::pipewire;
#else
    return Kind::jackd;
#endif
}

JackServer::JackServer()
{
    if (kind() == Kind::jackd) {
        const std::string serverName = "corvmidi-test-" + std::to_string(getpid());
        setenv("JACK_DEFAULT_SERVER", serverName.c_str(), 1);
        setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        processes_.push_back(std::make_unique<ChildProcess>(std::vector<std::string>{
            "/usr/bin/jackd", "-d", "dummy", "-r", "48000", "-p", "256"}));
        return;
    }
    // wireplumber needs a session bus; pipewire uses one when it is there.
    const std::string runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    const std::string busPath = runtimeDir + "/bus";
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + busPath).c_str(), 1);
    processes_.push_back(std::make_unique<ChildProcess>(std::vector<std::string>{
        "/usr/bin/dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=unix:path=" + busPath}));
    for (int attempt = 0; attempt < 100 && access(busPath.c_str(), F_OK) != 0; ++attempt)
        std::this_thread::sleep_for(20ms);
    processes_.push_back(std::make_unique<ChildProcess>(std::vector<std::string>{"/usr/bin/pipewire"}));
    const std::string pipewireSocket = runtimeDir + "/pipewire-0";
    for (int attempt = 0; attempt < 100 && access(pipewireSocket.c_str(), F_OK) != 0; ++attempt)
        std::this_thread::sleep_for(20ms);
    processes_.push_back(std::make_unique<ChildProcess>(std::vector<std::string>{"/usr/bin/wireplumber"}));
}

JackServer::~JackServer()
{
    while (!processes_.empty()) {
        processes_.back()->stop(SIGTERM, 5s);
        processes_.pop_back();
    }
}

}  // namespace corvello::test
