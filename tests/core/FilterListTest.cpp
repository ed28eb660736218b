// FilterList with a node's thread offering while set-up attaches and
// detaches (RemoteLink's thread starts in its constructor, before its
// filters are added). Under ThreadSanitizer a list changed in place races.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "core/FilterList.h"

namespace corvello {
namespace {

struct Node;

struct Filter {
    void setNode(Node* n) { node.store(n); }
    std::atomic<Node*> node{nullptr};
    std::atomic<int> offered{0};
};

struct Node {
    FilterList<Filter, Node> filters{this};
};

TEST(FilterList, OffersFromAnotherThreadWhileFiltersComeAndGo)
{
    Node node;
    Filter first;
    node.filters.add(&first);
    std::atomic<bool> stop{false};
    std::atomic<bool> orderKept{true};
    std::thread offering([&] {
        while (!stop) {
            bool firstSeen = false;
            node.filters.forEach([&](Filter& f) {
                // `first` was attached before all the others and never leaves.
                if (&f == &first)
                    firstSeen = true;
                else if (!firstSeen)
                    orderKept = false;
                ++f.offered;
            });
        }
    });
    // Changes go on until the thread has walked the list many times over.
    std::vector<Filter> others(8);
    while (first.offered < 1000) {
        for (Filter& f : others)
            node.filters.add(&f);
        for (Filter& f : others)
            node.filters.remove(&f);
    }
    stop = true;
    offering.join();

    EXPECT_TRUE(orderKept);
    for (Filter& f : others)
        EXPECT_EQ(f.node.load(), nullptr);
    EXPECT_EQ(first.node.load(), &node);
}

// A filter that detaches itself from inside an offer: the offer under way
// goes on to the next filter, and the detached one is offered nothing more.
TEST(FilterList, AFilterMayDetachItselfWhileOffered)
{
    Node node;
    Filter leaving, staying;
    node.filters.add(&leaving);
    node.filters.add(&staying);
    const auto offer = [&](Filter& f) {
        ++f.offered;
        if (&f == &leaving)
            node.filters.remove(&leaving);
        return false;
    };

    EXPECT_FALSE(node.filters.offerUntilClaimed(offer));
    EXPECT_FALSE(node.filters.offerUntilClaimed(offer));
    EXPECT_EQ(leaving.offered.load(), 1);
    EXPECT_EQ(staying.offered.load(), 2);
    EXPECT_EQ(leaving.node.load(), nullptr);
}

}  // namespace
}  // namespace corvello
