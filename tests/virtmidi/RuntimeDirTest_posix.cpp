// Runtime directories that another local user has tampered with, met by whole
// processes started for real: `corvello` itself, corvello-pipeclient, and the
// second-server helper run under other uids with setpriv. The test plays that
// other user by handing files to uids nobody uses (chown, lchown), so it runs
// as root, as CI does, and skips otherwise. Everything it makes lives in one
// fresh directory under /tmp, or under /tmp/corvello-<uid> for those uids,
// and is removed at the end.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "virtmidi/virtmidiprotocol.h"

namespace corvello::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Uids of nobody on a fresh machine: the victim and the other local user.
constexpr uid_t kVictim = 47301;
constexpr uid_t kIntruder = 47302;

std::string readFile(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// What a process said about the runtime directory before it settled.
struct Outcome {
    std::string okLine;
    std::string errors;
};

// Corvello writes "Ok=..." once its virtual MIDI server has started or not.
Outcome runCorvello(const fs::path& runtimeDir)
{
    ChildProcess corvello({CORVELLO_BIN}, {"XDG_RUNTIME_DIR=" + runtimeDir.string(), "AVAHI_COMPAT_NOWARN=1"});
    Outcome outcome;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
        const auto line = corvello.readErrorLine(500ms);
        if (!line)
            continue;
        outcome.errors += *line + "\n";
        if (line->rfind("Ok=", 0) == 0) {
            outcome.okLine = *line;
            break;
        }
    }
    corvello.stop(SIGTERM, 5s);
    return outcome;
}

class TamperedRuntimeDir : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "playing another local user needs root";
        char pattern[] = "/tmp/corvello-tamper-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        base = pattern;
        fs::permissions(base, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        // A private directory of ours that the intruder would like emptied.
        privateDir = base / "private";
        fs::create_directory(privateDir);
        fs::permissions(privateDir, fs::perms::owner_all);
        std::ofstream(privateDir / "thesis.txt") << "years of work";
        std::ofstream(privateDir / "ports") << "Evil\0\0";
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(base, ignored);
    }

    fs::path makeDir(const std::string& name, fs::perms perms, uid_t owner = 0)
    {
        const fs::path dir = base / name;
        fs::create_directory(dir);
        fs::permissions(dir, perms);
        EXPECT_EQ(chown(dir.c_str(), owner, owner), 0);
        return dir;
    }

    // The private directory is as it was: nothing removed, nothing added.
    void expectPrivateDirUntouched()
    {
        EXPECT_EQ(readFile(privateDir / "thesis.txt"), "years of work");
        EXPECT_TRUE(fs::exists(privateDir / "ports"));
        EXPECT_EQ(std::distance(fs::directory_iterator(privateDir), fs::directory_iterator()), 2);
    }

    fs::path base;
    fs::path privateDir;
};

constexpr fs::perms kPrivate = fs::perms::owner_all;
constexpr fs::perms kShared = fs::perms::all | fs::perms::sticky_bit;

// Each case: how R and R/G are prepared, and what the refusal must say.
TEST_F(TamperedRuntimeDir, CorvelloRefusesARuntimeDirectoryItCannotTrustAndTouchesNothing)
{
    const std::string guid = virtMidiGuid;
    struct Case {
        const char* what;
        fs::perms runtimePerms;
        uid_t runtimeOwner;
        enum { none, linkToPrivate, foreignDir, openDir } shared;
        const char* reason;
    };
    const Case cases[] = {
        {"a shared 1777 directory with a planted link", kShared, 0, Case::linkToPrivate,
         "group or others may write to it"},
        {"a group-writable directory", kPrivate | fs::perms::group_all, 0, Case::none,
         "group or others may write to it"},
        {"another user's directory", kPrivate, kIntruder, Case::none, "it belongs to another user"},
        {"our directory with R/G a link to a private one", kPrivate, 0, Case::linkToPrivate,
         "it is a symbolic link"},
        {"our directory with R/G another user's", kPrivate, 0, Case::foreignDir,
         "it belongs to another user"},
        {"our directory with R/G open to others", kPrivate, 0, Case::openDir,
         "group or others may access it"},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path runtimeDir = makeDir("runtime" + std::to_string(index++), c.runtimePerms, c.runtimeOwner);
        const fs::path shared = runtimeDir / guid;
        switch (c.shared) {
        case Case::none:
            break;
        case Case::linkToPrivate:
            fs::create_directory_symlink(privateDir, shared);
            EXPECT_EQ(lchown(shared.c_str(), kIntruder, kIntruder), 0);
            break;
        case Case::foreignDir:
            fs::create_directory(shared);
            fs::permissions(shared, kPrivate);
            EXPECT_EQ(chown(shared.c_str(), kIntruder, kIntruder), 0);
            break;
        case Case::openDir:
            fs::create_directory(shared);
            fs::permissions(shared, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                        fs::perms::others_read | fs::perms::others_exec);
            break;
        }
        const Outcome outcome = runCorvello(runtimeDir);
        EXPECT_EQ(outcome.okLine, "Ok=false") << outcome.errors;
        EXPECT_NE(outcome.errors.find(c.reason), std::string::npos) << outcome.errors;
        expectPrivateDirUntouched();
    }

    // The same checks let a proper directory through.
    const fs::path proper = makeDir("proper", kPrivate);
    const Outcome outcome = runCorvello(proper);
    EXPECT_EQ(outcome.okLine, "Ok=true") << outcome.errors;
    EXPECT_EQ(fs::status(proper / guid).permissions(), kPrivate);
}

