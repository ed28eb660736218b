// Without the DNS-SD library every call fails quietly and the browser only
// waits for its stop.

#include <gtest/gtest.h>

#include "link/DnsSd.h"
#include "link/ServiceAdvertiser.h"
#include "link/ServiceBrowser.h"

namespace corvello {
namespace {

TEST(DnsSdWithoutTheLibrary, EveryCallFailsTheDocumentedWay)
{
    DnsSdLibrary library;
    EXPECT_FALSE(library.load("corvello-no-such-dnssd-library"));
    DNSServiceRef ref = nullptr;
    EXPECT_EQ(library.refSockFD(ref), -1);
    EXPECT_EQ(library.processResult(ref), kDNSServiceErr_Unknown);
    library.refDeallocate(ref);
    EXPECT_EQ(library.registerService(&ref, 0, 0, nullptr, "_tamberlin._tcp", nullptr, nullptr, 0, 0, "", nullptr,
                                      nullptr),
              kDNSServiceErr_Unknown);
    EXPECT_EQ(library.browse(&ref, 0, 0, "_kestrosc._udp", "local.", nullptr, nullptr), kDNSServiceErr_Unknown);
    EXPECT_EQ(library.resolve(&ref, 0, 0, "x", "_kestrosc._udp", "local.", nullptr, nullptr),
              kDNSServiceErr_Unknown);
    EXPECT_EQ(ref, nullptr);
}

TEST(DnsSdWithoutTheLibrary, NothingIsAdvertisedAndTheBrowserStopsAtOnce)
{
    dnssd().release();
    EXPECT_EQ(advertiseRemoteLink(45000), nullptr);
    bool called = false;
    ServiceBrowser browser(kOscPeerServiceType, {[&](const char*, std::uint16_t) { called = true; }, [&] { called = true; }});
    browser.stop();
    EXPECT_EQ(browser.state(), ServiceBrowser::Idle);
    EXPECT_FALSE(called);
}

}  // namespace
}  // namespace corvello
