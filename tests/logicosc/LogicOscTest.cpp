// Logic OSC in both directions, as tables of cases, with the records for the
// remote and the messages for the DAW recorded, and a clock the test moves.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "logicosc/HostProtocolLogicOSC.h"
#include "tests/support/CapturedLog.h"

namespace corvello {
namespace {

using Sent = std::vector<std::pair<std::string, float>>;

class RecordingSink : public RecordSink {
public:
    void sendToRemote(MessageRecord record) override { records.push_back(record); }
    std::vector<MessageRecord> records;
};

// A real node whose sends the test reads instead of the network.
class RecordingNode : public OSCNode {
public:
    void sendFloat(const OscRecord& record) override { sent.emplace_back(record.addressView(), record.value); }
    Sent sent;
};

MessageRecord rec(std::uint16_t kind, std::int32_t index, float value, std::string text = {})
{
    return {kind, index, value, std::move(text), 0};
}

class LogicOsc : public testing::Test {
protected:
    LogicOsc()
    {
        protocol.translator = &remote;
        protocol.setOscOutput(&daw);
    }

    MessageRecord fromDaw(std::string_view address, float v = 0.0f, std::string_view s = {})
    {
        OscRecord r;
        r.setAddress(address);
        r.value = v;
        r.setText(s);
        return protocol.fromHostOsc(r);
    }

    // Selects a send slot (or pan, 0) as the DAW confirms it, then forgets
    // what that sent.
    void confirmMode(int mode)
    {
        fromDaw("md", static_cast<float>(mode) / 8.0f);
        remote.records.clear();
    }

