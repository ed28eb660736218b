#include "app/ProgramLog.h"

#include <windows.h>
#include <shlobj.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <thread>

#include "platform/DebugOutput.h"
#include "platform/LogFile.h"

namespace corvello {

namespace {

std::filesystem::path localAppData()
{
    wchar_t path[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path)))
        return path;
    return std::filesystem::temp_directory_path();
}

// What arrives through the pipe goes on line by line as log lines.
void forwardPrintedLines(HANDLE pipe)
{
    std::string pending;
    char chunk[1024];
    DWORD received = 0;
    while (ReadFile(pipe, chunk, sizeof chunk, &received, nullptr) && received > 0) {
        pending.append(chunk, received);
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
            std::string_view line(pending.data(), end);
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            log::write(log::Level::info, line);
        }
    }
}

// stdout and stderr (the C runtime's descriptors and the Win32 handles) become
// one pipe, read by a thread that lives as long as the process.
void capturePrintedOutput()
{
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, nullptr, 0))
        return;
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(writeEnd), _O_WRONLY | _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(readEnd);
        CloseHandle(writeEnd);
        return;
    }
    _dup2(descriptor, 1);
    _dup2(descriptor, 2);
    SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(1)));
    SetStdHandle(STD_ERROR_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(2)));
    _close(descriptor);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    std::thread(forwardPrintedLines, readEnd).detach();
}

}  // namespace

std::filesystem::path startProgramLog()
{
    const std::filesystem::path folder = localAppData() / "Corvello";
    log::Sink file = log::fileSink(folder / "Corvello.log", kProgramLogLimit);
    // A debugger still sees every line.
    log::setSink([file](log::Level level, std::string_view line) {
        file(level, line);
        debugOutput((std::string(line) + "\n").c_str());
    });
    capturePrintedOutput();
    return folder;
}

}  // namespace corvello
