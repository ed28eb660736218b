#pragma once
// A Windows program started by a test from a command line; ended with exit
// code 1 if it is still running when the test lets go of it.

#include <windows.h>

#include <optional>
#include <string>

namespace corvello::test {

struct StartedProcess {
    explicit StartedProcess(std::string commandLine)
    {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &process);
    }
    ~StartedProcess()
    {
        if (!started)
            return;
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    StartedProcess(const StartedProcess&) = delete;
    StartedProcess& operator=(const StartedProcess&) = delete;

    // The exit code, or nothing when it was not started or did not end in time.
    std::optional<DWORD> waitForExit(DWORD timeoutMs) const
    {
        if (!started || WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0)
            return std::nullopt;
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        return code;
    }

    BOOL started = FALSE;
    PROCESS_INFORMATION process{};
};

}  // namespace corvello::test
