// The client end of a port's pipe against a server of the test's own
// (tests/virtmidi/StalledServer.h), for what the real server never does.

#include <gtest/gtest.h>

#include "tests/virtmidi/ServerFixture.h"
#include "tests/virtmidi/StalledServer.h"
#include "virtmidi/virtmidiclient.h"

namespace corvello::test {
namespace {

// A server that stops reading must not hold a writer (the driver's write runs
// on the DAW's output call): once the pipe's buffer is full, a write fails
// after its bounded wait instead of waiting on.
TEST(VirtMidiClient, AWriteTheServerNeverTakesFailsInsteadOfWaiting)
{
    isolateSharedThings();
    const StalledServer server("Stalled");
    ASSERT_TRUE(server.ready());
    std::string error;
    auto client = VirtMidiClientPipe::connect("Stalled", error);
    ASSERT_TRUE(client) << error;

    const Bytes message(virtMidiServerReadSize, 0x05);
    constexpr int kEnough = 100000;  // far more than any pipe buffer holds
    int written = 0;
    while (written < kEnough && client->write(message.data(), message.size()))
        ++written;
    EXPECT_LT(written, kEnough);
}

}  // namespace
}  // namespace corvello::test
