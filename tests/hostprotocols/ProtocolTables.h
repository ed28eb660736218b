#pragma once
// Table-driven checks of what a protocol writes for the remote's records.

#include <gtest/gtest.h>

#include "tests/hostprotocols/ProtocolHarness.h"

namespace corvello {

struct ToDaw {
    MessageRecord record;
    Writes expected;
};

// Each record goes to a fresh protocol, which must handle it (1) and write
// exactly the expected messages, in order.
template <typename Protocol, std::size_t N>
void expectWritesFor(const ToDaw (&cases)[N])
{
    for (const ToDaw& c : cases) {
        Wired<Protocol> wired;
        SCOPED_TRACE(testing::PrintToString(c.record));
        EXPECT_EQ(wired.protocol.toHost(c.record), 1);
        EXPECT_EQ(wired.node.writes, c.expected);
    }
}

}  // namespace corvello