// A client that found a planted link would read a list and reach sockets of
// the intruder's choosing; it must refuse them. The lock is held here, so a
// server seems to run.
TEST_F(TamperedRuntimeDir, ClientsRefuseAPortDirectoryThatIsALink)
{
    const fs::path runtimeDir = makeDir("runtime", kPrivate);
    fs::create_directory_symlink(privateDir, runtimeDir / virtMidiGuid);
    const int lock = open((runtimeDir / (std::string(virtMidiGuid) + ".lock")).c_str(),
                          O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    const int listener = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, (privateDir / "Evil").c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 4), 0);

    const std::vector<std::string> environment{"XDG_RUNTIME_DIR=" + runtimeDir.string()};
    {
        ChildProcess list({PIPECLIENT_BIN, "--list"}, environment);
        EXPECT_EQ(list.readLine(5s), std::nullopt);
        EXPECT_TRUE(list.waitForErrorLine("it is a symbolic link", 5s));
        // Signal 0 sends nothing: the client is waited for, to end by itself.
        EXPECT_EQ(list.stop(0, 5s), 0);
    }
    {
        ChildProcess connect({PIPECLIENT_BIN, "Evil"}, environment);
        EXPECT_TRUE(connect.waitForErrorLine("it is a symbolic link", 5s));
        EXPECT_EQ(connect.stop(0, 5s), 1);
    }
    close(listener);
    close(lock);
    fs::remove(privateDir / "Evil");
    expectPrivateDirUntouched();
}

// The fallback /tmp/corvello-<uid> sits where anyone may have made it first.
// The helper runs as the victim with no XDG_RUNTIME_DIR.
std::string secondServerAs(uid_t uid)
{
    const std::string id = std::to_string(uid);
    ChildProcess helper({"/usr/bin/setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups", "--",
                         "/usr/bin/env", "-u", "XDG_RUNTIME_DIR", SECOND_SERVER});
    std::string lines;
    while (const auto line = helper.readLine(10s))
        lines += *line + "\n";
    while (const auto line = helper.readErrorLine(0ms))
        lines += *line + "\n";
    helper.stop(SIGKILL, 5s);
    return lines;
}

TEST_F(TamperedRuntimeDir, TheFallbackDirectoryIsMadePrivateAndRefusedWhenPlanted)
{
    const fs::path fallback = "/tmp/corvello-" + std::to_string(kVictim);
    std::error_code ignored;
    fs::remove_all(fallback, ignored);
    // The victim's own directory, for the intruder to point at; the helper
    // must be able to reach its program, so the base is open for search.
    fs::permissions(base, kPrivate | fs::perms::group_exec | fs::perms::others_exec);
    ASSERT_EQ(chown(privateDir.c_str(), kVictim, kVictim), 0);

    // Missing: made, private, and used.
    EXPECT_NE(secondServerAs(kVictim).find("Ok=true"), std::string::npos);
    EXPECT_EQ(fs::status(fallback).permissions(), kPrivate);
    fs::remove_all(fallback);

    fs::create_directory_symlink(privateDir, fallback);
    ASSERT_EQ(lchown(fallback.c_str(), kIntruder, kIntruder), 0);
    const std::string planted = secondServerAs(kVictim);
    EXPECT_NE(planted.find("Ok=false"), std::string::npos) << planted;
    EXPECT_NE(planted.find("it is a symbolic link"), std::string::npos) << planted;
    fs::remove(fallback);
    expectPrivateDirUntouched();
}

}  // namespace
}  // namespace corvello::test
