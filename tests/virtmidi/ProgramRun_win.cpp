// Started with CreateProcess on anonymous pipes; each output pipe is drained
// by its own thread so a chatty child never blocks on a full pipe. Its
// debugger output is caught through the system-wide debug monitor buffer,
// which OutputDebugStringA fills when no debugger is attached.
#include "tests/virtmidi/ProgramRun.h"

#include <windows.h>

#include <cstring>

#include <string>
#include <atomic>
#include <thread>
#include <utility>
#include <vector>

namespace corvello::test {

namespace {

// Under Wine the build's Unix paths are reached through Z:, the Unix root.
std::string windowsPath(std::string path)
{
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::string commandLine(const std::vector<std::string>& argv)
{
    std::string line = "\"" + windowsPath(argv.at(0)) + "\"";
    for (std::size_t i = 1; i < argv.size(); ++i)
        line += " \"" + argv[i] + "\"";
    return line;
}

struct Pipe {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    Pipe()
    {
        SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
        CreatePipe(&read, &write, &inheritable, 0);
    }
    ~Pipe() { closeRead(), closeWrite(); }
    void closeRead() { close(read); }
    void closeWrite() { close(write); }
    static void close(HANDLE& handle)
    {
        if (handle != nullptr)
            CloseHandle(handle);
        handle = nullptr;
    }
};

// Console programs write text-mode line ends; tests compare Unix ones.
void drain(HANDLE pipe, std::string& text)
{
    char chunk[4096];
    DWORD n = 0;
    while (ReadFile(pipe, chunk, sizeof chunk, &n, nullptr) && n != 0)
        text.append(chunk, n);
    std::erase(text, '\r');
}

// A debug monitor: the named buffer and its two events, and a thread that
// takes each string as it comes.
class DebugMonitor {
public:
    DebugMonitor()
    {
        mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kSize,
                                      "DBWIN_BUFFER");
        bufferReady_ = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY");
        dataReady_ = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY");
        view_ = mapping_ ? static_cast<const char*>(MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, kSize))
                         : nullptr;
        if (view_ && bufferReady_ && dataReady_)
            thread_ = std::thread([this] { run(); });
    }
    ~DebugMonitor()
    {
        finish();
        if (view_)
            UnmapViewOfFile(view_);
        for (HANDLE handle : {mapping_, bufferReady_, dataReady_})
            if (handle)
                CloseHandle(handle);
    }

    // Everything the process wrote while the monitor ran.
    std::string finish(DWORD processId = 0)
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        std::string text;
        for (const auto& [pid, line] : received_)
            if (pid == processId)
                text += line;
        return text;
    }

private:
    static constexpr DWORD kSize = 4096;

    void run()
    {
        SetEvent(bufferReady_);
        while (!stop_) {
            if (WaitForSingleObject(dataReady_, 20) != WAIT_OBJECT_0)
                continue;
            DWORD pid = 0;
            std::memcpy(&pid, view_, sizeof pid);
            received_.emplace_back(pid, std::string(view_ + sizeof pid, strnlen(view_ + sizeof pid, kSize - sizeof pid)));
            SetEvent(bufferReady_);
        }
    }

    HANDLE mapping_ = nullptr;
    HANDLE bufferReady_ = nullptr;
    HANDLE dataReady_ = nullptr;
    const char* view_ = nullptr;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::vector<std::pair<DWORD, std::string>> received_;
};

}  // namespace

ProgramRun runProgram(const std::vector<std::string>& argv, const std::string& input,
                      std::chrono::milliseconds limit)
{
    Pipe in, out, err;
    // Only the child's ends may be inherited.
    SetHandleInformation(in.write, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(out.read, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(err.read, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.read;
    startup.hStdOutput = out.write;
    startup.hStdError = err.write;
    PROCESS_INFORMATION process{};
    std::string command = commandLine(argv);
    ProgramRun run;
    DebugMonitor debugMonitor;
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process)) {
        run.errorOutput = "CreateProcess failed, error " + std::to_string(GetLastError());
        return run;
    }
    in.closeRead();
    out.closeWrite();
    err.closeWrite();
    std::thread outReader(drain, out.read, std::ref(run.output));
    std::thread errReader(drain, err.read, std::ref(run.errorOutput));
    DWORD written = 0;
    WriteFile(in.write, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    in.closeWrite();

    if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(limit.count())) == WAIT_TIMEOUT)
        TerminateProcess(process.hProcess, 1);
    else {
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        run.exitCode = static_cast<int>(code);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    outReader.join();
    errReader.join();
    run.debugOutput = debugMonitor.finish(process.dwProcessId);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return run;
}

}  // namespace corvello::test
