// The Logic OSC vocabulary against tables written out here by hand from the
// protocol's description, every row: towards the DAW (each record kind, and
// each button by index), from the DAW (each name), and the words that travel
// both ways, read in both directions.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "logicosc/HostProtocolLogicOSC.h"

namespace corvello {
namespace {

// A real node whose sends the test reads instead of the network.
class RecordingNode : public OSCNode {
public:
    void sendFloat(const OscRecord& record) override { sent.emplace_back(record.addressView(), record.value); }
    std::vector<std::pair<std::string, float>> sent;
};

class NoRemote : public RecordSink {
public:
    void sendToRemote(MessageRecord) override {}
};

struct ToDaw {
    int mode;  // set first by kind 204 (which sends its own "md" message)
    std::uint16_t kind;
    std::int32_t index;
    float value;
    const char* name;  // nullptr: nothing is sent
    float sent;
};

std::optional<std::pair<std::string, float>> sentFor(const ToDaw& row)
{
    HostProtocolLogicOSC protocol;
    NoRemote remote;
    RecordingNode daw;
    protocol.translator = &remote;
    protocol.setOscOutput(&daw);
    protocol.toHost({204, row.mode, 1.0f, {}, 0});
    daw.sent.clear();
    EXPECT_EQ(protocol.toHost({row.kind, row.index, row.value, {}, 0}), 1);
    EXPECT_LE(daw.sent.size(), 1u);
    if (daw.sent.empty())
        return std::nullopt;
    return daw.sent[0];
}

TEST(LogicOscVocabulary, EveryKindTowardsTheDaw)
{
    const std::vector<ToDaw> rows = {
        {0, 8, 0, 0.3f, "jg", 0.3f},
        {0, 9, 2, 0.75f, "tv3", 0.75f},
        {0, 10, 7, -2.0f, "plb8", -4.0f},
        {0, 10, 7, 0.0f, "plb8", -4.0f},
        {0, 10, 0, 0.3f, "plb1", 4.0f},
        {0, 13, 0, 1.0f, "tm1", 1.0f},
        {0, 13, 0, 0.5f, nullptr, 0},
        {0, 14, 3, 1.0f, "ts4", 1.0f},
        {0, 14, 3, 0.0f, nullptr, 0},
        {0, 15, 3, 1.0f, "tr4", 1.0f},
        {0, 16, 3, 1.0f, "ti4", 1.0f},
        {0, 17, 3, 1.0f, "tx4", 1.0f},
        {0, 17, 3, 0.9f, nullptr, 0},
        {0, 18, 0, 2.9f, "ta1", 2.0f},
        {0, 18, 0, 0.0f, "ta1", 0.0f},
        {0, 18, 0, 4.5f, "ta1", 4.0f},
        {0, 18, 0, 7.0f, nullptr, 0},
        {0, 18, 0, -1.0f, nullptr, 0},
        {4, 19, 0, 1.0f, "sm41", 1.0f},
        {8, 19, 7, 0.0f, "sm88", 0.0f},
        {0, 19, 0, 1.0f, nullptr, 0},
        {9, 19, 0, 1.0f, nullptr, 0},
        {0, 20, 5, 0.5f, "td6", 0.5f},
        {0, 21, 1, 1.0f, "tsw2", 1.0f},
        {0, 28, 0, 1.0f, "bk-", 1.0f},
        {0, 29, 0, 1.0f, "bk+", 1.0f},
        {0, 30, 0, 1.0f, "sc", -1.0f},
        {0, 30, 0, 0.0f, nullptr, 0},
        {0, 31, 0, 0.5f, "sc", 1.0f},
        {0, 31, 0, -1.0f, nullptr, 0},
        {0, 32, 0, 1.0f, "flip", 1.0f},
        {0, 32, 0, 0.0f, nullptr, 0},
        {0, 57, 2, 1.0f, "ta3", 0.0f},
        {0, 58, 2, 1.0f, "ta3", 0.25f},
        {0, 59, 2, 1.0f, "ta3", 0.5f},
        {0, 60, 2, 1.0f, "ta3", 0.75f},
        {0, 61, 2, 1.0f, "ta3", 1.0f},
        {0, 61, 2, 0.5f, nullptr, 0},
        {0, 64, 0, 1.0f, "sv", 1.0f},
        {0, 65, 0, 1.0f, "un", 1.0f},
        {0, 77, 0, 1.0f, nullptr, 0},
        {0, 86, 0, 1.0f, nullptr, 0},
        {0, 92, 0, 1.0f, "jgst", 1.0f},
        {0, 93, 0, 0.5f, "jgst", 1.0f},
        {0, 110, 0, 1.0f, nullptr, 0},
        {0, 115, 0, 1.0f, nullptr, 0},
        {0, 132, 0, 1.0f, "gc", 1.0f},
        {0, 142, 5, 1.0f, "tkpd", 5.0f},
        {0, 142, 5, 0.0f, nullptr, 0},
        {0, 163, 2, 1.0f, "gsmk3", 1.0f},
        {0, 186, 3, 1.0f, nullptr, 0},
        {0, 186, 3, 0.0f, nullptr, 0},
        {0, 188, 4, 0.6f, "tp5", 0.6f},
        {2, 188, 4, 0.6f, "sl25", 0.6f},
        {9, 188, 4, 0.6f, nullptr, 0},
        {0, 190, 0, 1.0f, nullptr, 0},
        {0, 192, 0, 1.0f, nullptr, 0},
        {0, 193, 135, 1.0f, nullptr, 0},
        {0, 193, 136, 1.0f, nullptr, 0},
        {0, 195, 3, 1.0f, "ps", 3.0f},
        {0, 195, 3, 0.5f, nullptr, 0},
        {0, 197, 4, 0.5f, "pb4", 0.5f},
        {0, 198, 2, 0.5f, "ppv2", 0.5f},
        {0, 201, 0, 1.0f, "pbk", -1.0f},
        {0, 201, 0, 0.0f, nullptr, 0},
        {0, 202, 0, 1.0f, "pbk", 1.0f},
        {0, 203, 7, 1.0f, "cmd7", 1.0f},
        {0, 203, 7, 0.0f, nullptr, 0},
        {0, 204, 3, 1.0f, "md3", 1.0f},
        {0, 207, 1, 1.0f, "tpt2", 1.0f},
        {2, 207, 1, 1.0f, "st22", 1.0f},
        {9, 207, 1, 1.0f, nullptr, 0},
        {0, 211, 6, 0.25f, "ipv6", 0.25f},
        {0, 214, 0, 1.0f, "ibk", -1.0f},
        {0, 215, 0, 1.0f, "ibk", 1.0f},
        {0, 215, 0, 0.0f, nullptr, 0},
        {0, 999, 0, 1.0f, nullptr, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "mode " << row.mode << " kind " << row.kind << " index " << row.index
                                        << " value " << row.value);
        const auto sent = sentFor(row);
        if (!row.name)
            EXPECT_FALSE(sent) << sent->first;
        else
            EXPECT_EQ(sent, (std::pair<std::string, float>{row.name, row.sent}));
    }
}

// Kind 193 by index: the named buttons, presses and releases alike; every
// other index sends nothing.
TEST(LogicOscVocabulary, EveryButtonTowardsTheDaw)
{
    const std::vector<std::pair<int, const char*>> buttons = {
        {0, "rew"},      {1, "ff"},        {2, "st"},       {3, "pl"},       {4, "rec"},      {5, "pa"},
        {6, "rtz"},      {7, "gte"},       {8, "lp"},       {9, "qp"},       {10, "gtl"},     {11, "gtr"},
        {17, "cl"},      {18, "gssolo"},   {19, "gssl"},    {20, "gssr"},    {21, "gssdl"},   {22, "gssdr"},
        {37, "gsw0"},    {38, "gsw1"},     {39, "gsw2"},    {40, "gsw3"},    {41, "gsw4"},    {42, "gsw5"},
        {43, "gsw6"},    {44, "gsw7"},     {45, "gsw8"},    {46, "gsw9"},    {47, "gswA"},    {48, "gswB"},
        {57, "gsss1"},   {58, "gsss2"},    {59, "gsss3"},   {60, "gsss4"},   {61, "gsss5"},   {67, "gsccut"},
        {68, "gsccpy"},  {69, "gscpst"},   {70, "gscdel"},  {71, "gscsal"},  {72, "gsavo"},   {73, "gsapn"},
        {74, "gsamt"},   {75, "gsasn"},    {77, "gsapl"},   {78, "gsaso"},   {111, "redo"},   {113, "gsmkp"},
        {114, "gsmkn"},  {115, "kb1"},     {116, "kb2"},    {117, "kb3"},    {118, "kb4"},    {119, "kb5"},
        {120, "kb6"},    {121, "kb7"},     {122, "kb8"},    {123, "kb9"},    {124, "kb0"},    {125, "kbdel"},
        {126, "kbesc"},  {127, "kbenter"}, {128, "kb."},    {129, "kbleft"}, {130, "kbright"}, {131, "kbup"},
        {132, "kbdown"}, {133, "gtp"},     {134, "gsmute"},
    };
    std::size_t next = 0;
    for (int index = -1; index <= 140; ++index) {
        if (index == 135 || index == 136)
            continue;  // the time display's own buttons
        SCOPED_TRACE(index);
        const bool named = next < buttons.size() && buttons[next].first == index;
        for (float value : {1.0f, 0.0f}) {
            const auto sent = sentFor({0, 193, index, value, nullptr, 0});
            if (named)
                EXPECT_EQ(sent, (std::pair<std::string, float>{buttons[next].second, value}));
            else
                EXPECT_FALSE(sent) << sent->first;
        }
        next += named ? 1 : 0;
    }
    EXPECT_EQ(next, buttons.size());
}

struct FromDaw {
    const char* address;
    float v;
    const char* s;
    MessageRecord expected;
};

MessageRecord rec(std::uint16_t kind, std::int32_t index, float value, std::string text = {})
{
    return {kind, index, value, std::move(text), 0};
}

// In pan mode, with the transport stopped and the bars/beats display, as a
// fresh protocol starts.
TEST(LogicOscVocabulary, EveryNameFromTheDaw)
{
    const MessageRecord nothing = MessageRecord::nothing();
    const std::vector<FromDaw> rows = {
        {"tv3", 0.5f, "", rec(9, 2, 0.5f)},
        {"mtph2", -1.0f, "", rec(169, 1, 1.0f)},
        {"mtph2", -2.0f, "", rec(169, 1, 0.0f)},
        {"mtph2", 1.0f, "", rec(169, 1, 1.0f)},
        {"mtp4", 1.0f, "", rec(177, 3, 1.0f)},
        {"mtp4", -2.0f, "", rec(177, 3, 0.0f)},
        {"mtp4", 0.5f, "", nothing},
        {"mt2", 1.0f, "", rec(96, 1, 1.0f)},
        {"mt2", 0.0f, "", rec(96, 1, 0.0f)},
        {"mt2", -1.0f, "", rec(96, 1, 1.0f)},
        {"mt2", -2.0f, "", rec(96, 1, 0.0f)},
        {"mt2", -3.0f, "", rec(96, 1, 1.0f)},
        {"mt2", -0.5f, "", nothing},
        {"md", 0.0f, "", nothing},
        {"vtv1", 0.0f, "-6.2 dB", rec(187, 0, 0.0f, "-6.2")},
        {"vtv1", 0.0f, "+1.0", rec(187, 0, 0.0f, "+1.0")},
        {"ctb", 0.0f, "  1  2  3   4", rec(4, 0, 0.0f, std::string("1 \xB2 \xA0" "3\xA0  4"))},
        {"cts", 0.0f, "01:02:03:04", nothing},
        {"tpd2", 0.0f, "Left 12 long text", rec(205, 1, 0.0f, " Left 12 lo")},
        {"tpt1", 1.0f, "", rec(207, 0, 1.0f)},
        {"tsw3", 1.0f, "", rec(21, 2, 1.0f)},
        {"vmode3", 2.0f, "", rec(112, 0, 3.0f)},
        {"tp4", 0.5f, "", rec(10, 3, 51010.5f)},
        {"tp9", 0.5f, "", nothing},
        {"tm2", 1.0f, "", rec(13, 1, 1.0f)},
        {"ts2", 1.0f, "", rec(14, 1, 1.0f)},
        {"tr2", 1.0f, "", rec(15, 1, 1.0f)},
        {"tx2", 1.0f, "", rec(17, 1, 1.0f)},
        {"ti2", 1.0f, "", rec(16, 1, 1.0f)},
        {"tn1", 0.0f, "Long track name", rec(189, 0, 0.0f, "Long tra")},
        {"tn0", 0.0f, "Name", nothing},
        {"ta2", 0.0f, "", rec(18, 1, 0.0f)},
        {"ta2", 0.25f, "", rec(18, 1, 1.0f)},
        {"ta2", 0.5f, "", rec(18, 1, 2.0f)},
        {"ta2", 0.75f, "", rec(18, 1, 3.0f)},
        {"ta2", 1.0f, "", rec(18, 1, 4.0f)},
        {"ta2", 0.6f, "", nothing},
        {"plt2", 0.0f, "Audio 1 long", rec(2, 10, 0.0f, "Audio 1 ")},
        {"plb3", 0.5f, "", rec(10, 2, 0.5f)},
        {"st", 1.0f, "", rec(193, 2, 1.0f)},
        {"rew", 1.0f, "", rec(193, 0, 1.0f)},
        {"ff", 1.0f, "", rec(193, 1, 1.0f)},
        {"pl", 0.0f, "", rec(193, 3, 0.0f)},
        {"rec", 1.0f, "", rec(193, 4, 1.0f)},
        {"pa", 1.0f, "", rec(193, 5, 1.0f)},
        {"rtz", 1.0f, "", rec(193, 6, 1.0f)},
        {"gte", 1.0f, "", rec(193, 7, 1.0f)},
        {"gtl", 1.0f, "", rec(193, 10, 1.0f)},
        {"gtr", 1.0f, "", rec(193, 11, 1.0f)},
        {"sv", 1.0f, "", rec(64, 0, 1.0f)},
        {"un", 1.0f, "", rec(65, 0, 1.0f)},
        {"redo", 1.0f, "", rec(193, 111, 1.0f)},
        {"gc", 1.0f, "", rec(132, 0, 1.0f)},
        {"lp", 1.0f, "", rec(193, 8, 1.0f)},
        {"qp", 1.0f, "", rec(193, 9, 1.0f)},
        {"cl", 1.0f, "", rec(193, 17, 1.0f)},
        {"gsavo", 1.0f, "", rec(193, 72, 1.0f)},
        {"gsapn", 1.0f, "", rec(193, 73, 1.0f)},
        {"gsamt", 1.0f, "", rec(193, 74, 1.0f)},
        {"gsasn", 1.0f, "", rec(193, 75, 1.0f)},
        {"gsapl", 1.0f, "", rec(193, 77, 1.0f)},
        {"gsaso", 1.0f, "", rec(193, 78, 1.0f)},
        {"gsw2", 1.0f, "", rec(193, 39, 1.0f)},
        {"gsw3", 1.0f, "", rec(193, 40, 1.0f)},
        {"gsw6", 1.0f, "", rec(193, 43, 2.0f)},
        {"gsw7", 0.5f, "", rec(193, 44, 1.0f)},
        {"gsw8", 1.0f, "", rec(193, 45, 1.0f)},
        {"gswB", 1.0f, "", rec(193, 48, 1.0f)},
        {"gswF", 1.0f, "", rec(193, 53, 1.0f)},
        {"gswA", 1.0f, "", rec(193, 47, 1.0f)},
        {"gsss1", 1.0f, "", rec(193, 57, 1.0f)},
        {"gsss2", 1.0f, "", rec(193, 58, 1.0f)},
        {"gsss3", 1.0f, "", rec(193, 59, 1.0f)},
        {"gsss4", 1.0f, "", rec(193, 60, 1.0f)},
        {"gsss5", 1.0f, "", rec(193, 61, 1.0f)},
        {"gsss6", 1.0f, "", rec(193, 62, 1.0f)},
        {"gsss7", 1.0f, "", rec(193, 63, 1.0f)},
        {"gsss8", 1.0f, "", rec(193, 64, 1.0f)},
        {"gsss9", 1.0f, "", rec(193, 65, 1.0f)},
        {"gsccut", 1.0f, "", rec(193, 67, 1.0f)},
        {"gsccpy", 1.0f, "", rec(193, 68, 1.0f)},
        {"gscpst", 1.0f, "", rec(193, 69, 1.0f)},
        {"gscdel", 1.0f, "", rec(193, 70, 1.0f)},
        {"gscsal", 1.0f, "", rec(193, 71, 1.0f)},
        {"gsmkp", 1.0f, "", rec(193, 113, 1.0f)},
        {"gsmkn", 1.0f, "", rec(193, 114, 1.0f)},
        {"gsmk3", 1.0f, "", rec(163, 3, 1.0f)},
        {"gssolo", 1.0f, "", rec(193, 18, 1.0f)},
        {"gsmute", 1.0f, "", rec(193, 134, 1.0f)},
        {"sl23", 0.7f, "", nothing},
        {"sm23", 1.0f, "", nothing},
        {"pn3", 0.0f, "Preset name", rec(196, 3, 0.0f, "Preset n")},
        {"pb2", 0.5f, "", rec(197, 2, 0.5f)},
        {"ppv2", 0.5f, "", rec(198, 2, 51020.5f)},
        {"ppd2", 0.0f, "Parameter value", rec(199, 2, 0.0f, "Parameter ")},
        {"ppn2", 0.0f, "Parameter name", rec(200, 2, 0.0f, "Parameter ")},
        {"ipv1", 0.5f, "", rec(211, 1, 51020.5f)},
        {"ipd1", 0.0f, "Plugin value", rec(212, 1, 0.0f, "Plugin val")},
        {"ipn1", 0.0f, "Plugin parameter", rec(213, 1, 0.0f, "Plugin par")},
        {"ps", 0.2f, "", rec(195, 7, 0.0f)},
        {"ps", 7.0f / 15.0f, "", rec(195, 7, 1.0f)},
        {"alt", 0.0f, "Hello", rec(165, 1, 1.0f, "Hello")},
        {"jgst", 0.0f, "", rec(93, 0, 0.0f)},
        {"jgst", 1.0f, "", rec(93, 0, 0.0f)},
        {"jgst", 2.0f, "", rec(93, 0, 1.0f)},
        {"jgst", 5.0f, "", nothing},
        {"sd11", 0.0f, "-3 dB", nothing},
        {"sn12", 0.0f, "Send name long", rec(206, 1, 0.0f, "Send name ")},
        {"flip", 1.0f, "", rec(32, 0, 1.0f)},
        {"gssl", 1.0f, "", nothing},
        {"kb1", 1.0f, "", nothing},
        {"zzz", 1.0f, "", nothing},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << '"' << row.address << "\" " << row.v << " \"" << row.s << '"');
        HostProtocolLogicOSC protocol;
        NoRemote remote;
        protocol.translator = &remote;
        OscRecord record;
        record.setAddress(row.address);
        record.value = row.v;
        record.setText(row.s);
        EXPECT_EQ(protocol.fromHostOsc(record), row.expected);
    }
}

// The words that travel both ways: a record becomes the name, and the name
// becomes the record again.
TEST(LogicOscVocabulary, WordsOfBothDirectionsReadBothWays)
{
    struct Both {
        std::uint16_t kind;
        std::int32_t index;
        const char* address;
        float toDaw = 1.0f;    // for the value 1.0
        float fromDaw = 1.0f;  // for the value 1.0
    };
    const std::vector<Both> words = {
        {9, 0, "tv1"},       {13, 7, "tm8"},       {14, 0, "ts1"},       {15, 0, "tr1"},     {16, 0, "ti1"},
        {17, 0, "tx1"},      {21, 4, "tsw5"},      {10, 3, "plb4", 4.0f}, {18, 2, "ta3", 1.0f, 4.0f},     {64, 0, "sv"},
        {65, 0, "un"},       {132, 0, "gc"},       {32, 0, "flip"},      {197, 4, "pb4"},    {193, 0, "rew"},
        {193, 1, "ff"},      {193, 3, "pl"},       {193, 4, "rec"},      {193, 5, "pa"},     {193, 6, "rtz"},
        {193, 7, "gte"},     {193, 8, "lp"},       {193, 9, "qp"},       {193, 10, "gtl"},   {193, 11, "gtr"},
        {193, 17, "cl"},     {193, 18, "gssolo"},  {193, 39, "gsw2"},    {193, 40, "gsw3"},  {193, 45, "gsw8"},
        {193, 47, "gswA"},   {193, 48, "gswB"},    {193, 57, "gsss1"},   {193, 58, "gsss2"}, {193, 59, "gsss3"},
        {193, 60, "gsss4"},  {193, 61, "gsss5"},   {193, 67, "gsccut"},  {193, 68, "gsccpy"}, {193, 69, "gscpst"},
        {193, 70, "gscdel"}, {193, 71, "gscsal"},  {193, 72, "gsavo"},   {193, 73, "gsapn"}, {193, 74, "gsamt"},
        {193, 75, "gsasn"},  {193, 77, "gsapl"},   {193, 78, "gsaso"},   {193, 111, "redo"}, {193, 113, "gsmkp"},
        {193, 114, "gsmkn"}, {193, 134, "gsmute"},
    };
    for (const auto& w : words) {
        SCOPED_TRACE(w.address);
        EXPECT_EQ(sentFor({0, w.kind, w.index, 1.0f, nullptr, 0}), (std::pair<std::string, float>{w.address, w.toDaw}));
        HostProtocolLogicOSC protocol;
        OscRecord record;
        record.setAddress(w.address);
        record.value = 1.0f;
        EXPECT_EQ(protocol.fromHostOsc(record), rec(w.kind, w.index, w.fromDaw));
    }
}

}  // namespace
}  // namespace corvello
