#include "tests/virtmidi/StalledServer.h"

#include <windows.h>

#include "virtmidi/virtmidiprotocol.h"

namespace corvello::test {

// Small buffers, so a few messages fill the pipe.
StalledServer::StalledServer(const char* portName)
{
    const HANDLE pipe = CreateNamedPipeA(virtMidiPipeName(portName).c_str(), PIPE_ACCESS_DUPLEX,
                                         PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                                         512, 512, 0, nullptr);
    if (pipe != INVALID_HANDLE_VALUE)
        handle_ = reinterpret_cast<std::intptr_t>(pipe);
}

StalledServer::~StalledServer()
{
    if (ready())
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace corvello::test
