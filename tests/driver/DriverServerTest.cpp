// The driver against a real virtual MIDI server in the test process: devices,
// capabilities, notifications, both MIDI paths and the pipe's failure rules.

#include "tests/driver/DriverHarness.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <future>
#include <string>
#include <thread>

namespace corvello::test {
namespace {

class DriverWithServer : public DriverTest {
protected:
    void SetUp() override
    {
        DriverTest::SetUp();
        startServer();
    }

    // Waits for the next notification and checks its message.
    Notification expectNotification(UINT message)
    {
        auto next = notifications.next();
        EXPECT_TRUE(next) << "no notification " << std::hex << message;
        if (!next)
            return Notification{0, 0, 0, 0, {}, 0};
        EXPECT_EQ(next->message, message);
        return *next;
    }

    // Messages on other ports are passed over.
    void expectServerReceives(std::int32_t port, const Bytes& bytes)
    {
        for (;;) {
            auto received = server.next();
            ASSERT_TRUE(received) << "nothing reached the server on port " << port;
            if (received->port != port)
                continue;
            EXPECT_EQ(received->bytes, bytes);
            return;
        }
    }

    // Opens the input device with `count` queued buffers of `size` bytes.
    void openInputWithBuffers(UINT id, std::size_t count, std::size_t size)
    {
        ASSERT_EQ(openInput(id), MMSYSERR_NOERROR);
        expectNotification(MIM_OPEN);
        buffers.assign(count, Bytes(size));
        headers.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            headers[i] = MIDIHDR{};
            headers[i].lpData = reinterpret_cast<char*>(buffers[i].data());
            headers[i].dwBufferLength = static_cast<DWORD>(size);
            ASSERT_EQ(prepareInputHeader(id, headers[i]), MMSYSERR_NOERROR);
            ASSERT_EQ(addInputBuffer(id, headers[i]), MMSYSERR_NOERROR);
        }
        waitUntilServed(id);
    }

    // The server sends only to clients it has accepted: one message it has
    // read from this port proves that.
    void waitUntilServed(UINT id)
    {
        ASSERT_EQ(sendShort(id, 0xFE), MMSYSERR_NOERROR);
        expectServerReceives(static_cast<std::int32_t>(id), {0xFE});
    }

    void serverSends(std::int32_t port, const Bytes& bytes)
    {
        virtMidiServerSend(port, bytes.data(), static_cast<std::int32_t>(bytes.size()));
    }

    // A broken pipe shows on the next write; the read thread may take a moment.
    bool writesFailSoon(UINT id)
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            if (sendShort(id, 0xF8) == MMSYSERR_ERROR)
                return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    // Real time passes at once, even inside system exclusive: once it is
    // back, every byte sent before it has been stored.
    void serverSendsAndWaits(std::int32_t port, Bytes bytes)
    {
        bytes.push_back(0xF8);
        serverSends(port, bytes);
        for (;;) {
            const Notification n = expectNotification(MIM_DATA);
            if (n.message == 0 || n.param1 == 0xF8)
                return;
        }
    }

