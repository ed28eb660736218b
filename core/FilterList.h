#pragma once
// The attach/detach protocol shared by every node kind.

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace corvello {

// Filters are not owned. Adding tells the filter its node first; removing and
// destroying detach once per listed occurrence.
//
// A node's own thread offers records to its filters while set-up or another
// thread may attach or detach one, so the list is copied on change and every
// offer walks the snapshot it started with: an offer waits at most for a
// pointer copy, never for a change, and a filter may attach or detach
// filters from inside an offer.
template <typename Filter, typename Node>
class FilterList {
public:
    explicit FilterList(Node* owner) : owner_(owner) {}
    FilterList(const FilterList&) = delete;
    FilterList& operator=(const FilterList&) = delete;
    ~FilterList()
    {
        for (Filter* f : *filters_)  // nothing else uses the list any more
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
        // Held for the whole walk: a temporary in the loop's range would die
        // before the body runs, and a change may drop the last other owner.
        const auto filters = snapshot();
        for (Filter* f : *filters)
            if (offer(*f))
                return true;
        return false;
    }

    template <typename Visit>
    void forEach(Visit visit) const
    {
        const auto filters = snapshot();
        for (Filter* f : *filters)
            visit(*f);
    }

private:
    using Filters = std::vector<Filter*>;

    std::shared_ptr<const Filters> snapshot() const
    {
        std::lock_guard lock(snapshotMutex_);
        return filters_;
    }

    template <typename Edit>
    void change(Edit edit)
    {
        std::lock_guard changing(changeMutex_);
        auto edited = std::make_shared<Filters>(*snapshot());
        edit(*edited);
        std::shared_ptr<const Filters> next = std::move(edited);
        std::lock_guard lock(snapshotMutex_);
        filters_.swap(next);
    }  // the old list goes once its last offer is done (here, or in that offer)

    Node* owner_;
    std::mutex changeMutex_;            // one change at a time; offers never take it
    mutable std::mutex snapshotMutex_;  // held only to copy or swap the pointer
    std::shared_ptr<const Filters> filters_ = std::make_shared<const Filters>();
};

}  // namespace corvello
