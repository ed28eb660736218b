#pragma once

#include <chrono>

#include "tests/support/ChildProcess.h"

namespace corvello::test {

// Waits until Mackie Control answers on `daw`, a client of "Tamberlin".
// The client counts as connected before the server has accepted it, so the
// introduction sent on selection can pass it by; a device query from the DAW
// is answered whenever it arrives after the selection, so it is repeated
// until the answer comes.
inline bool waitForMackieControl(ChildProcess& daw, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (daw.waitForLine("F0 00 00 66 14 01", std::chrono::milliseconds(200)))
            return true;
        daw.writeLine("F0 00 00 66 14 00 F7");
    }
    return false;
}

}  // namespace corvello::test
