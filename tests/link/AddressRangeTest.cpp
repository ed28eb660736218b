// Address ranges: parsing CIDR text and matching IPv4, IPv6 and IPv4-mapped
// IPv6 addresses, and the default local ranges.
#include <gtest/gtest.h>

#include <string>

#include "link/AddressRange.h"
#include "link/Socket.h"
#include "tests/support/NumericAddress.h"

namespace corvello {
namespace {

TEST(AddressRange, MatchesWhatItsPrefixCovers)
{
    struct Case {
        const char* range;
        const char* address;
        bool inside;
    } cases[] = {
        {"192.168.1.0/24", "192.168.1.77", true},
        {"192.168.1.0/24", "192.168.2.1", false},
        {"192.168.1.99/24", "192.168.1.1", true},  // host bits are ignored
        {"10.1.2.3", "10.1.2.3", true},            // one address
        {"10.1.2.3", "10.1.2.4", false},
        {"172.16.0.0/12", "172.31.255.255", true},
        {"172.16.0.0/12", "172.32.0.0", false},
        {"0.0.0.0/0", "203.0.113.9", true},
        {"0.0.0.0/0", "2001:db8::1", false},  // an IPv4 range never holds a plain IPv6 address
        {"fe80::/10", "fe80::1", true},
        {"fe80::/10", "febf::1", true},
        {"fe80::/10", "fec0::1", false},
        {"2001:db8::/32", "2001:db8:ffff::1", true},
        {"::ffff:10.0.0.0/104", "10.9.9.9", true},  // the IPv4-mapped form holds IPv4 peers
        {"::ffff:10.0.0.0/104", "11.0.0.1", false},
        {"10.0.0.0/8", "::ffff:10.2.3.4", true},
        {"::/0", "127.0.0.1", true},
        {"127.0.0.1/32", "127.0.0.2", false},
    };
    for (const Case& c : cases) {
        auto range = AddressRange::parse(c.range);
        ASSERT_TRUE(range) << c.range;
        EXPECT_EQ(range->contains(address(c.address)), c.inside) << c.range << " " << c.address;
    }
}

TEST(AddressRange, RefusesWhatIsNotARange)
{
    for (const char* text : {"", "/8", "10.0.0.0/", "10.0.0.0/33", "10.0.0.0/-1", "10.0.0.0/8x", "fe80::/129",
                             "10.0.0/8", "256.0.0.0/8", "example.com/24", "10.0.0.0/8/8", " 10.0.0.0/8"})
        EXPECT_FALSE(AddressRange::parse(text)) << text;
}

TEST(AddressRange, TheDefaultServesLoopbackPrivateAndLinkLocalOnly)
{
    const AddressRanges local = AddressRanges::localNetworks();
    for (const char* inside : {"127.0.0.1", "127.255.0.9", "::1", "10.0.0.1", "172.16.5.5", "192.168.178.20",
                               "169.254.1.1", "fd12:3456::1", "fe80::abcd"})
        EXPECT_TRUE(local.contains(address(inside))) << inside;
    for (const char* outside : {"8.8.8.8", "172.32.0.1", "192.169.0.1", "100.64.0.1", "2001:db8::1", "::"})
        EXPECT_FALSE(local.contains(address(outside))) << outside;
    EXPECT_TRUE(local.contains(mappedIPv4(net::loopbackAddress())));
}

}  // namespace
}  // namespace corvello
