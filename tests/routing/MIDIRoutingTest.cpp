// Filters, MIDI nodes and the port table, without a server.

#include <gtest/gtest.h>

#include <vector>

#include "routing/MIDIPortTable.h"

namespace corvello {
namespace {

struct RecordingFilter : MIDIFilter {
    explicit RecordingFilter(int result = 1) : result(result) {}
    int receive(std::int32_t localPort, const std::uint8_t* bytes, std::int32_t length) override
    {
        calls.push_back({localPort, std::vector<std::uint8_t>(bytes, bytes + length)});
        return result;
    }
    struct Call {
        std::int32_t port;
        std::vector<std::uint8_t> bytes;
    };
    int result;
    std::vector<Call> calls;
    std::vector<MIDINode*> nodesSeen;
    void setNode(MIDINode* n) override
    {
        nodesSeen.push_back(n);
        MIDIFilter::setNode(n);
    }
};

const std::uint8_t kNoteOn[] = {0x90, 0x3C, 0x7F};

TEST(MIDIPortTable, RoutesGlobalPortsToOwningNodeAsLocalPorts)
{
    RecordingFilter pannerFilter, mainFilter;  // outlive the nodes that detach them
    MIDIPortTable table;
    MIDINode* panner = table.createNode(2);
    MIDINode* main = table.createNode(1);
    EXPECT_EQ(panner->firstPort, 0);
    EXPECT_EQ(main->firstPort, 2);
    EXPECT_EQ(table.bounds(), (std::vector<std::int32_t>{0, 2, 3}));

    panner->addFilter(&pannerFilter);
    main->addFilter(&mainFilter);

    struct Case { std::int32_t global; std::size_t pannerCalls, mainCalls; std::int32_t local; };
    const Case cases[] = {
        {0, 1, 0, 0}, {1, 1, 0, 1}, {2, 0, 1, 0}, {3, 0, 0, -1}, {-1, 0, 0, -1}, {100, 0, 0, -1},
    };
    for (const Case& c : cases) {
        pannerFilter.calls.clear();
        mainFilter.calls.clear();
        table.dispatch(c.global, kNoteOn, 3);
        SCOPED_TRACE(c.global);
        ASSERT_EQ(pannerFilter.calls.size(), c.pannerCalls);
        ASSERT_EQ(mainFilter.calls.size(), c.mainCalls);
        auto& hit = c.pannerCalls ? pannerFilter.calls : mainFilter.calls;
        if (!hit.empty()) {
            EXPECT_EQ(hit[0].port, c.local);
            EXPECT_EQ(hit[0].bytes, std::vector<std::uint8_t>(kNoteOn, kNoteOn + 3));
        }
    }
}

TEST(MIDINode, OffersInAttachOrderUntilClaimed)
{
    RecordingFilter declines(0), claims(1), never(1);
    MIDIPortTable table;
    MIDINode* node = table.createNode(1);
    node->addFilter(&declines);
    node->addFilter(&claims);
    node->addFilter(&never);

    node->receive(0, kNoteOn, 3);
    EXPECT_EQ(declines.calls.size(), 1u);
    EXPECT_EQ(claims.calls.size(), 1u);
    EXPECT_TRUE(never.calls.empty());
    EXPECT_EQ(declines.node, node);
}

TEST(MIDINode, FilterAddedTwiceIsOfferedTwiceUnlessItClaims)
{
    RecordingFilter declines(0), claims(1);
    MIDIPortTable table;
    MIDINode* node = table.createNode(1);
    node->addFilter(&declines);
    node->addFilter(&declines);
    node->receive(0, kNoteOn, 3);
    EXPECT_EQ(declines.calls.size(), 2u);

    MIDINode* other = table.createNode(1);
    other->addFilter(&claims);
    other->addFilter(&claims);
    other->receive(0, kNoteOn, 3);
    EXPECT_EQ(claims.calls.size(), 1u);
}

TEST(MIDINode, NodeWithoutFiltersDropsAndDestructionDetaches)
{
    RecordingFilter filter;
    {
        MIDINode node(0);
        node.receive(0, kNoteOn, 3);  // no filters: nothing happens
        node.addFilter(&filter);
        node.addFilter(&filter);
    }
    EXPECT_EQ(filter.nodesSeen.size(), 4u);  // attached twice, detached twice
    EXPECT_EQ(filter.node, nullptr);
}

}  // namespace
}  // namespace corvello
