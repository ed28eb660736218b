// The names, formats and limits the program and the driver share, and the
// hex lines of the pipe client.

#include <gtest/gtest.h>

#include <string>

#include "tools/pipeclient/HexLine.h"
#include "virtmidi/virtmidiprotocol.h"

namespace corvello {
namespace {

TEST(MidiMessageLength, FollowsTheStatusByte)
{
    struct Case {
        std::uint8_t first;
        int length;
    };
    for (const Case c : {Case{0x00, 0}, {0x3C, 0}, {0x7F, 0}, {0x80, 3}, {0x90, 3}, {0xBF, 3},
                         {0xC0, 2}, {0xDF, 2}, {0xE0, 3}, {0xEF, 3}, {0xF0, 0}, {0xF1, 2},
                         {0xF2, 3}, {0xF3, 2}, {0xF4, 1}, {0xF6, 1}, {0xF7, 1}, {0xF8, 1}, {0xFF, 1}})
        EXPECT_EQ(midiMessageLength(c.first), c.length) << std::hex << int(c.first);
}

TEST(VirtMidiNames, PipeNamesCarryTheSessionKeepTheBlankAndFitTheBuffer)
{
    EXPECT_EQ(virtMidiPipeName(1, "Swivo 1"),
              "\\\\.\\pipe\\{5b3e0c71-2d8a-4f16-9c4e-7a0d13b6e285}\\1\\Swivo 1");
    EXPECT_EQ(virtMidiPipeName(4294967295u, "Tamberlin"),
              "\\\\.\\pipe\\{5b3e0c71-2d8a-4f16-9c4e-7a0d13b6e285}\\4294967295\\Tamberlin");
    EXPECT_EQ(virtMidiPipeName(2, std::string(400, 'x')).size(), 259u);
}

TEST(VirtMidiPortList, EncodesTheThreePortsInExactly27Bytes)
{
    const char* const names[] = {"Swivo 1", "Swivo 2", "Tamberlin", nullptr};
    const std::string list = virtMidiEncodePortList(names);
    EXPECT_EQ(list, std::string("Swivo 1\0Swivo 2\0Tamberlin\0\0", 27));
    EXPECT_EQ(virtMidiDecodePortList(list.data(), list.size()),
              (std::vector<std::string>{"Swivo 1", "Swivo 2", "Tamberlin"}));
}

TEST(VirtMidiPortList, ANameReachingTheBoundIsWrittenEmptyAndEndsTheList)
{
    const std::string longest(259, 'a'), tooLong(260, 'b');
    const char* const names[] = {longest.c_str(), tooLong.c_str(), "After", nullptr};
    const std::string list = virtMidiEncodePortList(names);
    EXPECT_EQ(list, longest + std::string("\0\0After\0\0", 9));
    EXPECT_EQ(virtMidiDecodePortList(list.data(), list.size()), std::vector<std::string>{longest});
    EXPECT_EQ(virtMidiEncodePortList(nullptr), std::string(1, '\0'));
}

TEST(VirtMidiPortList, DecodingNeverReadsPastTheData)
{
    const char unterminated[] = {'A', '\0', 'B', 'C'};  // no final NUL
    EXPECT_EQ(virtMidiDecodePortList(unterminated, sizeof unterminated),
              (std::vector<std::string>{"A", "BC"}));
    EXPECT_TRUE(virtMidiDecodePortList(unterminated, 0).empty());
}

TEST(HexLine, ParsesByteGroupsAndRejectsAnythingElse)
{
    using Bytes = std::vector<std::uint8_t>;
    EXPECT_EQ(parseHexLine("90 3C 7F"), (Bytes{0x90, 0x3C, 0x7F}));
    EXPECT_EQ(parseHexLine(" f0 7e7f \t0601F7\r"), (Bytes{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}));
    EXPECT_EQ(parseHexLine(""), Bytes{});
    for (const char* bad : {"9", "90 3", "903 C7", "zz", "0x90"})
        EXPECT_EQ(parseHexLine(bad), std::nullopt) << bad;

    const std::uint8_t bytes[] = {0x90, 0x0C, 0xFF};
    EXPECT_EQ(formatHexLine(bytes, 3), "90 0C FF");
    EXPECT_EQ(formatHexLine(bytes, 0), "");
}

}  // namespace
}  // namespace corvello
