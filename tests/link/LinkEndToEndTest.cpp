// Whole-process test: this process holds a server-mode link node whose
// filter echoes every record back through the queue;
// corvello-remote runs as a child process (through the shell, stdin piped
// from printf) and its stdout is compared line by line.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <future>
#include <memory>
#include <sstream>

#include "tests/link/LinkTestSupport.h"

namespace corvello {
namespace {

using namespace testing_support;

class EchoThroughQueue : public RecordingFilter {
public:
    int receive(const MessageRecord& record) override
    {
        RecordingFilter::receive(record);
        queue->send(record);
        return 1;
    }
    RemoteQueue* queue = nullptr;
};

struct RemoteRun {
    int status;
    std::vector<std::string> lines;  // sorted: the two channels interleave freely
};

RemoteRun runRemote(const std::string& arguments)
{
    RemoteRun run{-1, {}};
    FILE* child = popen(arguments.c_str(), "r");
    if (!child)
        return run;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, child)) {
        std::string line = buffer;
        line.pop_back();
        run.lines.push_back(line);
    }
    int status = pclose(child);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::sort(run.lines.begin(), run.lines.end());
    return run;
}

struct RemoteEndToEnd : ::testing::Test {
    EchoThroughQueue echo;  // outlives the node, which detaches it
    RemoteLink node{true};

    void SetUp() override
    {
        echo.queue = &node.outgoing();
        node.addFilter(&echo);
    }
    std::string remote(const std::string& options)
    {
        return std::string(CORVELLO_REMOTE_PATH) + " --drain 300 " + options + " 127.0.0.1:" +
               std::to_string(node.listeningPort());
    }
};

TEST_F(RemoteEndToEnd, StdinRecordsComeBackThroughTheQueueOnTheirChannels)
{
    RemoteRun run = runRemote("printf '%s\\n' '9 2 0.75' '185 0 \"text\"' 'metering 96 1 0.5' '210 0 hex:00ff' "
                        "'# echo of a negative index' 'main 9 -1 0.25' 'wait 50' | " +
                        remote(""));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.lines, (std::vector<std::string>{"main 185 0 \"text\"", "main 210 0 hex:00ff", "main 9 -1 0.25",
                                                   "main 9 2 0.75", "metering 96 1 0.5"}));
    auto received = echo.received();
    ASSERT_EQ(received.size(), 5u);
    EXPECT_EQ(std::count_if(received.begin(), received.end(),
                            [](auto& r) { return r.channel == RemoteLink::Channel::Metering; }),
              1);
}

TEST_F(RemoteEndToEnd, ArgumentRecordsAreSentAndAnUnreadableOneIsReported)
{
    RemoteRun run = runRemote(remote("") + " '9 1 0.5' 'nonsense' 2>/dev/null");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.lines, std::vector<std::string>{"main 9 1 0.5"});
}

TEST(RemoteEndToEndClose, AClosedLinkEndsTheRemoteWhileItsStdinStaysOpen)
{
    RecordingFilter filter;
    auto node = std::make_unique<RemoteLink>(true);
    node->addFilter(&filter);
    std::string command = "(echo '9 1 1'; sleep 3) | " + std::string(CORVELLO_REMOTE_PATH) + " 127.0.0.1:" +
                          std::to_string(node->listeningPort()) + " 2>/dev/null";
    auto run = std::async(std::launch::async, [&] { return runRemote(command); });
    // A received record shows the remote is past connecting and reading stdin.
    ASSERT_TRUE(eventually([&] { return filter.received().size() == 1; }, 5s));
    node.reset();
    EXPECT_EQ(run.get().status, 3);
}

TEST(RemoteEndToEndWithoutServer, ANodeThatIsNotThereIsReported)
{
    auto closedPort = [] { return RemoteLink(true).listeningPort(); };  // listened on, then closed again
    RemoteRun run = runRemote(std::string(CORVELLO_REMOTE_PATH) + " --timeout 1000 127.0.0.1:" +
                        std::to_string(closedPort()) + " '9 1 1' 2>/dev/null");
    EXPECT_EQ(run.status, 2);
}

}  // namespace
}  // namespace corvello
