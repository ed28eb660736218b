// corvmidi-jack: shows the corvmidi driver's devices to JACK, for Linux DAWs.
// It loads libcorvmidi.so the way the multimedia layer loads a MIDI driver on
// Windows and turns every port into a pair of JACK MIDI ports.

#include "driver/jack/DriverDevices.h"
#include "driver/loader/DriverLibrary.h"
#include "driver/jack/HostedPort.h"
#include "driver/jack/JackClient.h"
#include "driver/jack/Wakeup.h"
#include "platform/Log.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

using namespace corvello;

namespace {

constexpr char kUsage[] =
    "usage: corvmidi-jack [--driver PATH] [--name CLIENT]\n"
    "  --driver PATH  the driver library (default: libcorvmidi.so next to this program,\n"
    "                 then in ../lib/corvello, then wherever the dynamic loader finds it)\n"
    "  --name CLIENT  the JACK client name (default: corvmidi)\n"
    "The JACK server is the default one, or the one JACK_DEFAULT_SERVER names.\n";

struct Options {
    std::string driverPath;
    std::string clientName = "corvmidi";
};

std::string defaultDriverPath()
{
    std::error_code error;
    const auto here = std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
    for (const auto& candidate : {here / "libcorvmidi.so", here / "../lib/corvello/libcorvmidi.so"})
        if (!error && std::filesystem::exists(candidate, error))
            return candidate.string();
    return "libcorvmidi.so";
}

bool parseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if ((argument == "--driver" || argument == "--name") && i + 1 < argc)
            (argument == "--driver" ? options.driverPath : options.clientName) = argv[++i];
        else
            return false;
    }
    if (options.driverPath.empty())
        options.driverPath = defaultDriverPath();
    return true;
}

std::atomic<bool> stopRequested{false};
Wakeup* mainWakeup = nullptr;

void requestStop(int)
{
    stopRequested = true;
    mainWakeup->post();
}

int run(const Options& options)
{
    HostedPorts ports;
    Wakeup wakeup;
    mainWakeup = &wakeup;
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);

    std::string error;
    const auto driver = DriverLibrary::load(options.driverPath, error);
    if (!driver) {
        log::error("corvmidi-jack: cannot load %s: %s", options.driverPath.c_str(),
                   error.c_str());
        return 1;
    }
    const auto jack = JackClient::open(options.clientName, ports, wakeup, error);
    if (!jack || !jack->activate()) {
        log::error("corvmidi-jack: %s",
                   jack ? "cannot activate the JACK client" : error.c_str());
        return 1;
    }
    log::info("corvmidi-jack: running as JACK client \"%s\"",
              options.clientName.c_str());

    DriverDevices devices(*driver, *jack, ports, wakeup);
    while (!stopRequested && !jack->serverGone()) {
        devices.supervise();
        devices.service();
        wakeup.wait(std::chrono::milliseconds(100));
    }
    if (jack->serverGone()) {
        log::error("corvmidi-jack: the JACK server went away");
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parseOptions(argc, argv, options)) {
        // The log ends the line itself.
        log::error("%.*s", static_cast<int>(sizeof kUsage - 2), kUsage);
        return 2;
    }
    return run(options);
}