    std::vector<Bytes> buffers;
    std::vector<MIDIHDR> headers;
};

// The name field, narrow or wide, as plain characters.
template <typename Caps>
std::string nameOf(const Caps& caps)
{
    std::string name;
    for (auto c : caps.szPname) {
        if (c == 0)
            break;
        name.push_back(static_cast<char>(c));
    }
    return name;
}

TEST_F(DriverWithServer, ShowsEveryPublishedPortInBothLayouts)
{
    ASSERT_EQ(outputMessage(0, MODM_GETNUMDEVS), 3u);
    ASSERT_EQ(inputMessage(0, MIDM_GETNUMDEVS), 3u);
    for (UINT id = 0; id < 3; ++id) {
        MIDIOUTCAPSA narrowOut{};
        narrowOut.wTechnology = 0xABAB;  // left alone
        EXPECT_EQ(outputMessage(id, MODM_GETDEVCAPS, reinterpret_cast<DWORD_PTR>(&narrowOut), 52), 0u);
        EXPECT_EQ(nameOf(narrowOut), kPortNames[id]);
        EXPECT_EQ(narrowOut.wTechnology, 0xABAB);
        MIDIOUTCAPSW wideOut{};
        EXPECT_EQ(outputMessage(id, MODM_GETDEVCAPS, reinterpret_cast<DWORD_PTR>(&wideOut), 84), 0u);
        EXPECT_EQ(nameOf(wideOut), kPortNames[id]);
        MIDIINCAPSA narrowIn{};
        EXPECT_EQ(inputMessage(id, MIDM_GETDEVCAPS, reinterpret_cast<DWORD_PTR>(&narrowIn), 44), 0u);
        EXPECT_EQ(nameOf(narrowIn), kPortNames[id]);
        MIDIINCAPSW wideIn{};
        EXPECT_EQ(inputMessage(id, MIDM_GETDEVCAPS, reinterpret_cast<DWORD_PTR>(&wideIn), 76), 0u);
        EXPECT_EQ(nameOf(wideIn), kPortNames[id]);
    }
    MIDIOUTCAPSW caps{};
    const auto record = reinterpret_cast<DWORD_PTR>(&caps);
    EXPECT_EQ(outputMessage(0, MODM_GETDEVCAPS, record, 51), MMSYSERR_INVALPARAM);
    EXPECT_EQ(inputMessage(0, MIDM_GETDEVCAPS, record, 43), MMSYSERR_INVALPARAM);
    EXPECT_EQ(outputMessage(3, MODM_GETDEVCAPS, record, 84), MMSYSERR_BADDEVICEID);
}

TEST_F(DriverWithServer, OpenAndCloseNotifyTheApplication)
{
    ASSERT_EQ(openOutput(2), MMSYSERR_NOERROR);
    EXPECT_EQ(instances[1][2], 2u);
    const Notification opened = expectNotification(MOM_OPEN);
    EXPECT_EQ(opened.instance, reinterpret_cast<DWORD_PTR>(&notifications));
    ASSERT_EQ(openInput(0), MMSYSERR_NOERROR);
    expectNotification(MIM_OPEN);
    EXPECT_EQ(closeOutput(2), 0u);
    expectNotification(MOM_CLOSE);
    EXPECT_EQ(closeInput(0), 0u);
    expectNotification(MIM_CLOSE);
    EXPECT_EQ(openOutput(3), MMSYSERR_BADDEVICEID);
}

TEST_F(DriverWithServer, ShortMessagesCrossWithTheLengthOfTheirStatus)
{
    ASSERT_EQ(openOutput(2), MMSYSERR_NOERROR);
    const std::pair<DWORD, Bytes> cases[] = {{0x7F3C90, {0x90, 0x3C, 0x7F}},
                                             {0x7710C0, {0xC0, 0x10}},
                                             {0x0000F8, {0xF8}},
                                             {0x0403F2, {0xF2, 0x03, 0x04}}};
    for (const auto& [packed, bytes] : cases) {
        EXPECT_EQ(sendShort(2, packed), MMSYSERR_NOERROR);
        expectServerReceives(2, bytes);
    }
    // No status byte: nothing to send, and the connection stays.
    EXPECT_EQ(sendShort(2, 0x7F3C), MMSYSERR_INVALPARAM);
    EXPECT_EQ(sendShort(2, 0xF8), MMSYSERR_NOERROR);
    expectServerReceives(2, {0xF8});
}

TEST_F(DriverWithServer, LongMessagesSendTheWholeBuffer)
{
    ASSERT_EQ(openOutput(1), MMSYSERR_NOERROR);
    expectNotification(MOM_OPEN);
    Bytes sysEx(4096, 0x11);
    sysEx.front() = 0xF0;
    sysEx.back() = 0xF7;
    MIDIHDR h = preparedHeader(sysEx);
    EXPECT_EQ(outputMessage(1, MODM_LONGDATA, header(h), sizeof h), MMSYSERR_NOERROR);
    expectServerReceives(1, sysEx);
    const Notification done = expectNotification(MOM_DONE);
    EXPECT_EQ(done.param1, header(h));
    EXPECT_EQ(h.dwFlags, MHDR_PREPARED | MHDR_DONE);

    MIDIHDR unprepared = preparedHeader(sysEx);
    unprepared.dwFlags = 0;
    EXPECT_EQ(outputMessage(1, MODM_LONGDATA, header(unprepared), sizeof h), MIDIERR_UNPREPARED);
    EXPECT_EQ(unprepared.dwFlags, 0u);
    MIDIHDR queued = preparedHeader(sysEx);
    queued.dwFlags |= MHDR_INQUEUE;
    EXPECT_EQ(outputMessage(1, MODM_LONGDATA, header(queued), sizeof h), MIDIERR_STILLPLAYING);
    EXPECT_EQ(queued.dwFlags, MHDR_PREPARED | MHDR_INQUEUE);
}

TEST_F(DriverWithServer, ALongMessageOverTheServersLimitEndsTheConnection)
{
    ASSERT_EQ(openOutput(1), MMSYSERR_NOERROR);
    Bytes tooLong(4097, 0x22);
    MIDIHDR h = preparedHeader(tooLong);
    outputMessage(1, MODM_LONGDATA, header(h), sizeof h);
    EXPECT_TRUE(writesFailSoon(1));
    while (auto received = server.next(100ms))
        EXPECT_NE(received->bytes.size(), tooLong.size());
}

TEST_F(DriverWithServer, InputArrivesAsShortMessagesAndFilledBuffers)
{
    openInputWithBuffers(2, 2, 4);
    serverSends(2, {0x90, 0x3C, 0x7F, 0x3D});
    serverSends(2, {0x00});  // running status carries over messages
    EXPECT_EQ(expectNotification(MIM_DATA).param1, 0x7F3C90u);
    EXPECT_EQ(expectNotification(MIM_DATA).param1, 0x003D90u);

    serverSends(2, {0xF0, 0x7E, 0x7F, 0xF8, 0x06, 0x01, 0xF7});
    EXPECT_EQ(expectNotification(MIM_DATA).param1, 0xF8u);  // real time passes at once
    const Notification first = expectNotification(MIM_LONGDATA);
    EXPECT_EQ(first.longData, (Bytes{0xF0, 0x7E, 0x7F, 0x06}));
    EXPECT_EQ(first.flags & (MHDR_DONE | MHDR_INQUEUE), MHDR_DONE);
    EXPECT_EQ(expectNotification(MIM_LONGDATA).longData, (Bytes{0x01, 0xF7}));

    // No buffer left: system-exclusive bytes are dropped, short messages still arrive.
    serverSends(2, {0xF0, 0x01, 0xF7, 0xC5, 0x10});
    EXPECT_EQ(expectNotification(MIM_DATA).param1, 0x10C5u);
    EXPECT_EQ(closeInput(2), 0u);
    expectNotification(MIM_CLOSE);
}

TEST_F(DriverWithServer, AServerMessageOverTheLimitDropsOnlyThatPort)
{
    openInputWithBuffers(2, 1, 1024);
    ASSERT_EQ(openOutput(0), MMSYSERR_NOERROR);
    expectNotification(MOM_OPEN);
    Bytes largest(512, 0x05);
    largest.front() = 0xF0;
    largest.back() = 0xF7;
    serverSends(2, largest);
    EXPECT_EQ(expectNotification(MIM_LONGDATA).longData, largest);

    serverSends(2, Bytes(513, 0x05));
    EXPECT_TRUE(writesFailSoon(2));
    serverSends(2, {0x90, 0x3C, 0x7F});
    EXPECT_FALSE(notifications.next(300ms)) << "port 2 still delivers";
    EXPECT_EQ(sendShort(0, 0xF8), MMSYSERR_NOERROR);  // the other ports go on
    expectServerReceives(0, {0xF8});
}

TEST_F(DriverWithServer, AfterAServerRestartOnlyReopeningEveryDeviceReconnects)
{
    ASSERT_EQ(openOutput(2), MMSYSERR_NOERROR);
    stopServer();
    EXPECT_TRUE(writesFailSoon(2));
    startServer();
    EXPECT_EQ(sendShort(2, 0xF8), MMSYSERR_ERROR);
    ASSERT_EQ(openInput(0), MMSYSERR_NOERROR);  // not the first open: the pipes stay broken
    EXPECT_EQ(sendShort(2, 0xF8), MMSYSERR_ERROR);
    closeInput(0);
    closeOutput(2);
    ASSERT_EQ(openOutput(2), MMSYSERR_NOERROR);
    EXPECT_EQ(sendShort(2, 0x7F3C90), MMSYSERR_NOERROR);
    expectServerReceives(2, {0x90, 0x3C, 0x7F});
}

TEST_F(DriverWithServer, TheFirstCountFoundStaysForTheProcess)
{
    ASSERT_EQ(outputMessage(0, MODM_GETNUMDEVS), 3u);
    stopServer();
    const char* const fewer[] = {"Only", nullptr};
    ASSERT_TRUE(virtMidiServerStart(fewer, &ServerRecorder::receive, &server));
    EXPECT_EQ(outputMessage(0, MODM_GETNUMDEVS), 3u);
    virtMidiServerStop();
}

TEST_F(DriverWithServer, AFailedOpenLeavesNoPipeOpen)
{
    ASSERT_EQ(outputMessage(0, MODM_GETNUMDEVS), 3u);
    if (!makePortUnreachable("Swivo 2"))
        GTEST_SKIP() << "a port's pipe cannot be taken away here";
    EXPECT_EQ(openOutput(0), MMSYSERR_NODRIVER);
    bool released = false;
    for (int attempt = 0; attempt < 100 && !released; ++attempt, std::this_thread::sleep_for(20ms))
        released = virtMidiServerClientCount(0) == 0;
    EXPECT_TRUE(released) << "the pipe of port 0 stayed open after the failed open";
}

TEST_F(DriverWithServer, ShowsAtMostSixteenPorts)
{
    stopServer();
    std::vector<std::string> names;
    std::vector<const char*> list;
    for (int i = 0; i < 20; ++i)
        names.push_back("Port " + std::to_string(i));
    for (const std::string& name : names)
        list.push_back(name.c_str());
    list.push_back(nullptr);
    ASSERT_TRUE(virtMidiServerStart(list.data(), &ServerRecorder::receive, &server));
    EXPECT_EQ(inputMessage(0, MIDM_GETNUMDEVS), 16u);
    MIDIINCAPSA caps{};
    EXPECT_EQ(inputMessage(15, MIDM_GETDEVCAPS, reinterpret_cast<DWORD_PTR>(&caps), sizeof caps), 0u);
    EXPECT_EQ(nameOf(caps), "Port 15");
    EXPECT_EQ(inputMessage(16, MIDM_GETDEVCAPS, reinterpret_cast<DWORD_PTR>(&caps), sizeof caps),
              MMSYSERR_BADDEVICEID);
    EXPECT_EQ(openInput(16), MMSYSERR_BADDEVICEID);
    ASSERT_EQ(openOutput(15), MMSYSERR_NOERROR);
    EXPECT_EQ(sendShort(15, 0xF8), MMSYSERR_NOERROR);
    expectServerReceives(15, {0xF8});
    closeOutput(15);
    virtMidiServerStop();
}

// Writes on one thread while another opens and closes the device that holds
// the pipes open: a write either goes out or fails, it never meets a handle
// being closed (the sanitizer build watches).
TEST_F(DriverWithServer, WritesRaceSafelyWithOpenAndClose)
{
    ASSERT_EQ(outputMessage(0, MODM_GETNUMDEVS), 3u);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        while (!stop) {
            const DWORD result = sendShort(2, 0xF8);
            EXPECT_TRUE(result == MMSYSERR_NOERROR || result == MMSYSERR_ERROR) << result;
        }
    });
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(openOutput(0), MMSYSERR_NOERROR) << "open " << i;
        closeOutput(0);
    }
    stop = true;
    writer.join();
}

