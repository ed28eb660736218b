// The OSC node and Logic OSC against an independent OSC implementation:
// liblo's oscsend (one process per message, run to completion) and oscdump
// (started with -L on a free port, stopped by PID at the end of each test).

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "logicosc/HostProtocolLogicOSC.h"
#include "logicosc/OSCNode.h"
#include "tests/support/CapturedLog.h"
#include "tests/logicosc/LoopbackUdp.h"
#include "tests/support/ChildProcess.h"

namespace corvello {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;
using test::LoopbackUdp;

void oscsend(std::int32_t port, std::vector<std::string> message)
{
    std::vector<std::string> argv{"/usr/bin/oscsend", "osc.udp://127.0.0.1:" + std::to_string(port)};
    argv.insert(argv.end(), message.begin(), message.end());
    ChildProcess process(argv);
    ASSERT_EQ(process.stop(0, 10s), 0) << "oscsend failed";
}

// What the DAW sent, as the Translator would hand it on: through the protocol
// (when there is one) to the records for the remote.
class RecordingFilter : public OSCFilter, public RecordSink {
public:
    HostProtocolLogicOSC* protocol = nullptr;

    int receive(OscRecord record) override
    {
        std::lock_guard lock(mutex_);
        received_.push_back(record);
        if (protocol)
            if (MessageRecord r = protocol->fromHostOsc(record); !r.isNothing())
                forRemote_.push_back(r);
        return 1;
    }

    void sendToRemote(MessageRecord record) override
    {
        std::lock_guard lock(mutex_);
        forRemote_.push_back(record);
    }

    bool waitForAddress(std::string_view address)
    {
        return eventually([&] {
            for (const auto& r : received_)
                if (r.addressView() == address)
                    return true;
            return false;
        });
    }

    bool waitForRemoteRecord(const MessageRecord& expected)
    {
        return eventually([&] { return std::find(forRemote_.begin(), forRemote_.end(), expected) != forRemote_.end(); });
    }

    std::vector<OscRecord> received()
    {
        std::lock_guard lock(mutex_);
        return received_;
    }

private:
    template <typename Condition>
    bool eventually(Condition condition)
    {
        for (auto deadline = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < deadline;
             std::this_thread::sleep_for(5ms)) {
            std::lock_guard lock(mutex_);
            if (condition())
                return true;
        }
        return false;
    }

    std::recursive_mutex mutex_;
    std::vector<OscRecord> received_;
    std::vector<MessageRecord> forRemote_;
};

TEST(OscInterop, MessagesFromOscsendBecomeRecords)
{
    RecordingFilter filter;
    OSCNode node;
    node.addFilter(&filter);
    const std::int32_t port = node.startReceiving();

    oscsend(port, {"tv1", "f", "0.5"});
    oscsend(port, {"tn1", "s", "Kick drum"});
    oscsend(port, {"tv9", "i", "3"});
    test::CapturedLog log;
    oscsend(port, {"tv2", "ff", "0.25", "0.75"});
    oscsend(port, {"end", "f", "0"});
    ASSERT_TRUE(filter.waitForAddress("end"));

    const auto records = filter.received();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].addressView(), "tv1");
    EXPECT_EQ(records[0].value, 0.5f);
    EXPECT_EQ(records[1].addressView(), "tn1");
    EXPECT_EQ(records[1].textView(), "Kick drum");
    EXPECT_EQ(records[2].addressView(), "tv2");
    EXPECT_EQ(records[2].value, 0.25f);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"OSC: error while parsing message: tv2: too many arguments"});
}

TEST(OscInterop, OscdumpReadsWhatTheNodeSends)
{
    std::uint16_t port;
    {
        LoopbackUdp probe;  // a port that was free a moment ago
        port = probe.port();
    }
    ChildProcess dump({"/usr/bin/oscdump", "-L", std::to_string(port)});
    OSCNode node;
    node.setPeer("127.0.0.1", port);
    OscRecord fader;
    fader.setAddress("tm3");
    fader.value = 1.0f;
    std::optional<std::string> line;
    for (int attempt = 0; attempt < 50 && !line; ++attempt) {  // until oscdump listens
        node.sendFloat(fader);
        line = dump.readLine(100ms);
    }
    ASSERT_TRUE(line);
    EXPECT_NE(line->find(" tm3 f 1.000000"), std::string::npos) << *line;

    OscRecord name;
    name.setAddress("tn1");
    name.setText("Kick");
    std::optional<std::string> textLine;
    node.sendString(name);
    while ((textLine = dump.readLine(5s)) && textLine->find("tn1") == std::string::npos) {
    }
    ASSERT_TRUE(textLine);
    EXPECT_NE(textLine->find("tn1 s \"Kick\""), std::string::npos) << *textLine;
    dump.stop(SIGTERM, 5s);
}

// The reception wiring: selecting Logic OSC opens the node for the DAW, which
// sends to the port it was told and hears back on the port it sends from.
TEST(OscInterop, LogicOscSelectedTalksWithTheDaw)
{
    RecordingFilter filter;
    HostProtocolLogicOSC protocol;
    OSCNode node;
    node.addFilter(&filter);
    filter.protocol = &protocol;
    protocol.translator = &filter;
    protocol.setOscOutput(&node);
    test::CapturedLog log;
    protocol.activate();
    const std::int32_t port = node.startReceiving();
    EXPECT_EQ(log.linesWith("OSC: receiving on UDP port " + std::to_string(port)).size(), 1u);

    oscsend(port, {"md", "f", "0.25"});
    EXPECT_TRUE(filter.waitForRemoteRecord(MessageRecord::number(204, 2, 1.0f)));
    oscsend(port, {"tv3", "f", "0.5"});
    EXPECT_TRUE(filter.waitForRemoteRecord(MessageRecord::number(9, 2, 0.5f)));

    LoopbackUdp daw;
    daw.sendTo(static_cast<std::uint16_t>(port), std::string("mt1\0,f\0\0\x3f\x80\0\0", 12));
    ASSERT_TRUE(filter.waitForAddress("mt1"));
    protocol.toHost(MessageRecord::number(9, 0, 1.0f));
    EXPECT_EQ(daw.receive(), std::string("tv1\0,f\0\0\x3f\x80\0\0", 12));
}

}  // namespace
}  // namespace corvello
