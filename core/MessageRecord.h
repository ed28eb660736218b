#pragma once
// The unit of traffic with the remote: one control, one value or text.

#include <cstdint>
#include <string>

#include "core/RecordKinds.h"

namespace corvello {

struct MessageRecord {
    std::uint16_t kind = kNothingKind;
    std::int32_t index = 0;
    float value = 0.0f;
    std::string text;          // may hold any bytes, zeros included
    std::uint8_t pending = 0;  // the outgoing queue's "changed since sent" flag

    bool isNothing() const { return kind == kNothingKind; }

    static MessageRecord nothing() { return {}; }
    static MessageRecord number(std::uint16_t kind, std::int32_t index, float value)
    {
        return {kind, index, value, {}, 0};
    }
    static MessageRecord withText(std::uint16_t kind, std::int32_t index, std::string text)
    {
        return {kind, index, 0.0f, std::move(text), 0};
    }

    friend bool operator==(const MessageRecord&, const MessageRecord&) = default;
};

}  // namespace corvello
