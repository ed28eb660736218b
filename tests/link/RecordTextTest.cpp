// The reference remote's line format, both directions.
#include <gtest/gtest.h>

#include "tools/remote/RecordText.h"

namespace corvello::remote {
namespace {

using Channel = RemoteLink::Channel;

TEST(RecordText, LinesReadBackAsTheRecordsTheyPrint)
{
    struct Case {
        Channel channel;
        MessageRecord record;
        const char* line;
    } cases[] = {
        {Channel::Main, MessageRecord::number(9, 2, 0.75f), "main 9 2 0.75"},
        {Channel::Metering, MessageRecord::number(96, -1, 0.1f), "metering 96 -1 0.1"},
        {Channel::Main, MessageRecord::withText(185, 0, "two words \"quoted\""), "main 185 0 \"two words \"quoted\"\""},
        {Channel::Main, MessageRecord::withText(210, 3, std::string("\0\x7F\xFF", 3)), "main 210 3 hex:007fff"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(formatRecord(c.channel, c.record), c.line);
        ScriptLine parsed;
        std::string error;
        ASSERT_TRUE(parseScriptLine(c.line, parsed, error)) << c.line << ": " << error;
        EXPECT_EQ(parsed.type, ScriptLine::Type::Record);
        EXPECT_EQ(parsed.channel, c.channel);
        EXPECT_EQ(parsed.record, c.record) << c.line;
    }
}

TEST(RecordText, InputDefaultsToMainAndKnowsWaitsAndComments)
{
    struct Case {
        const char* line;
        ScriptLine::Type type;
    } cases[] = {{"  9 1 1e-3 ", ScriptLine::Type::Record}, {"wait 20", ScriptLine::Type::Wait},
                 {"", ScriptLine::Type::Nothing},          {"# note", ScriptLine::Type::Nothing}};
    for (const Case& c : cases) {
        ScriptLine parsed;
        std::string error;
        ASSERT_TRUE(parseScriptLine(c.line, parsed, error)) << c.line << ": " << error;
        EXPECT_EQ(parsed.type, c.type) << c.line;
        EXPECT_EQ(parsed.channel, Channel::Main);
    }
}

TEST(RecordText, UnreadableLinesAreRefusedWithAReason)
{
    for (const char* line : {"9", "9 1", "x 1 0.5", "9 1 0.5 extra", "70000 1 0.5", "9 1 \"open", "9 1 hex:0",
                             "9 1 hex:zz", "9 1 nan", "185 1 HEX", "wait", "wait -5", "metering"}) {
        ScriptLine parsed;
        std::string error;
        EXPECT_FALSE(parseScriptLine(line, parsed, error)) << line;
        EXPECT_FALSE(error.empty()) << line;
    }
}

}  // namespace
}  // namespace corvello::remote