    std::uint32_t now = 100000;
    RecordingSink remote;
    RecordingNode daw;
    HostProtocolLogicOSC protocol{[this] { return now; }};
};

struct ToHostCase {
    int mode;
    MessageRecord record;
    Sent expected;
};

TEST_F(LogicOsc, RecordsFromTheRemoteBecomeAtMostOneMessage)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<ToHostCase> cases = {
        {0, rec(9, 2, 0.75f), {{"tv3", 0.75f}}},
        {0, rec(9, 2, nan), {}},
        {0, rec(9, 2, std::numeric_limits<float>::infinity()), {}},
        {0, rec(93, 0, nan), {}},
        {0, rec(8, 0, -1.0f), {{"jg", -1.0f}}},
        {0, rec(13, 0, 1.0f), {{"tm1", 1.0f}}},
        {0, rec(13, 0, 0.0f), {}},
        {0, rec(13, 0, nan), {}},
        {0, rec(17, 4, 1.0f), {{"tx5", 1.0f}}},
        {0, rec(193, 3, 0.0f), {{"pl", 0.0f}}},
        {0, rec(193, 124, 1.0f), {{"kb0", 1.0f}}},
        {0, rec(193, 12, 1.0f), {}},
        {0, rec(10, 7, -2.0f), {{"plb8", -4.0f}}},
        {0, rec(10, 7, 0.0f), {{"plb8", -4.0f}}},
        {0, rec(10, 0, 0.3f), {{"plb1", 4.0f}}},
        {0, rec(188, 0, 0.6f), {{"tp1", 0.6f}}},
        {3, rec(188, 0, 0.6f), {{"sl31", 0.6f}}},
        {9, rec(188, 0, 0.6f), {}},
        {0, rec(207, 1, 1.0f), {{"tpt2", 1.0f}}},
        {2, rec(207, 1, 1.0f), {{"st22", 1.0f}}},
        {0, rec(19, 0, 1.0f), {}},
        {4, rec(19, 0, 1.0f), {{"sm41", 1.0f}}},
        {0, rec(18, 0, 2.9f), {{"ta1", 2.0f}}},
        {0, rec(18, 0, 7.0f), {}},
        {0, rec(18, 0, nan), {}},
        {0, rec(59, 2, 1.0f), {{"ta3", 0.5f}}},
        {0, rec(61, 2, 1.0f), {{"ta3", 1.0f}}},
        {0, rec(59, 2, 0.5f), {}},
        {0, rec(195, 3, 1.0f), {{"ps", 3.0f}}},
        {0, rec(195, 3, 0.5f), {}},
        {0, rec(142, 5, 1.0f), {{"tkpd", 5.0f}}},
        {0, rec(142, 5, 0.0f), {}},
        {0, rec(110, 0, 1.0f), {}},
        {0, rec(30, 0, 1.0f), {{"sc", -1.0f}}},
        {0, rec(31, 0, 1.0f), {{"sc", 1.0f}}},
        {0, rec(31, 0, 0.0f), {}},
        {0, rec(32, 0, 0.0f), {}},
        {0, rec(32, 0, 1.0f), {{"flip", 1.0f}}},
        {0, rec(93, 0, 0.5f), {{"jgst", 1.0f}}},
        {0, rec(163, 2, 1.0f), {{"gsmk3", 1.0f}}},
        {0, rec(197, 4, 0.5f), {{"pb4", 0.5f}}},
        {0, rec(203, 7, 1.0f), {{"cmd7", 1.0f}}},
        {0, rec(201, 0, 1.0f), {{"pbk", -1.0f}}},
        {0, rec(215, 0, 1.0f), {{"ibk", 1.0f}}},
        {0, rec(204, 3, 1.0f), {{"md3", 1.0f}}},
        {0, rec(999, 0, 1.0f), {}},
        {0, rec(9, std::numeric_limits<std::int32_t>::max(), 1.0f), {{"tv2147483648", 1.0f}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.record.kind << " index " << c.record.index << " value "
                                        << c.record.value << " mode " << c.mode);
        HostProtocolLogicOSC fresh;
        RecordingNode out;
        fresh.setOscOutput(&out);
        fresh.toHost(rec(204, c.mode, 1.0f));
        out.sent.clear();
        EXPECT_EQ(fresh.toHost(c.record), 1);
        EXPECT_EQ(out.sent, c.expected);
    }
}

TEST_F(LogicOsc, ModeFromTheRemoteRenamesTheKnobsAtOnce)
{
    protocol.toHost(rec(188, 0, 0.5f));
    protocol.toHost(rec(204, 3, 1.0f));
    protocol.toHost(rec(188, 0, 0.5f));
    EXPECT_EQ(daw.sent, (Sent{{"tp1", 0.5f}, {"md3", 1.0f}, {"sl31", 0.5f}}));
    EXPECT_TRUE(remote.records.empty());
}

TEST_F(LogicOsc, WithoutAnOutputStateStillChanges)
{
    protocol.setOscOutput(nullptr);
    EXPECT_EQ(protocol.toHost(rec(204, 2, 1.0f)), 1);
    protocol.setOscOutput(&daw);
    protocol.toHost(rec(188, 1, 0.5f));
    EXPECT_EQ(daw.sent, (Sent{{"sl22", 0.5f}}));
}

struct FromHostCase {
    std::string address;
    float v;
    std::string s;
    MessageRecord expected;
};

TEST_F(LogicOsc, MessagesFromTheDawBecomeOneRecord)
{
    const MessageRecord nothing = MessageRecord::nothing();
    const std::vector<FromHostCase> cases = {
        {"tv3", 0.5f, "", rec(9, 2, 0.5f)},
        {"tv9", 0.5f, "", rec(9, 8, 0.5f)},
        {"tv", 0.5f, "", rec(9, -1, 0.5f)},
        {"mt2", 1.0f, "", rec(96, 1, 1.0f)},
        {"mt2", 0.001f, "", rec(96, 1, 0.0f)},
        {"mt2", 0.0f, "", rec(96, 1, 0.0f)},
        {"mt2", -1.0f, "", rec(96, 1, 1.0f)},
        {"mt2", -2.0f, "", rec(96, 1, 0.0f)},
        {"mt2", -5.0f, "", rec(96, 1, 1.0f)},
        {"mt2", -0.5f, "", nothing},
        {"mtp4", 0.5f, "", nothing},
        {"mtp4", 1.0f, "", rec(177, 3, 1.0f)},
        {"mtp4", -2.0f, "", rec(177, 3, 0.0f)},
        {"mtph1", -1.0f, "", rec(169, 0, 1.0f)},
        {"mtph1", 1.0f, "", rec(169, 0, 1.0f)},
        {"mtph1", -3.0f, "", nothing},
        {"tp4", 0.5f, "", rec(10, 3, 51010.5f)},
        {"tp9", 0.5f, "", nothing},
        {"ta2", 0.75f, "", rec(18, 1, 3.0f)},
        {"ta2", 0.6f, "", nothing},
        {"vmode3", 2.0f, "", rec(112, 0, 3.0f)},
        {"vtv1", 0.0f, "-6.2 dB", rec(187, 0, 0.0f, "-6.2")},
        {"plt2", 0.0f, "Audio 1 long", rec(2, 10, 0.0f, "Audio 1 ")},
        {"plb3", 0.5f, "", rec(10, 2, 0.5f)},
        {"pl", 1.0f, "", rec(193, 3, 1.0f)},
        {"gsw6", 1.0f, "", rec(193, 43, 2.0f)},
        {"gsmk3", 1.0f, "", rec(163, 3, 1.0f)},
        {"gsmkp", 1.0f, "", rec(193, 113, 1.0f)},
        {"gsss9", 1.0f, "", rec(193, 65, 1.0f)},
        {"redo", 1.0f, "", rec(193, 111, 1.0f)},
        {"tsw3", 1.0f, "", rec(21, 2, 1.0f)},
        {"ts3", 1.0f, "", rec(14, 2, 1.0f)},
        {"tpt1", 1.0f, "", rec(207, 0, 1.0f)},
        {"tpd2", 0.0f, "Left 12", rec(205, 1, 0.0f, " Left 12")},
        {"tn1", 0.0f, "Long track name", rec(189, 0, 0.0f, "Long tra")},
        {"tn0", 0.0f, "Name", nothing},
        {"pn3", 0.0f, "Preset name", rec(196, 3, 0.0f, "Preset n")},
        {"ppv2", 0.5f, "", rec(198, 2, 51020.5f)},
        {"ipn1", 0.0f, "Plugin parameter", rec(213, 1, 0.0f, "Plugin par")},
        {"sn12", 0.0f, "Send name long", rec(206, 1, 0.0f, "Send name ")},
        {"alt", 0.0f, "Hello", rec(165, 1, 1.0f, "Hello")},
        {"flip", 1.0f, "", rec(32, 0, 1.0f)},
        {"sl2", 0.5f, "", nothing},
        {"sl93", 0.5f, "", nothing},
        {"sm23", 1.0f, "", nothing},
        {"sd11", 0.0f, "-3 dB", nothing},
        {"zzz", 1.0f, "", nothing},
        {"", 1.0f, "", nothing},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.address << "\" " << c.v << " \"" << c.s << '"');
        EXPECT_EQ(fromDaw(c.address, c.v, c.s), c.expected);
    }
}

TEST_F(LogicOsc, TheMeterCurveFollowsItsThreeSegments)
{
    EXPECT_NEAR(fromDaw("mt2", 0.1f).value, 3.0 / 7.0, 1e-5);
    EXPECT_NEAR(fromDaw("mt2", 0.01f).value, 1.0 / 7.0, 1e-5);
    EXPECT_NEAR(fromDaw("mt2", 2.0f).value, 1.172, 1e-3);
}

TEST_F(LogicOsc, ModeConfirmedByTheDawRefreshesTheBankOnce)
{
    fromDaw("sl23", 0.25f);
    EXPECT_TRUE(fromDaw("md", 0.25f).isNothing());
    ASSERT_EQ(remote.records.size(), 8u * 3 + 9 + 1);
    for (int strip = 0; strip < 8; ++strip) {
        SCOPED_TRACE(strip);
        const float level = strip == 2 ? 0.25f : 0.0f;
        EXPECT_EQ(remote.records[strip * 3], rec(10, strip, 51020.0f + level));
        EXPECT_EQ(remote.records[strip * 3 + 1], rec(19, strip, 0.0f));
        EXPECT_EQ(remote.records[strip * 3 + 2], rec(205, strip, 0.0f, " "));
    }
    for (int lamp = 0; lamp <= 8; ++lamp)
        EXPECT_EQ(remote.records[24 + lamp], rec(204, lamp, lamp == 2 ? 1.0f : 0.0f));
    EXPECT_EQ(remote.records.back(), rec(5, 8, 2.0f));

    remote.records.clear();
    fromDaw("md", 0.25f);
    EXPECT_TRUE(remote.records.empty());
}

TEST_F(LogicOsc, SendLevelsTravelOnlyWhenChangedAndInTheirSlot)
{
    confirmMode(2);
    EXPECT_EQ(fromDaw("sl23", 0.7f), rec(10, 2, 51020.69921875f));
    EXPECT_TRUE(fromDaw("sl23", 0.7f).isNothing());

    confirmMode(0);
    EXPECT_TRUE(fromDaw("sl23", 0.9f).isNothing());
    fromDaw("md", 0.25f);
    ASSERT_GT(remote.records.size(), 6u);
    EXPECT_EQ(remote.records[6], rec(10, 2, 51020.0f + 0.9f));
}

TEST_F(LogicOsc, SendMutesAndNamesReachTheRefresh)
{
    confirmMode(2);
    EXPECT_EQ(fromDaw("sm21", 1.0f), rec(19, 0, 1.0f));
    EXPECT_EQ(fromDaw("sd21", 0.0f, "-3.0 dB"), rec(205, 0, 0.0f, "-3.0"));
    EXPECT_EQ(fromDaw("sd22", 0.0f, ""), rec(205, 1, 0.0f, " "));
    confirmMode(0);
    fromDaw("md", 0.25f);
    EXPECT_EQ(remote.records[1], rec(19, 0, 1.0f));
    EXPECT_EQ(remote.records[2], rec(205, 0, 1.0f, "-3.0"));
}

TEST_F(LogicOsc, PageSelectLightsOneOfEightLamps)
{
    EXPECT_EQ(fromDaw("ps", 0.2f), rec(195, 7, 0.0f));
    ASSERT_EQ(remote.records.size(), 8u);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(remote.records[i], rec(195, i, i == 3 ? 1.0f : 0.0f));
}

TEST_F(LogicOsc, JogStateSendsOneRecordAndReturnsTheOther)
{
    EXPECT_EQ(fromDaw("jgst", 2.0f), rec(93, 0, 1.0f));
    EXPECT_EQ(remote.records, (std::vector{rec(92, 0, 0.0f)}));
    remote.records.clear();
    EXPECT_EQ(fromDaw("jgst", 1.0f), rec(93, 0, 0.0f));
    EXPECT_EQ(remote.records, (std::vector{rec(92, 0, 1.0f)}));
    EXPECT_TRUE(fromDaw("jgst", 5.0f).isNothing());
}

TEST_F(LogicOsc, SmpteDisplaySendsOnlyWhatChanged)
{
    protocol.toHost(rec(193, 136, 1.0f));
    ASSERT_EQ(remote.records.size(), 2u);
    EXPECT_EQ(remote.records[0], rec(5, 8, 1.0f));
    EXPECT_EQ(remote.records[1].kind, 4);

    const MessageRecord first = fromDaw("cts", 0.0f, "01:02:03:04");
    EXPECT_EQ(first, rec(4, 2, 0.0f, std::string("0\xB1" "0\xB2" "0\xB3" "04")));
    EXPECT_TRUE(fromDaw("cts", 0.0f, "01:02:03:04").isNothing());
    EXPECT_EQ(fromDaw("cts", 0.0f, "01:02:03:05"), rec(4, 9, 0.0f, "5"));

    remote.records.clear();
    protocol.toHost(rec(193, 136, 1.0f));
    EXPECT_EQ(remote.records, (std::vector{rec(5, 8, 1.0f)}));
}

TEST_F(LogicOsc, ShortSmpteTextShowsZeroBytes)
{
    protocol.toHost(rec(193, 136, 1.0f));
    const MessageRecord display = fromDaw("cts", 0.0f, "1");
    EXPECT_EQ(display, rec(4, 2, 0.0f, std::string("1\x80\0\x80\0\x80\0\0", 8)));
}

TEST_F(LogicOsc, BeatsDisplayDropsThreeSpacesAndMarksItsPoints)
{
    const MessageRecord display = fromDaw("ctb", 0.0f, "  1  2  3   4");
    EXPECT_EQ(display, rec(4, 0, 0.0f, std::string("1 \xB2 \xA0" "3\xA0  4")));
}

TEST_F(LogicOsc, WhileTheTransportMovesDisplaysAreThrottled)
{
    fromDaw("st", 0.0f);  // stop lamp off: moving
    EXPECT_EQ(fromDaw("ctb", 0.0f, "  1  1  1   1").kind, 4);
    now += 20;
    EXPECT_TRUE(fromDaw("ctb", 0.0f, "  1  1  1   2").isNothing());
    now += 29;
    EXPECT_TRUE(fromDaw("ctb", 0.0f, "  1  1  1   3").isNothing()) << "49 ms are not enough";
    now += 1;
    EXPECT_EQ(fromDaw("ctb", 0.0f, "  1  1  1   4"), rec(4, 9, 0.0f, "4"));

    // The stored text follows every message: stopping shows the newest one.
    now += 10;
    fromDaw("ctb", 0.0f, "  1  1  2   1");
    remote.records.clear();
    EXPECT_EQ(fromDaw("st", 1.0f), rec(193, 2, 1.0f));
    ASSERT_EQ(remote.records.size(), 1u);
    EXPECT_EQ(remote.records[0].kind, 4);
    EXPECT_EQ(remote.records[0].index, 5);
}

TEST_F(LogicOsc, HostSelectionRefreshesOrClearsTheBank)
{
    confirmMode(3);
    fromDaw("tp1", 0.9f);
    protocol.toHost(rec(186, 3, 0.0f));
    EXPECT_TRUE(remote.records.empty());
    protocol.toHost(rec(188, 0, 0.5f));
    EXPECT_EQ(daw.sent.back(), (std::pair<std::string, float>{"tp1", 0.5f}));

    protocol.toHost(rec(186, 3, 1.0f));
    ASSERT_EQ(remote.records.size(), 8u * 2 + 9 + 1);
    EXPECT_EQ(remote.records[0], rec(10, 0, 51010.5f));
    EXPECT_EQ(remote.records[1], rec(19, 0, 1.0f));
    EXPECT_EQ(remote.records[16], rec(204, 0, 1.0f));
}

TEST_F(LogicOsc, WithoutATranslatorRecordsForTheRemoteAreDropped)
{
    protocol.translator = nullptr;
    EXPECT_EQ(fromDaw("ps", 0.2f), rec(195, 7, 0.0f));
    protocol.toHost(rec(186, 3, 1.0f));
    EXPECT_TRUE(remote.records.empty());
}

TEST_F(LogicOsc, ActivationOpensTheOutputForTheDawAndRefreshes)
{
    test::CapturedLog log;
    protocol.activate();
    EXPECT_TRUE(daw.isReceiving());
    EXPECT_EQ(log.linesWith("OSC: receiving on UDP port ").size(), 1u);
    EXPECT_EQ(remote.records.size(), 8u * 2 + 9 + 1);
}

// Each selection lets the first host to speak be the DAW; the selection
// record that follows activation belongs to the same selection and must not
// forget a DAW that spoke in between.
TEST_F(LogicOsc, EverySelectionLetsTheFirstHostToSpeakBeTheDaw)
{
    constexpr std::uint32_t kHostA = 0x7f000001, kHostB = 0x7f000002;
    test::CapturedLog log;
    protocol.activate();
    EXPECT_TRUE(daw.admitSender(kHostA, 5000));
    protocol.toHost(rec(186, 3, 1.0f));
    EXPECT_FALSE(daw.admitSender(kHostB, 5000)) << "host A is still the DAW";

    protocol.toHost(rec(186, 3, 1.0f));
    EXPECT_TRUE(daw.admitSender(kHostB, 5000));
    EXPECT_FALSE(daw.admitSender(kHostA, 5000));
}

// The link thread and the OSC receive thread work on the same bank state.
TEST_F(LogicOsc, TheRemoteAndTheDawMayTalkAtOnce)
{
    std::thread dawSide([&] {
        for (int i = 0; i < 2000; ++i) {
            fromDaw("md", static_cast<float>(i % 9) / 8.0f);
            fromDaw("sl23", static_cast<float>(i));
            fromDaw("cts", 0.0f, std::to_string(i));
        }
    });
    for (int i = 0; i < 2000; ++i) {
        protocol.toHost(rec(204, i % 9, 1.0f));
        protocol.toHost(rec(188, 2, 0.5f));
        protocol.toHost(rec(193, 135 + i % 2, 1.0f));
    }
    dawSide.join();
    EXPECT_EQ(daw.sent.size(), 2u * 2000) << "every mode and knob message reached the DAW";
}

}  // namespace
}  // namespace corvello
