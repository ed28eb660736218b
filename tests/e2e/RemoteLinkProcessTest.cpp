// The remote link of a whole corvello process under hostile and unusual
// conditions, all on loopback: 127.0.0.1 is this computer and 127.0.0.2
// plays another host on the network (sockets are bound to it before they
// connect or send). The remote side is RawRemote (tests/link), the DAW side
// corvello-pipeclient on the "Tamberlin" port.

#include <gtest/gtest.h>

#include <unistd.h>

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "link/Socket.h"
#include "routing/VersionCode.h"
#include "tests/e2e/CorvelloInstance.h"
#include "tests/e2e/MackieControlReady.h"
#include "tests/link/LinkTestSupport.h"

namespace corvello {
namespace {

using namespace std::chrono_literals;
using namespace testing_support;
using test::ChildProcess;
using test::waitForMackieControl;
using test::CorvelloInstance;

const std::uint32_t kOtherHost = net::resolveIPv4("127.0.0.2");

MessageRecord selectMackieControl() { return MessageRecord::number(186, 1, 1.0f); }
MessageRecord fullFader(int index) { return MessageRecord::number(9, static_cast<std::int16_t>(index), 1.0f); }

// The first pitch bend (a fader move) the DAW hears, such as "E5 7F 7F".
std::string firstFaderAtTheDaw(ChildProcess& daw, std::chrono::milliseconds timeout = 3s)
{
    auto line = daw.waitForLine("E", timeout);
    while (line && line->rfind("E", 0) != 0)
        line = daw.waitForLine("E", timeout);
    return line.value_or("");
}

// Until a record of `kind` arrives on the main channel; false after 3 s.
bool remoteHears(RawRemote& remote, std::uint16_t kind)
{
    for (int i = 0; i < 50; ++i) {
        auto records = remote.receive(RemoteLink::Channel::Main, 1);
        if (records.empty())
            return false;
        for (const MessageRecord& r : records)
            if (r.kind == kind)
                return true;
    }
    return false;
}

// A datagram socket bound to `local`, sending to 127.0.0.1:`port`.
struct Sender {
    Sender(std::uint32_t local, std::uint16_t port)
    {
        socket = net::openUdpSocket();
        net::bindToSystemPort(socket, local);
        net::connectSocket(socket, {net::loopbackAddress(), net::networkPort(port)});
    }
    ~Sender() { net::closeSocket(socket); }
    void send(const std::vector<std::uint8_t>& bytes) const
    {
        net::sendBytes(socket, bytes.data(), static_cast<int>(bytes.size()));
    }
    net::SocketHandle socket;
};

// The UDP ports a process has bound on every address, from /proc: what an
// attacker finds by scanning, without a link to be told the metering port.
std::vector<std::uint16_t> udpPortsOnAnyAddress(pid_t pid)
{
    std::vector<std::string> inodes;
    const std::string fdDir = "/proc/" + std::to_string(pid) + "/fd";
    if (DIR* dir = opendir(fdDir.c_str())) {
        while (dirent* entry = readdir(dir)) {
            char target[64] = "";
            ssize_t n = readlink((fdDir + "/" + entry->d_name).c_str(), target, sizeof target - 1);
            std::string link(target, n > 0 ? static_cast<std::size_t>(n) : 0);
            if (link.rfind("socket:[", 0) == 0)
                inodes.push_back(link.substr(8, link.size() - 9));
        }
        closedir(dir);
    }
    std::vector<std::uint16_t> ports;
    std::ifstream table("/proc/net/udp");
    std::string line;
    std::getline(table, line);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
        fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
        if (local.rfind("00000000:", 0) == 0 && std::find(inodes.begin(), inodes.end(), inode) != inodes.end())
            ports.push_back(static_cast<std::uint16_t>(std::stoul(local.substr(9), nullptr, 16)));
    }
    return ports;
}

// ---------------------------------------------------------------------------

TEST(SilentConnections, AProperRemoteIsServedAtOnceHoweverManyWait)
{
    CorvelloInstance corvello;
    ASSERT_NE(corvello.port(), 0);
    std::vector<std::unique_ptr<RawRemote>> silent;
    for (int i = 0; i < 10; ++i)
        silent.push_back(std::make_unique<RawRemote>(corvello.port(), false));

    RawRemote proper(corvello.port());
    ASSERT_TRUE(proper.gotPreamble());
    proper.sendTcp(packetOf({selectMackieControl(), MessageRecord::number(216, ownVersionCode(), 0.0f)}));
    EXPECT_TRUE(remoteHears(proper, 217)) << "the version query was not answered";
    // Each silent connection may wait 2 s: were they read one after another,
    // the first ones would have been closed before the proper remote was served.
    for (std::size_t i = 0; i < silent.size(); ++i)
        EXPECT_FALSE(silent[i]->seesClose(0ms)) << "silent connection " << i << " was waited out first";
}

TEST(MeteringChannel, ADatagramWithABadLengthCostsNothingAfterIt)
{
    CorvelloInstance corvello;
    auto daw = corvello.dawPort("Tamberlin");
    RawRemote remote(corvello.port());
    ASSERT_TRUE(remote.gotPreamble());
    remote.sendTcp(packetOf({selectMackieControl()}));
    ASSERT_TRUE(waitForMackieControl(*daw, 3s));

    const std::vector<std::uint8_t> tail = {9, 0, 1, 0, 0, 0, 0x80, 0x3F};
    struct Case {
        const char* name;
        std::uint8_t low, high;
    } cases[] = {{"0x7FFF", 0xFF, 0x7F}, {"0x8000", 0x00, 0x80}, {"0xFFFF", 0xFF, 0xFF}, {"past the end", 30, 0}};
    int fader = 0;
    for (const Case& c : cases) {
        std::vector<std::uint8_t> bad{c.low, c.high};
        bad.insert(bad.end(), tail.begin(), tail.end());
        remote.sendUdp(bad);
        remote.sendUdp(packetOf({fullFader(fader)}));
        EXPECT_EQ(firstFaderAtTheDaw(*daw), "E" + std::to_string(fader) + " 7F 7F") << "after length " << c.name;
        daw->readLine(300ms);  // Mackie Control writes each fader twice
        ++fader;
    }
}

TEST(MeteringChannel, DatagramsCountOnlyFromTheConnectedRemote)
{
    CorvelloInstance corvello;
    auto daw = corvello.dawPort("Tamberlin");
    const auto attack = packetOf({selectMackieControl(), fullFader(5)});

    // Before any link, to every port an attacker could find.
    const auto ports = udpPortsOnAnyAddress(corvello.process().pid());
    ASSERT_FALSE(ports.empty());
    for (std::uint16_t port : ports)
        Sender(net::loopbackAddress(), port).send(attack);

    RawRemote remote(corvello.port());
    ASSERT_TRUE(remote.gotPreamble());
    // Beside the link, from another host.
    Sender(kOtherHost, remote.nodeMeteringPort()).send(attack);
    remote.sendTcp(packetOf({selectMackieControl()}));
    ASSERT_TRUE(waitForMackieControl(*daw, 3s));
    remote.sendUdp(packetOf({fullFader(1)}));
    EXPECT_EQ(firstFaderAtTheDaw(*daw), "E1 7F 7F") << "a stranger's datagram moved a fader";
}

TEST(Admission, AnAddressOutsideTheAllowedRangesIsRefusedBeforeThePreamble)
{
    CorvelloInstance corvello({"--allow", "127.0.0.1/32"});
    ASSERT_NE(corvello.port(), 0);
    RawRemote stranger(corvello.port(), true, kOtherHost);
    EXPECT_FALSE(stranger.gotPreamble()) << "a refused connection was answered";
    EXPECT_TRUE(stranger.seesClose());
    EXPECT_TRUE(corvello.process().waitForErrorLine("refused a remote at 127.0.0.2", 3s));

    RawRemote local(corvello.port());
    EXPECT_TRUE(local.gotPreamble());
    local.sendTcp(packetOf({selectMackieControl(), MessageRecord::number(216, ownVersionCode(), 0.0f)}));
    EXPECT_TRUE(remoteHears(local, 217));
}

TEST(Admission, ListeningOnOneAddressLeavesTheOthersUnreachable)
{
    CorvelloInstance corvello({"--listen=127.0.0.1"});
    ASSERT_NE(corvello.port(), 0);
    net::SocketHandle elsewhere = net::openTcpSocket();
    EXPECT_FALSE(net::connectSocket(elsewhere, {kOtherHost, net::networkPort(corvello.port())}));
    net::closeSocket(elsewhere);
    RawRemote here(corvello.port());
    EXPECT_TRUE(here.gotPreamble());
    const auto onAnyAddress = udpPortsOnAnyAddress(corvello.process().pid());
    EXPECT_EQ(std::count(onAnyAddress.begin(), onAnyAddress.end(), here.nodeMeteringPort()), 0)
        << "the metering socket listens on every address";
}

TEST(Admission, BadOptionsAreAnErrorAndNothingStarts)
{
    for (std::vector<std::string> arguments : std::vector<std::vector<std::string>>{
             {"--allow", "10.0.0.0/33"}, {"--allow", "example.com"}, {"--allow"}, {"--listen", "192.0.2.1"},
             {"--listen", "::1"}, {"--frobnicate"}}) {
        CorvelloInstance corvello(arguments, false);
        EXPECT_TRUE(corvello.process().waitForErrorLine(arguments[0], 3s)) << arguments[0];
        EXPECT_EQ(corvello.process().stop(0, 5s), std::optional(2)) << ::testing::PrintToString(arguments);
    }
}

TEST(Admission, ANewerRemoteReplacingTheCurrentOneIsReported)
{
    CorvelloInstance corvello;
    RawRemote first(corvello.port());
    ASSERT_TRUE(first.gotPreamble());
    RawRemote second(corvello.port(), true, kOtherHost);
    ASSERT_TRUE(second.gotPreamble());
    EXPECT_TRUE(first.seesClose());
    EXPECT_TRUE(corvello.process().waitForErrorLine("the remote at 127.0.0.2 replaces the remote at 127.0.0.1", 3s));
}

// ---------------------------------------------------------------------------

bool avahiDaemonRuns()
{
    bool found = false;
    if (DIR* proc = opendir("/proc")) {
        while (dirent* entry = readdir(proc)) {
            std::ifstream comm(std::string("/proc/") + entry->d_name + "/comm");
            std::string name;
            found = found || (std::getline(comm, name) && name == "avahi-daemon");
        }
        closedir(proc);
    }
    return found;
}

TEST(Discovery, WithoutTheDaemonCorvelloSaysWhereToPointTheRemote)
{
    if (avahiDaemonRuns())
        GTEST_SKIP() << "an avahi-daemon runs on this machine";
    CorvelloInstance corvello;
    ASSERT_NE(corvello.port(), 0);
    const auto& lines = corvello.startupLines();
    auto lineWith = [&](const std::string& text) -> std::string {
        auto found = std::find_if(lines.begin(), lines.end(),
                                  [&](const std::string& l) { return l.find(text) != std::string::npos; });
        return found == lines.end() ? "" : *found;
    };
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find("cannot be reached") != std::string::npos; }),
              1)
        << ::testing::PrintToString(lines);
    const auto addresses = net::interfaceAddressesIPv4();
    if (addresses.empty()) {
        EXPECT_NE(lineWith("no network address besides loopback"), "") << ::testing::PrintToString(lines);
        return;
    }
    const std::string line = lineWith("point the remote at");
    ASSERT_NE(line, "") << ::testing::PrintToString(lines);
    EXPECT_NE(line.find("port " + std::to_string(corvello.port())), std::string::npos) << line;
    for (std::uint32_t address : addresses)
        EXPECT_NE(line.find(net::formatIPv4(address)), std::string::npos) << line;
    EXPECT_EQ(line.find("127.0.0.1"), std::string::npos) << line;
}

}  // namespace
}  // namespace corvello
