#pragma once
// What a link fuzz target asserts: a failed check names itself and aborts,
// which libFuzzer reports as a crash with the input that caused it.

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/MessageRecord.h"

#define LINK_FUZZ_CHECK(condition)                                               \
    do {                                                                         \
        if (!(condition)) {                                                      \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                        \
        }                                                                        \
    } while (0)

namespace corvello::fuzz {

// Equal record for record, values compared bit for bit so NaNs compare too.
inline bool sameRecords(const std::vector<MessageRecord>& a, const std::vector<MessageRecord>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const MessageRecord& x, const MessageRecord& y) {
        return x.kind == y.kind && x.index == y.index && x.text == y.text &&
               std::bit_cast<std::uint32_t>(x.value) == std::bit_cast<std::uint32_t>(y.value);
    });
}

}  // namespace corvello::fuzz
