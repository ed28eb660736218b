// The port table in front of a real virtual MIDI server (a private runtime
// directory on POSIX, named pipes under Wine) with real DAW-side clients.

#include <gtest/gtest.h>

#include <array>
#include <utility>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "routing/MIDIPortTable.h"
#include "tests/virtmidi/ServerFixture.h"
#include "virtmidi/virtmidiclient.h"
#include "virtmidi/virtmidiserver.h"

namespace corvello {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct WaitingFilter : MIDIFilter {
    int receive(std::int32_t localPort, const std::uint8_t* bytes, std::int32_t length) override
    {
        std::lock_guard lock(mutex);
        port = localPort;
        received = Bytes(bytes, bytes + length);
        changed.notify_all();
        return 1;
    }
    // The next block, with its local port; empty after ten seconds without one.
    std::pair<std::int32_t, Bytes> next()
    {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(10), [&] { return !received.empty(); });
        return {port, std::exchange(received, {})};
    }
    std::mutex mutex;
    std::condition_variable changed;
    std::int32_t port = -1;
    Bytes received;
};

Bytes readMessage(VirtMidiClientPipe& pipe)
{
    std::array<std::uint8_t, virtMidiClientReadSize> buffer{};
    std::string reason;
    auto n = pipe.read(buffer, reason);
    return n ? Bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(*n)) : Bytes{};
}

std::unique_ptr<VirtMidiClientPipe> connectTo(const char* name)
{
    std::string error;
    auto pipe = VirtMidiClientPipe::connect(name, error);
    EXPECT_TRUE(pipe) << name << ": " << error;
    return pipe;
}

TEST(MIDIPortTableWithServer, NodesSendOnTheirOwnPortsAndHearTheirClients)
{
    test::isolateSharedThings();
    WaitingFilter pannerFilter, mainFilter;  // outlive the nodes that detach them
    MIDIPortTable table;
    MIDINode* panner = table.createNode(2);
    MIDINode* main = table.createNode(1);
    ASSERT_TRUE(table.startServer());
    panner->addFilter(&pannerFilter);
    main->addFilter(&mainFilter);

    // What a client writes reaches the node owning its port, as a local port.
    // Once it has, the server also knows the client, so sends reach it.
    const Bytes pitchBend{0xE0, 0x00, 0x40}, noteOff{0x80, 0x3C, 0x00};
    auto tamberlin = connectTo("Tamberlin");
    auto swivo2 = connectTo("Swivo 2");
    ASSERT_TRUE(tamberlin && swivo2);
    ASSERT_TRUE(tamberlin->write(pitchBend.data(), pitchBend.size()));
    EXPECT_EQ(mainFilter.next(), std::make_pair(0, pitchBend));
    ASSERT_TRUE(swivo2->write(noteOff.data(), noteOff.size()));
    EXPECT_EQ(pannerFilter.next(), std::make_pair(1, noteOff));

    const Bytes cc{0xBE, 0x02, 0x7F}, noteOn{0x90, 0x3C, 0x7F};
    panner->send(1, cc.data(), 3);
    EXPECT_EQ(readMessage(*swivo2), cc);

    // Local port 2 is not the panner's: it must not land on "Tamberlin".
    panner->send(2, cc.data(), 3);
    main->send(0, noteOn.data(), 3);
    EXPECT_EQ(readMessage(*tamberlin), noteOn);
    virtMidiServerStop();
}

}  // namespace
}  // namespace corvello
