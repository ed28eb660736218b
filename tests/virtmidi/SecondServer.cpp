// Tries to start a server next to the test's own and reports the result the
// way the routing core does, on stdout so the test can read it.
#include <cstdio>

#include "virtmidi/virtmidiserver.h"

namespace {
void ignore(void*, std::int32_t, const std::uint8_t*, std::int32_t) {}
}  // namespace

int main()
{
    const char* const names[] = {"Other 1", nullptr};
    const bool started = corvello::virtMidiServerStart(names, &ignore, nullptr);
    std::printf("Ok=%s\n", started ? "true" : "false");
    if (started)
        corvello::virtMidiServerStop();
    return 0;
}
