// The size-bounded log file, on a scratch folder of the real file system.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "platform/LogFile.h"

namespace corvello::log {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = fs::temp_directory_path() /
                 ("corvello-logfile-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    fs::path folder;
};

TEST_F(LogFileTest, RotatesOnceFullKeepingTheNewestLinesWithinTwoFiles)
{
    RotatingLogFile log(folder / "sub" / "Corvello.log", 100);
    EXPECT_EQ(log.oldPath(), folder / "sub" / "Corvello.old.log");
    std::string all;
    for (int i = 0; i < 40; ++i) {
        const std::string line = "line " + std::to_string(i) + std::string(static_cast<std::size_t>(i % 7), '.');
        ASSERT_TRUE(log.append(line));
        all += line + "\n";
        EXPECT_LE(fs::file_size(log.path()), 100u);
    }
    const std::string kept = contents(log.oldPath()) + contents(log.path());
    EXPECT_GT(contents(log.oldPath()).size(), 0u);
    // Whatever the two files hold is the tail of what was written, in order.
    ASSERT_LE(kept.size(), all.size());
    EXPECT_EQ(all.substr(all.size() - kept.size()), kept);
    EXPECT_GT(kept.size(), 100u);
}

TEST_F(LogFileTest, ARestartAppendsAndCountsWhatIsAlreadyThere)
{
    fs::create_directories(folder);
    std::ofstream(folder / "Corvello.log", std::ios::binary) << std::string(90, 'a') << '\n';
    RotatingLogFile log(folder / "Corvello.log", 100);
    ASSERT_TRUE(log.append("short"));
    EXPECT_EQ(contents(log.path()), std::string(90, 'a') + "\nshort\n");
    ASSERT_TRUE(log.append("this one does not fit"));
    EXPECT_EQ(contents(log.path()), "this one does not fit\n");
    EXPECT_EQ(contents(log.oldPath()), std::string(90, 'a') + "\nshort\n");
}

TEST_F(LogFileTest, ALineLongerThanTheLimitIsCutToFit)
{
    RotatingLogFile log(folder / "Corvello.log", 10);
    ASSERT_TRUE(log.append(std::string(50, 'x')));
    EXPECT_EQ(contents(log.path()), std::string(9, 'x') + "\n");
}

TEST_F(LogFileTest, AnUnwritablePlaceIsReportedNotThrown)
{
    fs::create_directories(folder);
    std::ofstream(folder / "file") << "a file where the folder should be";
    RotatingLogFile log(folder / "file" / "Corvello.log", 100);
    EXPECT_FALSE(log.append("lost"));
}

TEST_F(LogFileTest, SinkStampsEachLineWithTimeAndLevel)
{
    Sink sink = fileSink(folder / "Corvello.log", 1000);
    sink(Level::warning, "first");
    sink(Level::info, "second");
    const std::regex expected(
        R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ warning: first\n\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ info: second\n)");
    EXPECT_TRUE(std::regex_match(contents(folder / "Corvello.log"), expected)) << contents(folder / "Corvello.log");
}

}  // namespace
}  // namespace corvello::log
