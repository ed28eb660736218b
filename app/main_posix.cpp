// Corvello on Linux: the same program as the Windows tray program, run in the
// foreground. SIGINT and SIGTERM take the path of the tray menu's "E&xit".

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/CommandLine.h"
#include "app/SettingsFile.h"
#include "app/Program.h"
#include "desktop/DesktopSettings.h"
#include "platform/Log.h"

namespace {

// Blocked before any thread starts, so every thread inherits the mask and the
// signals wait for sigwait on the main thread.
sigset_t blockExitSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    return signals;
}

// Whatever a thread may be stuck in, an exit request ends the process within
// 3 s: what has not finished by then is not waited for.
void endAfterExitDeadline()
{
    std::thread([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        corvello::log::error("Shutdown did not finish in time; ending the process");
        std::_Exit(1);
    }).detach();
}

}  // namespace

int main(int argc, char** argv)
{
    using corvello::CommandLine;
    std::string problem;
    const auto commandLine = corvello::parseCommandLine({argv + 1, argv + argc}, problem);
    if (!commandLine) {
        corvello::log::error("corvello: %s\n%s", problem.c_str(), corvello::usageLine().c_str());
        return 2;
    }
    const std::filesystem::path settingsFile = corvello::settingsFilePath();
    // What was asked for is the output, so it goes to stdout, not the log.
    if (commandLine->request == CommandLine::Request::Help) {
        std::fputs(corvello::helpText(settingsFile.string()).c_str(), stdout);
        return 0;
    }
    if (commandLine->request == CommandLine::Request::Version) {
        std::printf("corvello %s\n", corvello::versionText().c_str());
        return 0;
    }
    const auto options = corvello::readOptions(settingsFile, commandLine->values, problem);
    if (!options) {
        corvello::log::error("corvello: %s", problem.c_str());
        return 2;
    }
    corvello::log::setVerbose(options->verbose);
    if (options->noDesktop)
        corvello::desktopSettings().allowControl(false);

    const sigset_t exitSignals = blockExitSignals();
    std::signal(SIGPIPE, SIG_IGN);  // a remote or client that vanishes is handled where the write fails

    int exitCode = 0;
    {
        corvello::Program program;
        const std::uint16_t port = program.start(options->link);
        if (port == 0) {
            corvello::log::error("corvello: the remote link cannot listen; exiting");
            program.shutdown();
            std::fflush(nullptr);
            std::_Exit(1);
        }
        corvello::log::info("Corvello is listening for the remote on TCP port %u", unsigned{port});

        int received = 0;
        sigwait(&exitSignals, &received);
        endAfterExitDeadline();
        program.shutdown();
    }
    std::fflush(nullptr);
    // The link, the queues and the MIDI server's threads end with the process,
    // as on Windows; process-wide objects they use are not torn down under them.
    std::_Exit(exitCode);
}
