#pragma once
// A program started by a test: its stdin, stdout and stderr are pipes, lines
// are read with a deadline, and it is stopped by PID when the test ends.

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace corvello::test {

class ChildProcess {
public:
    // Starts argv[0] (a path) with the given extra environment ("NAME=value").
    explicit ChildProcess(std::vector<std::string> argv, std::vector<std::string> environment = {});
    ~ChildProcess();  // SIGKILL and reap, if still running
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }

    void writeLine(const std::string& line);
    void closeStdin();

    // The next line on stdout (or stderr), or nothing when the deadline passes first.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);
    std::optional<std::string> readErrorLine(std::chrono::milliseconds timeout);
    // Reads stdout (or stderr) lines until one contains `text`; returns that line.
    std::optional<std::string> waitForLine(const std::string& text, std::chrono::milliseconds timeout);
    std::optional<std::string> waitForErrorLine(const std::string& text, std::chrono::milliseconds timeout);

    // Sends a signal and waits for the exit; the exit code, or nothing when it
    // did not end in time or ended by a signal.
    std::optional<int> stop(int signal, std::chrono::milliseconds timeout);

private:
    struct Stream {
        int fd = -1;
        std::string buffer;
    };
    std::optional<std::string> readLineFrom(Stream& stream, std::chrono::milliseconds timeout);
    std::optional<std::string> waitForLineIn(Stream& stream, const std::string& text,
                                             std::chrono::milliseconds timeout);

    pid_t pid_ = -1;
    int stdin_ = -1;
    Stream stdout_;
    Stream stderr_;
};

}  // namespace corvello::test