// The way a DAW ends its input: close is refused while buffers are queued;
// reset hands every one back, the one being filled with what it has; after
// that the driver never touches them again, and close succeeds.
TEST_F(DriverWithServer, ResetHandsBackEveryBufferAndOnlyThenCloseSucceeds)
{
    openInputWithBuffers(2, 3, 8);
    serverSendsAndWaits(2, {0xF0, 0x01, 0x02});

    EXPECT_EQ(closeInput(2), MIDIERR_STILLPLAYING);
    EXPECT_EQ(unprepareInputHeader(2, headers[0]), MIDIERR_STILLPLAYING);
    for (const MIDIHDR& h : headers)
        EXPECT_EQ(h.dwFlags, MHDR_PREPARED | MHDR_INQUEUE) << "a refused close changed a header";
    serverSendsAndWaits(2, {});  // still open and delivering

    EXPECT_EQ(resetInput(2), MMSYSERR_NOERROR);
    const Bytes recorded[] = {{0xF0, 0x01, 0x02}, {}, {}};
    for (std::size_t i = 0; i < 3; ++i) {
        const Notification back = expectNotification(MIM_LONGDATA);
        EXPECT_EQ(back.param1, header(headers[i])) << "in queue order";
        EXPECT_EQ(back.longData, recorded[i]);
        EXPECT_EQ(back.flags, MHDR_PREPARED | MHDR_DONE);
        EXPECT_EQ(unprepareInputHeader(2, headers[i]), MMSYSERR_NOERROR);
    }

    for (Bytes& buffer : buffers)
        std::fill(buffer.begin(), buffer.end(), 0xAA);
    const std::vector<MIDIHDR> handedBack = headers;
    serverSendsAndWaits(2, {0xF0, 0x05, 0xF7});
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(buffers[i], Bytes(8, 0xAA)) << "buffer " << i << " written after the reset";
        EXPECT_EQ(std::memcmp(&handedBack[i], &headers[i], sizeof(MIDIHDR)), 0) << "header " << i;
    }
    EXPECT_EQ(closeInput(2), MMSYSERR_NOERROR);
    expectNotification(MIM_CLOSE);
}

