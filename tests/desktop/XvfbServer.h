#pragma once
// A private X server for a test: Xvfb picks a free display number itself
// (-displayfd) and reports it once it accepts clients; stopped by its PID.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace corvello::test {

class XvfbServer {
public:
    // `options` go after the defaults, such as "-extension MIT-SHM" to take an extension away.
    explicit XvfbServer(const std::vector<std::string>& options = {})
    {
        int ready[2];
        if (pipe(ready) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, ready[0]);
        const std::string fd = std::to_string(ready[1]);
        std::vector<const char*> argv = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp"};
        for (const std::string& option : options)
            argv.push_back(option.c_str());
        argv.push_back(nullptr);
        const int spawned = posix_spawnp(&pid, "Xvfb", &actions, nullptr, const_cast<char**>(argv.data()), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(ready[1]);
        if (spawned != 0) {
            pid = -1;
            close(ready[0]);
            return;
        }
        char digits[16] = {};
        std::size_t got = 0;
        while (got < sizeof digits - 1 && read(ready[0], digits + got, 1) == 1 && digits[got] != '\n')
            ++got;
        close(ready[0]);
        if (got > 0)
            display = ":" + std::string(digits, got);
    }

    ~XvfbServer() { stop(); }

    void stop()
    {
        if (pid <= 0)
            return;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }

    bool running() const { return pid > 0 && !display.empty(); }

    pid_t pid = -1;
    std::string display;  // ":N"
};

// What a shell command prints, such as `xdotool getmouselocation`.
inline std::string commandOutput(const std::string& command)
{
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe))
            output += buffer;
        pclose(pipe);
    }
    return output;
}

}  // namespace corvello::test
