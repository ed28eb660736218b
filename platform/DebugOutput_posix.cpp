#include "platform/DebugOutput.h"

#include <cstdio>

namespace corvello {

// No debugger channel on POSIX: stderr is where a person or a test looks.
void debugOutput(const char* text)
{
    std::fputs(text, stderr);
    std::fflush(stderr);
}

}  // namespace corvello