// Stop hands back the buffer being filled and keeps the empty ones queued;
// the message goes on in the next buffer.
TEST_F(DriverWithServer, StopKeepsTheQueuedBuffers)
{
    openInputWithBuffers(1, 2, 8);
    EXPECT_EQ(inputMessage(1, MIDM_STOP), MMSYSERR_NOERROR);
    EXPECT_FALSE(notifications.next(100ms)) << "an empty buffer came back at stop";
    serverSendsAndWaits(1, {0xF0, 0x01});
    EXPECT_EQ(inputMessage(1, MIDM_STOP), MMSYSERR_NOERROR);
    EXPECT_EQ(expectNotification(MIM_LONGDATA).longData, (Bytes{0xF0, 0x01}));
    EXPECT_EQ(headers[1].dwFlags, MHDR_PREPARED | MHDR_INQUEUE);
    serverSends(1, {0x02, 0xF7});
    EXPECT_EQ(expectNotification(MIM_LONGDATA).longData, (Bytes{0x02, 0xF7}));
}

TEST_F(DriverWithServer, AddingABufferFollowsTheMultimediaLayersRules)
{
    openInputWithBuffers(0, 1, 8);
    Bytes data(8);
    MIDIHDR unprepared{};
    unprepared.lpData = reinterpret_cast<char*>(data.data());
    unprepared.dwBufferLength = 8;
    EXPECT_EQ(addInputBuffer(0, unprepared), MIDIERR_UNPREPARED);
    EXPECT_EQ(addInputBuffer(0, headers[0]), MIDIERR_STILLPLAYING);
    EXPECT_EQ(headers[0].dwFlags, MHDR_PREPARED | MHDR_INQUEUE);
    resetInput(0);
    expectNotification(MIM_LONGDATA);
    ASSERT_EQ(closeInput(0), MMSYSERR_NOERROR);
    EXPECT_EQ(addInputBuffer(0, headers[0]), MMSYSERR_INVALHANDLE) << "a closed device took a buffer";
    EXPECT_EQ(headers[0].dwFlags, MHDR_PREPARED | MHDR_DONE);
}

