#pragma once
// The attach/detach protocol shared by every node kind.

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace corvello {

// Filters are not owned. Adding tells the filter its node first; removing and
// destroying detach once per listed occurrence.
//
// A node's own thread offers records to its filters while set-up or another
// thread may attach or detach one, so the list is copied on change and every
// offer walks the snapshot it started with: an offer never waits for a
// change, and a filter may attach or detach filters from inside an offer.
template <typename Filter, typename Node>
class FilterList {
public:
    explicit FilterList(Node* owner) : owner_(owner) {}
    FilterList(const FilterList&) = delete;
    FilterList& operator=(const FilterList&) = delete;
    ~FilterList()
    {
        for (Filter* f : *snapshot())
            f->setNode(nullptr);
    }

    void add(Filter* filter)
    {
        filter->setNode(owner_);
        change([filter](std::vector<Filter*>& filters) { filters.push_back(filter); });
    }

    void remove(Filter* filter)
    {
        std::ptrdiff_t n = 0;
        change([filter, &n](std::vector<Filter*>& filters) {
            n = std::count(filters.begin(), filters.end(), filter);
            std::erase(filters, filter);
        });
        for (; n > 0; --n)
            filter->setNode(nullptr);
    }

    // Offers to each filter in attach order until one claims (nonzero / true).
    template <typename Offer>
    bool offerUntilClaimed(Offer offer) const
    {
        for (Filter* f : *snapshot())
            if (offer(*f))
                return true;
        return false;
    }

    template <typename Visit>
    void forEach(Visit visit) const
    {
        for (Filter* f : *snapshot())
            visit(*f);
    }

private:
    using Filters = std::vector<Filter*>;

    std::shared_ptr<const Filters> snapshot() const { return filters_.load(std::memory_order_acquire); }

    template <typename Edit>
    void change(Edit edit)
    {
        std::lock_guard lock(changeMutex_);
        auto next = std::make_shared<Filters>(*snapshot());
        edit(*next);
        filters_.store(std::move(next), std::memory_order_release);
    }

    Node* owner_;
    std::mutex changeMutex_;  // one change at a time; offers never take it
    std::atomic<std::shared_ptr<const Filters>> filters_{std::make_shared<const Filters>()};
};

}  // namespace corvello
