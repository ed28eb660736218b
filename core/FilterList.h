#pragma once
// The attach/detach protocol shared by every node kind.

#include <algorithm>
#include <vector>

namespace corvello {

// Filters are not owned. Adding tells the filter its node first; removing and
// destroying detach once per listed occurrence.
template <typename Filter, typename Node>
class FilterList {
public:
    explicit FilterList(Node* owner) : owner_(owner) {}
    FilterList(const FilterList&) = delete;
    FilterList& operator=(const FilterList&) = delete;
    ~FilterList()
    {
        for (Filter* f : filters_)
            f->setNode(nullptr);
    }

    void add(Filter* filter)
    {
        filter->setNode(owner_);
        filters_.push_back(filter);
    }

    void remove(Filter* filter)
    {
        auto n = std::count(filters_.begin(), filters_.end(), filter);
        std::erase(filters_, filter);
        for (; n > 0; --n)
            filter->setNode(nullptr);
    }

    // Offers to each filter in attach order until one claims (nonzero / true).
    template <typename Offer>
    bool offerUntilClaimed(Offer offer) const
    {
        for (Filter* f : filters_)
            if (offer(*f))
                return true;
        return false;
    }

    template <typename Visit>
    void forEach(Visit visit) const
    {
        for (Filter* f : filters_)
            visit(*f);
    }

    const std::vector<Filter*>& items() const { return filters_; }

private:
    Node* owner_;
    std::vector<Filter*> filters_;
};

}  // namespace corvello
