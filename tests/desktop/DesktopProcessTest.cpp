// Desktop commands through the whole program: a real Xvfb (XvfbServer,
// spawned with -displayfd, stopped by PID), `corvello` started on that
// display with a private XDG_RUNTIME_DIR, the reference remote
// `corvello-remote` on its TCP link and, as the DAW, `corvello-pipeclient`
// on a virtual port; every process is stopped by PID.

#include "X11TestWindow.h"  // first: it orders gtest before Xlib

#include <filesystem>
#include <memory>

#include "PictureDecoder.h"
#include "XvfbServer.h"
#include "tests/support/ChildProcess.h"
#include "tools/remote/RecordText.h"

namespace corvello::test {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kChangedColour = 0x00FFFF00;

class DesktopProcessTest : public ::testing::Test {
protected:
    void SetUp() override { start({}); }

    void start(const std::vector<std::string>& options)
    {
        ASSERT_TRUE(xvfb.running()) << "Xvfb did not start";
        window.emplace(xvfb.display);
        ASSERT_TRUE(window->connection);
        window->takeFocus();

        char pattern[] = "/tmp/corvello-desktop-e2e-XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern));
        runtimeDir = pattern;
        environment = {"DISPLAY=" + xvfb.display, "XDG_RUNTIME_DIR=" + runtimeDir, "AVAHI_COMPAT_NOWARN=1"};
        std::vector<std::string> argv{CORVELLO_BIN};
        argv.insert(argv.end(), options.begin(), options.end());
        corvello = std::make_unique<ChildProcess>(argv, environment);
        const auto line = corvello->waitForErrorLine("listening for the remote on TCP port", 10s);
        ASSERT_TRUE(line) << "corvello did not report its port";
        remote = std::make_unique<ChildProcess>(std::vector<std::string>{
            REMOTE_BIN, "--drain", "300", "127.0.0.1:" + line->substr(line->rfind(' ') + 1)});
        remote->writeLine("186 1 1");  // a host selection gives the desktop its queue
        remote->writeLine("wait 100");
    }

    void TearDown() override
    {
        remote.reset();
        corvello.reset();
        std::filesystem::remove_all(runtimeDir);
    }

    // The next desktop reply with `index`, skipping everything else.
    std::optional<MessageRecord> nextDesktopReply(std::int32_t index)
    {
        while (auto line = remote->readLine(10s)) {
            remote::ScriptLine parsed;
            std::string error;
            if (remote::parseScriptLine(*line, parsed, error) && parsed.record.kind == kDesktopKind &&
                parsed.record.index == index)
                return parsed.record;
        }
        return std::nullopt;
    }

    // Feeds picture records to the decoder until `done` says the picture is complete.
    template <typename Done>
    void decodeUntil(PictureDecoder& decoder, Done done)
    {
        while (!done()) {
            const auto line = remote->readLine(10s);
            ASSERT_TRUE(line) << "the picture stopped arriving";
            remote::ScriptLine parsed;
            std::string error;
            if (remote::parseScriptLine(*line, parsed, error) && parsed.record.kind == kDesktopKind)
                decoder.feed(parsed.record);
        }
    }

    // The window's id, from the window list of this program.
    std::string listedWindowId()
    {
        remote->writeLine("210 14 0");
        nextDesktopReply(16);
        remote->writeLine("210 15 " + std::to_string(getpid()));
        remote->writeLine("210 3 1");
        const auto list = nextDesktopReply(5);
        return list ? list->text.substr(0, list->text.find(',')) : "none";
    }

    XvfbServer xvfb;
    std::optional<TestWindow> window;
    std::vector<std::string> environment;
    std::string runtimeDir;
    std::unique_ptr<ChildProcess> corvello;
    std::unique_ptr<ChildProcess> remote;
};

TEST_F(DesktopProcessTest, TheRemoteGetsTheProcessList)
{
    remote->writeLine("210 14 0");
    const auto list = nextDesktopReply(16);
    ASSERT_TRUE(list) << "no process list";
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").filename().string();
    EXPECT_NE(list->text.find(self + ":" + std::to_string(getpid())), std::string::npos) << list->text;
    EXPECT_EQ(list->text.find("Desktop:-2"), 0u) << list->text;  // "D" sorts before "d"
}

TEST_F(DesktopProcessTest, TheRemoteWatchesAWindowThatChanges)
{
    const std::string handle = listedWindowId();
    remote->writeLine("210 12 \"" + handle + "\"");
    PictureDecoder decoder;
    decodeUntil(decoder, [&] { return decoder.images.count(kWatchedImage) == 1; });
    const Picture& picture = decoder.images.at(kWatchedImage);
    ASSERT_EQ(picture.size, (PixelSize{200, 100}));
    EXPECT_EQ(picture.at(10, 10), kLeftColour);
    EXPECT_EQ(picture.at(190, 10), kRightColour);

    window->paintRight(kChangedColour, 20);
    remote->writeLine("210 13 \"" + handle + "\"");
    decodeUntil(decoder, [&] { return !decoder.frameEnds.empty(); });
    EXPECT_EQ(decoder.frameEnds, std::vector<std::int32_t>{-1});
    EXPECT_EQ(decoder.tilesApplied, 3);  // the strip x 100..199, y 0..19 touches tile columns 1 to 3
    EXPECT_EQ(picture.at(190, 10), kChangedColour);
    EXPECT_EQ(picture.at(190, 50), kRightColour);
    EXPECT_EQ(picture.at(10, 10), kLeftColour);
}

class NoDesktopProcessTest : public DesktopProcessTest {
protected:
    void SetUp() override { start({"--no-desktop"}); }
};

TEST_F(NoDesktopProcessTest, DesktopCommandsAreIgnoredWhileTheDawIsStillServed)
{
    auto daw = std::make_unique<ChildProcess>(std::vector<std::string>{PIPECLIENT_BIN, "Tamberlin"}, environment);
    ASSERT_TRUE(daw->waitForErrorLine("connected to Tamberlin", 5s));
    const std::string before = commandOutput("DISPLAY=" + xvfb.display + " xdotool getmouselocation");

    for (const char* command : {"210 1 \"300,200\"", "210 0 \"310,210\"", "210 2 \"\"", "210 14 0",
                                "210 15 -2", "210 12 \"1\"", "210 13 \"1\""})
        remote->writeLine(command);
    remote->writeLine("9 0 1");  // a fader: the DAW still hears the remote
    EXPECT_TRUE(daw->waitForLine("E0 7F 7F", 3s)) << "the fader did not reach the DAW";

    const auto end = std::chrono::steady_clock::now() + 1s;
    while (std::chrono::steady_clock::now() < end) {
        const auto line = remote->readLine(100ms);
        if (!line)
            continue;
        remote::ScriptLine parsed;
        std::string error;
        if (remote::parseScriptLine(*line, parsed, error)) {
            EXPECT_NE(parsed.record.kind, kDesktopKind) << *line;
        }
    }
    EXPECT_EQ(commandOutput("DISPLAY=" + xvfb.display + " xdotool getmouselocation"), before);
    EXPECT_TRUE(corvello->waitForErrorLine("Desktop control is off", 2s));
    EXPECT_FALSE(corvello->waitForErrorLine("Desktop control is off", 300ms)) << "one line per link";
}

}  // namespace
}  // namespace corvello::test
