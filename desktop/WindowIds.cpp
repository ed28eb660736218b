#include "desktop/WindowIds.h"

#include <algorithm>

namespace corvello {

void WindowIds::renew(std::span<const WindowHandle> listed, std::initializer_list<WindowHandle> inUse)
{
    std::vector<Entry> kept;
    const auto keep = [&](WindowHandle handle) {
        if (namesNoWindow(handle))
            return;
        if (std::any_of(kept.begin(), kept.end(), [&](const Entry& e) { return e.handle == handle; }))
            return;
        const Entry* known = findHandle(handle);
        kept.push_back({known ? known->id : 0, handle});
    };
    for (WindowHandle handle : inUse)
        keep(handle);
    for (WindowHandle handle : listed)
        keep(handle);
    // Fresh ids only after every kept one is known, so none is given twice.
    entries.clear();
    for (const Entry& entry : kept)
        if (entry.id != 0)
            entries.push_back(entry);
    for (const Entry& entry : kept)
        if (entry.id == 0)
            entries.push_back({freshId(), entry.handle});
}

WindowId WindowIds::idOf(WindowHandle handle)
{
    if (namesNoWindow(handle))
        return handle;
    if (const Entry* known = findHandle(handle))
        return known->id;
    entries.push_back({freshId(), handle});
    return entries.back().id;
}

WindowHandle WindowIds::handleOf(WindowId id) const
{
    if (id == 0)
        return 0;
    const auto found = std::find_if(entries.begin(), entries.end(), [&](const Entry& e) { return e.id == id; });
    return found == entries.end() ? kNoWindow : found->handle;
}

const WindowIds::Entry* WindowIds::findHandle(WindowHandle handle) const
{
    const auto found =
        std::find_if(entries.begin(), entries.end(), [&](const Entry& e) { return e.handle == handle; });
    return found == entries.end() ? nullptr : &*found;
}

// The next id after the last one given, wrapping below the limit and
// skipping ids still held.
WindowId WindowIds::freshId()
{
    do
        lastId = lastId + 1 < kIdLimit ? lastId + 1 : 1;
    while (handleOf(lastId) != kNoWindow);
    return lastId;
}

}  // namespace corvello
