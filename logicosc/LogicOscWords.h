#pragma once
// The Logic OSC vocabulary as data, shared by both directions of
// HostProtocolLogicOSC (not for use elsewhere). Each word is one name and
// the records it stands for; LogicOscVocabulary.cpp holds the table.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "logicosc/HostProtocolLogicOSC.h"
#include "logicosc/LogicOscNotation.h"

namespace corvello {

// A message from the DAW, as the words read it.
struct HostProtocolLogicOSC::Incoming {
    std::string_view address;
    float v;
    std::string_view s;

    std::int32_t N(std::size_t k) const { return logicosc::numberAt(address, k); }
    std::int32_t D(std::size_t k) const { return logicosc::digitAt(address, k); }
};

// How an address carries a record's index.
enum class Carries : std::uint8_t {
    Nothing,       // the name alone: index 0 from the DAW, any index towards it
    Button,        // the name alone stands for one index (kind 193's buttons)
    Strip,         // the strip after the name, 1 to 8: index + 1 ("tv3" is index 2)
    Number,        // the index itself after the name ("pb4" is index 4)
    SlotAndStrip,  // the send slot (the mode) and the strip: "sl25" is slot 2, index 4
};

enum Ways : std::uint8_t { kToDaw = 1, kFromDaw = 2, kBothWays = kToDaw | kFromDaw };

// The knob assignment a word needs towards the DAW.
enum class InMode : std::uint8_t { Any, Pan, Send };

// A result for the remote; out-of-range indexes are clamped to 32 bits.
MessageRecord logicOscResult(std::uint16_t kind, long long index, float value, std::string_view text = {});

struct HostProtocolLogicOSC::Word {
    using ToDaw = std::optional<float> (*)(float value, std::int32_t index);
    using FromDaw = MessageRecord (*)(HostProtocolLogicOSC&, const Incoming&, const Word&);

    std::string_view name;
    std::uint16_t kind = kNothingKind;
    Carries carries = Carries::Nothing;
    std::int32_t index = 0;  // Carries::Button's index
    Ways ways = kBothWays;
    InMode mode = InMode::Any;
    // Towards the DAW: the float for a record's value and index; nothing
    // sends nothing. Null: the value.
    ToDaw toDaw = nullptr;
    // From the DAW: the record for the remote. Null: `plain` with the value.
    FromDaw fromDaw = nullptr;

    // A copy with one field changed. Defined before its callers: clang 14
    // cannot use it in a constant expression otherwise.
    template <auto Field, typename Value>
    constexpr Word with(Value value) const
    {
        Word copy = *this;
        copy.*Field = value;
        return copy;
    }
    constexpr Word only(Ways w) const { return with<&Word::ways>(w); }
    constexpr Word inMode(InMode m) const { return with<&Word::mode>(m); }
    constexpr Word to(ToDaw f) const { return with<&Word::toDaw>(f); }
    constexpr Word from(FromDaw f) const { return with<&Word::fromDaw>(f); }

    // The record this word names in `in`, carrying `value` and `text`.
    MessageRecord plain(const Incoming& in, float value, std::string_view text = {}) const
    {
        return logicOscResult(kind, indexIn(in), value, text);
    }

    long long indexIn(const Incoming& in) const
    {
        const auto number = static_cast<long long>(in.N(name.size()));
        switch (carries) {
        case Carries::Strip: return number - 1;
        case Carries::Number: return number;
        case Carries::Button: return index;
        default: return 0;
        }
    }

    // The address for a record's index (and the send slot, for SlotAndStrip).
    std::string address(std::int32_t recordIndex, std::int32_t slot) const
    {
        const long long n = recordIndex + 1LL;
        switch (carries) {
        case Carries::Strip: return std::string(name) + std::to_string(n);
        case Carries::Number: return std::string(name) + std::to_string(recordIndex);
        case Carries::SlotAndStrip: return std::string(name) + std::to_string(slot) + std::to_string(n);
        default: return std::string(name);
        }
    }
};

}  // namespace corvello