// MIM_DATA and MIM_LONGDATA carry the milliseconds since MIDM_START. The
// bounds come from the test's own clock around the start and the arrival.
TEST_F(DriverWithServer, InputIsStampedWithTheTimeSinceStart)
{
    openInputWithBuffers(2, 1, 4);
    const auto beforeStart = std::chrono::steady_clock::now();
    ASSERT_EQ(inputMessage(2, MIDM_START), MMSYSERR_NOERROR);
    const auto afterStart = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(150ms);
    const auto sent = std::chrono::steady_clock::now();
    serverSends(2, {0x90, 0x3C, 0x7F, 0xF0, 0x01, 0xF7});
    const Notification note = expectNotification(MIM_DATA);
    const Notification sysEx = expectNotification(MIM_LONGDATA);
    const auto arrived = std::chrono::steady_clock::now();
    const auto ms = [](auto duration) {
        return static_cast<DWORD_PTR>(std::chrono::duration_cast<std::chrono::milliseconds>(duration).count());
    };
    for (const Notification& n : {note, sysEx}) {
        EXPECT_GE(n.param2 + 1, ms(sent - afterStart)) << "message " << n.message;
        EXPECT_LE(n.param2, ms(arrived - beforeStart) + 1) << "message " << n.message;
    }
}

