// The server with real clients on both transports: clients in this process
// through the client pipe, and other processes (corvello-pipeclient and a
// second server) started for real.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/virtmidi/ProgramRun.h"
#include "tests/virtmidi/ServerFixture.h"
#include "virtmidi/virtmidilock.h"
#include "virtmidi/virtmidiportlist.h"

namespace corvello::test {
namespace {

const Bytes kNoteOn{0x90, 0x3C, 0x7F};

Bytes filled(std::size_t size, std::uint8_t value) { return Bytes(size, value); }

TEST_F(VirtMidiServerTest, PublishesThePortsAndRefusesASecondStartUntilStopped)
{
    EXPECT_TRUE(virtMidiServerRunning());
    EXPECT_EQ(virtMidiReadPortList(), (std::vector<std::string>{"Swivo 1", "Swivo 2", "Tamberlin"}));
    EXPECT_FALSE(virtMidiServerStart(kPortNames, &Recorder::receive, &recorder));

    virtMidiServerStop();
    EXPECT_FALSE(virtMidiServerRunning());
    EXPECT_TRUE(virtMidiServerStart(kPortNames, &Recorder::receive, &recorder));
}

TEST_F(VirtMidiServerTest, ASecondServerInAnotherProcessIsRefused)
{
    const ProgramRun run = runProgram({SECOND_SERVER}, "", 30s);
    EXPECT_EQ(run.exitCode, 0) << run.errorOutput;
    EXPECT_EQ(run.output, "Ok=false\n");
    EXPECT_NE(run.debugOutput.find("A Virtual MIDI Server is already running"), std::string::npos)
        << run.debugOutput;
}

TEST_F(VirtMidiServerTest, AnotherProcessListsThePorts)
{
    const ProgramRun run = runProgram({PIPECLIENT, "--list"}, "", 30s);
    EXPECT_EQ(run.exitCode, 0) << run.errorOutput;
    EXPECT_EQ(run.output, "Swivo 1\nSwivo 2\nTamberlin\n");
}

// The receiver sends each message back from inside the receive path, as the
// routing core does, while a client process writes and prints.
TEST_F(VirtMidiServerTest, MessagesCrossBothWaysWithAClientProcess)
{
    recorder.echo = true;
    const ProgramRun run =
        runProgram({PIPECLIENT, "--linger", "3000", "Swivo 2"}, "90 3C 7F\nC0 05\nF8\n", 30s);
    EXPECT_EQ(run.exitCode, 0) << run.errorOutput;
    EXPECT_EQ(run.output, "90 3C 7F\nC0 05\nF8\n") << run.errorOutput;
    EXPECT_EQ(recorder.next(), (Received{1, kNoteOn}));
    EXPECT_EQ(recorder.next(), (Received{1, {0xC0, 0x05}}));
    EXPECT_EQ(recorder.next(), (Received{1, {0xF8}}));
}

TEST_F(VirtMidiServerTest, EveryClientOfAPortReceivesAndEachWriteArrivesWithItsPort)
{
    auto first = connectClient("Swivo 1");
    auto second = connectClient("Swivo 1");
    auto other = connectClient("Tamberlin");
    ASSERT_TRUE(first && second && other);
    ASSERT_TRUE(clientCountReaches(0, 2));
    ASSERT_TRUE(clientCountReaches(2, 1));

    send(0, kNoteOn);
    EXPECT_EQ(readMessage(*first), kNoteOn);
    EXPECT_EQ(readMessage(*second), kNoteOn);

    ASSERT_TRUE(first->write(Bytes{0xB0, 0x07, 0x64}.data(), 3));
    EXPECT_EQ(recorder.next(), (Received{0, {0xB0, 0x07, 0x64}}));
    ASSERT_TRUE(second->write(Bytes{0x80, 0x3C, 0x00}.data(), 3));
    EXPECT_EQ(recorder.next(), (Received{0, {0x80, 0x3C, 0x00}}));
    ASSERT_TRUE(other->write(Bytes{0xF8}.data(), 1));
    EXPECT_EQ(recorder.next(), (Received{2, {0xF8}}));

    // Port 0's send did not reach port 2's client: its first message is this.
    send(2, {0xFA});
    EXPECT_EQ(readMessage(*other), (Bytes{0xFA}));
}

TEST_F(VirtMidiServerTest, AMessageBreakingTheLimitsEndsOnlyItsSendersConnection)
{
    struct Case {
        std::size_t size;
        bool accepted;
    };
    for (const Case c : {Case{4096, true}, Case{4097, false}, Case{0, false}}) {
        SCOPED_TRACE(c.size);
        auto bystander = connectClient("Swivo 1");
        auto sender = connectClient("Swivo 1");
        ASSERT_TRUE(bystander && sender);
        ASSERT_TRUE(clientCountReaches(0, 2));

        // Written back to back, so the second is already queued when the
        // server reads again.
        const Bytes message = filled(c.size, 0x42);
        ASSERT_TRUE(sender->write(kNoteOn.data(), kNoteOn.size()));
        ASSERT_TRUE(sender->write(message.data(), message.size()));
        EXPECT_EQ(recorder.next(), (Received{0, kNoteOn}));
        if (c.accepted) {
            EXPECT_EQ(recorder.next(), (Received{0, message}));
        } else {
            EXPECT_EQ(readMessage(*sender), std::nullopt);
            EXPECT_TRUE(clientCountReaches(0, 1));
        }

        send(0, kNoteOn);
        EXPECT_EQ(readMessage(*bystander), kNoteOn);
        ASSERT_TRUE(bystander->write(kNoteOn.data(), kNoteOn.size()));
        EXPECT_EQ(recorder.next(), (Received{0, kNoteOn}));
        bystander.reset();
        sender.reset();
        ASSERT_TRUE(clientCountReaches(0, 0));
    }
}

TEST_F(VirtMidiServerTest, AClientTakes512ByteMessagesAndEndsOnLongerOnes)
{
    auto client = connectClient("Tamberlin");
    ASSERT_TRUE(client);
    ASSERT_TRUE(clientCountReaches(2, 1));

    send(2, filled(512, 0x01));
    EXPECT_EQ(readMessage(*client), filled(512, 0x01));
    send(2, filled(513, 0x02));
    std::uint8_t buffer[virtMidiClientReadSize];
    std::string endReason;
    EXPECT_EQ(client->read(buffer, endReason), std::nullopt);
    EXPECT_NE(endReason.find("512"), std::string::npos) << endReason;
}

TEST_F(VirtMidiServerTest, SendsThatReachNoClientTakeNothing)
{
    send(1, kNoteOn);  // a port without clients
    auto client = connectClient("Swivo 1");
    ASSERT_TRUE(client);
    ASSERT_TRUE(clientCountReaches(0, 1));
    for (const std::int32_t port : {-1, 3, 63, INT32_MAX})
        send(port, kNoteOn);
    virtMidiServerSend(0, nullptr, 3);
    virtMidiServerSend(0, kNoteOn.data(), 0);  // would end every client's connection
    virtMidiServerSend(0, kNoteOn.data(), -5);

    send(0, {0xFA});
    EXPECT_EQ(readMessage(*client), (Bytes{0xFA}));
    EXPECT_EQ(virtMidiServerClientCount(0), 1u);
}

TEST_F(VirtMidiServerTest, AClientThatLeavesIsDroppedFromItsPort)
{
    auto leaving = connectClient("Swivo 1");
    auto staying = connectClient("Swivo 1");
    ASSERT_TRUE(leaving && staying);
    ASSERT_TRUE(clientCountReaches(0, 2));

    leaving.reset();
    EXPECT_TRUE(clientCountReaches(0, 1));
    send(0, kNoteOn);
    EXPECT_EQ(readMessage(*staying), kNoteOn);
}

// Clients that leave before the server has even taken them must cost only
// their own connection, never the port or the server.
TEST_F(VirtMidiServerTest, ClientsThatComeAndGoAtOnceNeverStopTheServer)
{
    for (int i = 0; i < 200; ++i) {
        std::string refusedInTheRush;
        VirtMidiClientPipe::connect("Swivo 2", refusedInTheRush);
    }
    ASSERT_TRUE(clientCountReaches(1, 0));

    auto client = connectClient("Swivo 2");
    ASSERT_TRUE(client);
    ASSERT_TRUE(client->write(kNoteOn.data(), kNoteOn.size()));
    EXPECT_EQ(recorder.next(), (Received{1, kNoteOn}));
    send(1, kNoteOn);
    EXPECT_EQ(readMessage(*client), kNoteOn);
}

// Pitch bend number `index` of a burst, unique for the first 2^18.
Bytes pitchBend(int index)
{
    return {static_cast<std::uint8_t>(0xE0 | (index >> 14)), static_cast<std::uint8_t>(index & 0x7F),
            static_cast<std::uint8_t>((index >> 7) & 0x7F)};
}

// Ten thousand faders moved at once, as two pitch bends each, sent as fast
// as the routing core can, reach a client that reads as fast as it can:
// every one, in order, and nobody is called "not reading".
TEST_F(VirtMidiServerTest, ABurstReachesAClientThatReadsCompleteAndInOrder)
{
    CapturedLog log;
    auto client = connectClient("Swivo 1");
    ASSERT_TRUE(client);
    ASSERT_TRUE(clientCountReaches(0, 1));

    constexpr int kBurst = 20000;
    std::atomic<int> inOrder{0};
    std::thread reader([&] {
        while (inOrder < kBurst) {
            const auto message = readMessage(*client);
            if (!message || *message != pitchBend(inOrder))
                return;
            ++inOrder;
        }
    });
    for (int i = 0; i < kBurst; ++i)
        send(0, pitchBend(i));
    EXPECT_TRUE(eventually([&] { return inOrder == kBurst; }, 120s)) << inOrder << " in order";
    EXPECT_TRUE(log.linesWith("not reading").empty()) << log.text();
    virtMidiServerStop();  // ends the reader too, had it stopped short
    reader.join();
}

// A client that never reads is given up on, and holds up neither the sender
// nor a client that reads, which loses nothing.
TEST_F(VirtMidiServerTest, AClientThatNeverReadsIsGivenUpOnAndStallsNobody)
{
    CapturedLog log;
    auto idle = connectClient("Swivo 1");
    auto reading = connectClient("Swivo 1");
    ASSERT_TRUE(idle && reading);
    ASSERT_TRUE(clientCountReaches(0, 2));

    constexpr int kMessages = 2000;  // far more than any pipe buffer holds
    std::atomic<int> inOrder{0};
    std::thread reader([&] {
        while (const auto message = readMessage(*reading)) {
            if (*message != filled(256, static_cast<std::uint8_t>(inOrder & 0x7F)))
                return;
            if (++inOrder == kMessages)
                return;
        }
    });
    for (int i = 0; i < kMessages; ++i)
        send(0, filled(256, static_cast<std::uint8_t>(i & 0x7F)));
    EXPECT_TRUE(eventually([&] { return !log.linesWith("a client of port 0 is not reading").empty(); }));
    EXPECT_TRUE(eventually([&] { return inOrder == kMessages; })) << inOrder << " in order";
    EXPECT_EQ(readMessage(*idle), filled(256, 0));
    virtMidiServerStop();  // ends the reader too, had it stopped short
    reader.join();
}

TEST_F(VirtMidiServerTest, StopEndsEveryConnectionAndClosesThePorts)
{
    auto client = connectClient("Tamberlin");
    ASSERT_TRUE(client);
    ASSERT_TRUE(clientCountReaches(2, 1));

    virtMidiServerStop();
    EXPECT_EQ(readMessage(*client), std::nullopt);
    std::string error;
    EXPECT_EQ(VirtMidiClientPipe::connect("Tamberlin", error), nullptr);
    EXPECT_NE(error.find("no virtual MIDI server serves"), std::string::npos) << error;
}

TEST(VirtMidiWithoutServer, TheClientToolFailsClearly)
{
    isolateSharedThings();
    const ProgramRun list = runProgram({PIPECLIENT, "--list"}, "", 30s);
    EXPECT_EQ(list.exitCode, 1);
    EXPECT_NE(list.errorOutput.find("no virtual MIDI server is running"), std::string::npos)
        << list.errorOutput;

    const ProgramRun connect = runProgram({PIPECLIENT, "Swivo 1"}, "", 30s);
    EXPECT_EQ(connect.exitCode, 1);
    EXPECT_NE(connect.errorOutput.find("no virtual MIDI server serves"), std::string::npos)
        << connect.errorOutput;
}

}  // namespace
}  // namespace corvello::test
