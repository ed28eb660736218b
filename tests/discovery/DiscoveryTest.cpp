// Advertisement and browsing against a DNS-SD service (see ServicePublisher.h
// for what stands in for it on each platform), with the second OSC node's
// datagrams received by a plain socket of the test.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <functional>
#include <thread>

#include "link/DnsSdPlatform.h"
#include "link/ServiceAdvertiser.h"
#include "logicosc/OSCNode.h"
#include "logicosc/OscDiscovery.h"
#include "logicosc/OscReception.h"
#include "tests/discovery/ServicePublisher.h"
#include "tests/logicosc/LoopbackUdp.h"
#include "tools/remote/ServiceFinder.h"

namespace corvello {
namespace {

using namespace std::chrono_literals;
using test::LoopbackUdp;

// One port for every advertisement of the link, so that one left in a cache
// by an earlier test looks the same.
constexpr std::uint16_t kLinkPort = 45123;

bool eventually(const std::function<bool()>& condition)
{
    for (auto deadline = std::chrono::steady_clock::now() + 15s; std::chrono::steady_clock::now() < deadline;
         std::this_thread::sleep_for(10ms))
        if (condition())
            return true;
    return false;
}

// This computer's name in other letters' case: the match ignores case.
std::string thisComputerInOtherCase()
{
    std::string name = dnssd_platform::computerName();
    for (char& c : name)
        c = std::isupper(static_cast<unsigned char>(c)) ? static_cast<char>(std::tolower(c))
                                                         : static_cast<char>(std::toupper(c));
    return name;
}

OscRecord probe(std::string_view address)
{
    OscRecord r;
    r.setAddress(address);
    r.value = 1.0f;
    return r;
}

std::string wireBytesOf(std::string_view address)
{
    OSCNode node;
    LoopbackUdp receiver;
    node.setPeer("127.0.0.1", receiver.port());
    node.sendFloat(probe(address));
    return receiver.receive().value_or("");
}

// The browser reports "resolved" just before it aims the node, so the test
// sends until a datagram arrives.
bool secondNodeReaches(LoopbackUdp& daw, std::string_view address)
{
    const std::string expected = wireBytesOf(address);
    return eventually([&] {
        browsedOscNode().sendFloat(probe(address));
        return daw.receive(50ms) == expected;
    });
}

class Discovery : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string whyNot;
        publisher = test::startDnsSdService(whyNot).release();
        skipReason = whyNot;
    }

    static void TearDownTestSuite()
    {
        delete publisher;
        publisher = nullptr;
    }

    void SetUp() override
    {
        if (!publisher)
            GTEST_SKIP() << skipReason;
    }

    void TearDown() override
    {
        browser.reset();
        destroyOscNodes();
    }

    static inline test::ServicePublisher* publisher = nullptr;
    static inline std::string skipReason;
    std::unique_ptr<ServiceBrowser> browser;
};

TEST_F(Discovery, TheRemoteLinkAndTheOscReceiverAreAdvertised)
{
    const DNSServiceRef link = advertiseRemoteLink(kLinkPort);
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(publisher->seesRegistration("_tamberlin._tcp", kLinkPort));

    OSCNode& node = logicOscNode();
    openForDaw(node);
    ASSERT_NE(node.serviceRef, nullptr);
    EXPECT_TRUE(publisher->seesRegistration("_osc._udp", static_cast<std::uint16_t>(node.startReceiving())));
    dnssd().refDeallocate(node.serviceRef);
    node.serviceRef = nullptr;
    dnssd().refDeallocate(link);
}

TEST_F(Discovery, TheReferenceRemoteFindsTheAdvertisedLink)
{
    const DNSServiceRef link = advertiseRemoteLink(kLinkPort);
    remote::Endpoint found;
    ASSERT_TRUE(remote::findCorvello(found, 15s));
    EXPECT_EQ(found.port, kLinkPort);
    EXPECT_FALSE(found.host.empty());
    dnssd().refDeallocate(link);
}

TEST_F(Discovery, AServiceNamedLikeThisComputerBecomesTheSecondNodesPeerUntilWithdrawn)
{
    browser = startOscPeerBrowser();
    LoopbackUdp daw;
    publisher->publish(thisComputerInOtherCase(), daw.port());
    ASSERT_TRUE(eventually([&] { return browser->state() == ServiceBrowser::Resolved; }));
    EXPECT_EQ(browser->resolvedPort(), daw.port());
    EXPECT_TRUE(secondNodeReaches(daw, "tv1"));

    publisher->withdraw(thisComputerInOtherCase());
    ASSERT_TRUE(eventually([&] { return browser->state() == ServiceBrowser::Idle; }));
    while (daw.receive(100ms)) {
    }  // what the probing above left on the way
    browsedOscNode().sendFloat(probe("tv2"));
    EXPECT_FALSE(daw.receive(300ms));

    LoopbackUdp nextDaw;
    publisher->publish(thisComputerInOtherCase(), nextDaw.port());
    ASSERT_TRUE(eventually([&] { return browser->state() == ServiceBrowser::Resolved; }));
    EXPECT_TRUE(secondNodeReaches(nextDaw, "tv3"));
    publisher->withdraw(thisComputerInOtherCase());
}

TEST_F(Discovery, ServicesOfOtherComputersAreIgnored)
{
    browser = startOscPeerBrowser();
    LoopbackUdp elsewhere, here;
    publisher->publish("another-computer", elsewhere.port());
    std::this_thread::sleep_for(1500ms);  // time enough for the announcement to arrive
    EXPECT_EQ(browser->state(), ServiceBrowser::Idle);

    publisher->publish(dnssd_platform::computerName(), here.port());
    ASSERT_TRUE(eventually([&] { return browser->state() == ServiceBrowser::Resolved; }));
    EXPECT_EQ(browser->resolvedPort(), here.port());
    browser.reset();
    publisher->withdraw(dnssd_platform::computerName());
    publisher->withdraw("another-computer");
}

}  // namespace
}  // namespace corvello
