// Started with CreateProcess on anonymous pipes; each output pipe is drained
// by its own thread so a chatty child never blocks on a full pipe.
#include "tests/virtmidi/ProgramRun.h"

#include <windows.h>

#include <string>
#include <thread>

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
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return run;
}

}  // namespace corvello::test
