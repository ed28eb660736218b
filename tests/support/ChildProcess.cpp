#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

extern char** environ;

namespace corvello::test {

namespace {

using Clock = std::chrono::steady_clock;

int remaining(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Whether `entry` ("NAME=value") names a variable that `overrides` sets.
bool overridden(const std::vector<std::string>& overrides, const char* entry)
{
    const char* equals = std::strchr(entry, '=');
    const std::size_t nameLength = equals ? static_cast<std::size_t>(equals - entry) : std::strlen(entry);
    for (const auto& o : overrides)
        if (o.size() > nameLength && o.compare(0, nameLength, entry, nameLength) == 0 && o[nameLength] == '=')
            return true;
    return false;
}

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> result;
    for (auto& s : strings)
        result.push_back(s.data());
    result.push_back(nullptr);
    return result;
}

}  // namespace

ChildProcess::ChildProcess(std::vector<std::string> argv, std::vector<std::string> environment)
{
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");

    for (char** e = environ; *e; ++e)
        if (!overridden(environment, *e))
            environment.push_back(*e);
    auto args = pointers(argv);
    auto env = pointers(environment);

    pid_ = fork();
    if (pid_ < 0)
        throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        execve(args[0], args.data(), env.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    stdin_ = in[1];
    stdout_.fd = out[0];
    stderr_.fd = err[0];
}

ChildProcess::~ChildProcess()
{
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    for (int fd : {stdin_, stdout_.fd, stderr_.fd})
        if (fd >= 0)
            close(fd);
}

void ChildProcess::writeLine(const std::string& line)
{
    const std::string text = line + "\n";
    std::size_t done = 0;
    while (stdin_ >= 0 && done < text.size()) {
        const ssize_t n = write(stdin_, text.data() + done, text.size() - done);
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

void ChildProcess::closeStdin()
{
    if (stdin_ >= 0)
        close(stdin_);
    stdin_ = -1;
}

std::optional<std::string> ChildProcess::readLineFrom(Stream& stream, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const auto newline = stream.buffer.find('\n');
        if (newline != std::string::npos) {
            std::string line = stream.buffer.substr(0, newline);
            stream.buffer.erase(0, newline + 1);
            return line;
        }
        if (stream.fd < 0)
            return std::nullopt;
        pollfd p{stream.fd, POLLIN, 0};
        if (poll(&p, 1, remaining(deadline)) <= 0)
            return std::nullopt;
        char chunk[4096];
        const ssize_t n = read(stream.fd, chunk, sizeof chunk);
        if (n <= 0) {
            close(stream.fd);
            stream.fd = -1;
            continue;
        }
        stream.buffer.append(chunk, static_cast<std::size_t>(n));
    }
}

std::optional<std::string> ChildProcess::waitForLineIn(Stream& stream, const std::string& text,
                                                       std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (auto line = readLineFrom(stream, std::chrono::milliseconds(remaining(deadline))))
        if (line->find(text) != std::string::npos)
            return line;
    return std::nullopt;
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout)
{
    return readLineFrom(stdout_, timeout);
}

std::optional<std::string> ChildProcess::readErrorLine(std::chrono::milliseconds timeout)
{
    return readLineFrom(stderr_, timeout);
}

std::optional<std::string> ChildProcess::waitForLine(const std::string& text, std::chrono::milliseconds timeout)
{
    return waitForLineIn(stdout_, text, timeout);
}

std::optional<std::string> ChildProcess::waitForErrorLine(const std::string& text,
                                                          std::chrono::milliseconds timeout)
{
    return waitForLineIn(stderr_, text, timeout);
}

std::optional<int> ChildProcess::stop(int signal, std::chrono::milliseconds timeout)
{
    if (pid_ <= 0)
        return std::nullopt;
    kill(pid_, signal);
    const auto deadline = Clock::now() + timeout;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (Clock::now() >= deadline)
            return std::nullopt;
        usleep(10000);
    }
    pid_ = -1;
    if (!WIFEXITED(status))
        return std::nullopt;
    return WEXITSTATUS(status);
}

}  // namespace corvello::test
