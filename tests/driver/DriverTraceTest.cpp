// The driver's trace: when its log file is written and where, and that a
// failed open inside a DAW leaves a line there.

#include "driver/TraceSettings.h"
#include "tests/driver/DriverHarness.h"
#include "virtmidi/virtmidilock.h"
#include "virtmidi/virtmidiportlist.h"
#include "virtmidi/virtmidiprotocol.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace corvello::test {
namespace {

TEST(DriverTraceSettings, TheVariableDecidesWhenSetOtherwiseTheUsersSetting)
{
    const struct {
        std::optional<std::string> variable;
        bool setting;
        bool enabled;
    } cases[] = {
        {std::nullopt, false, false}, {std::nullopt, true, true}, {"", true, true},
        {"", false, false},           {"1", false, true},         {"yes", false, true},
        {"0", true, false},           {"0", false, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(traceEnabledBy(c.variable, c.setting), c.enabled)
            << "variable " << c.variable.value_or("(unset)") << ", setting " << c.setting;
}

TEST(DriverTraceSettings, ThePosixLogDirectoryFollowsTheXdgRules)
{
    const struct {
        const char* stateHome;
        const char* home;
        std::string directory;
    } cases[] = {
        {"/s", "/h", "/s/corvello"},
        {nullptr, "/h", "/h/.local/state/corvello"},
        {"relative", "/h", "/h/.local/state/corvello"},  // not absolute: ignored
        {"", "/h", "/h/.local/state/corvello"},
        {nullptr, nullptr, ""},
        {nullptr, "relative", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(posixTraceLogDirectory(c.stateHome, c.home), c.directory)
            << (c.stateHome ? c.stateHome : "(unset)") << ", " << (c.home ? c.home : "(unset)");
}

// A server that holds its lock and publishes its ports but serves none of
// them: the open fails, and the trace log says why.
TEST_F(DriverTest, AFailedOpenLeavesALineInTheTraceLog)
{
    const std::string logRoot = makeTemporaryDirectory();
    ASSERT_FALSE(logRoot.empty());
    driver.reset();
    setEnvironment(kTraceEnvironmentVariable, "1");
    setEnvironment(traceLogDirectoryVariable(), logRoot.c_str());
    std::unique_ptr<VirtMidiServerLock> lock;
    ASSERT_EQ(VirtMidiServerLock::acquire(lock), VirtMidiServerLock::Outcome::acquired);
    virtMidiPublishPortList(virtMidiEncodePortList(kPortNames));
    std::string error;
    driver = DriverLibrary::load(CORVMIDI_LIBRARY, error);
    ASSERT_TRUE(driver) << error;

    ASSERT_EQ(outputMessage(0, MODM_GETNUMDEVS), 3u);
    EXPECT_EQ(openOutput(1), MMSYSERR_NODRIVER);
    driver.reset();  // every line is written by now
    setEnvironment(kTraceEnvironmentVariable, nullptr);
    removePublishedPortList();

    std::stringstream text;
    {
        std::ifstream file(traceLogFileUnder(logRoot));
        ASSERT_TRUE(file) << "no log file under " << logRoot;
        text << file.rdbuf();
    }
    EXPECT_NE(text.str().find("corvmidi: the pipe of port 0 (\"Swivo 1\") cannot be opened"),
              std::string::npos)
        << text.str();
    EXPECT_NE(text.str().find("corvmidi: open: output device 1 (\"Swivo 2\") cannot reach"),
              std::string::npos)
        << text.str();
    EXPECT_NE(text.str().find("MODM_OPEN device 1: 6"), std::string::npos) << "no detail line";
    std::error_code ignored;
    std::filesystem::remove_all(logRoot, ignored);
}

}  // namespace
}  // namespace corvello::test