// A DAW may send output and queue buffers from inside its callback. Here the
// callback is inside the driver's read thread when the last device closes,
// and calls back into the driver while the close waits for that thread: the
// close must end, and the callback must have returned by itself (not been
// cut off).
TEST_F(DriverWithServer, ACallbackMayCallTheDriverWhileTheLastDeviceCloses)
{
    std::atomic<bool> closing{false};
    std::atomic<bool> insideLateCallback{false};
    std::atomic<int> reentered{0};
    notifications.callBackWith([&](const Notification& n) {
        if (n.message == MIM_LONGDATA && !closing)
            addInputBuffer(2, *reinterpret_cast<MIDIHDR*>(n.param1));
        if (n.message != MIM_DATA || !closing || insideLateCallback.exchange(true))
            return;
        std::this_thread::sleep_for(300ms);  // the close starts meanwhile
        sendShort(2, 0xFE);
        inputMessage(2, MIDM_GETNUMDEVS);
        addInputBuffer(2, *reinterpret_cast<MIDIHDR*>(&headers[0]));
        ++reentered;
    });
    ASSERT_EQ(openOutput(2), MMSYSERR_NOERROR);
    expectNotification(MOM_OPEN);
    openInputWithBuffers(2, 2, 4);
    serverSends(2, {0xF0, 0x01, 0x02, 0x03, 0x04, 0xF7});
    expectNotification(MIM_LONGDATA);  // handed back and queued again from the callback
    closing = true;
    closeOutput(2);
    serverSends(2, {0x90, 0x3C, 0x7F});
    while (!insideLateCallback)
        std::this_thread::yield();

    std::promise<std::pair<DWORD, DWORD>> closed;
    auto result = closed.get_future();
    std::thread([&] {
        const DWORD reset = resetInput(2);
        closed.set_value({reset, closeInput(2)});
    }).detach();
    if (result.wait_for(10s) != std::future_status::ready) {
        // Nothing can end the stuck threads: report and leave.
        std::fputs("FAILED: the close is deadlocked with the callback\n", stderr);
        std::_Exit(1);
    }
    EXPECT_EQ(result.get(), (std::pair<DWORD, DWORD>{MMSYSERR_NOERROR, MMSYSERR_NOERROR}));
    EXPECT_EQ(reentered, 1);
    EXPECT_EQ(notifications.entered(), notifications.left()) << "a callback was cut off";
    notifications.callBackWith(nullptr);
}

}  // namespace
}  // namespace corvello::test
