// The remote's records as Logic OSC messages.

#include <cmath>
#include <utility>

#include "logicosc/LogicOscWords.h"
#include "platform/Log.h"

namespace corvello {

namespace {

// Controls that act on press only: a value below 1.0 is a release.
bool isPressOnly(std::uint16_t kind)
{
    return (kind >= 13 && kind <= 17) || (kind >= 57 && kind <= 61) || (kind >= 77 && kind <= 86) ||
           (kind >= 110 && kind <= 115) || (kind >= 190 && kind <= 192) || kind == 195 ||
           (kind >= 201 && kind <= 203) || kind == 214 || kind == 215;
}

constexpr std::int32_t kBeatsDisplayButton = 135;
constexpr std::int32_t kSmpteDisplayButton = 136;

// The MIDI protocols read NaN as 0 and clamp; an OSC float goes out as it is,
// so a value that is no number never reaches the DAW.
log::RateLimitedLog notANumber(log::Level::warning, std::chrono::seconds(10));

}  // namespace

int HostProtocolLogicOSC::toHost(MessageRecord record)
{
    // Selected again (after a disconnect, say): the DAW must be able to find
    // the node again, and the DAW to answer is whoever speaks first now. The
    // selection that created the protocol arrives right after activate, which
    // opened already: opening twice would forget a DAW that spoke in between.
    if (record.kind == kHostSelectionKind) {
        const bool opened = std::exchange(openedBySelection_, false);
        if (record.value >= 1.0f && !opened)
            openForDaw();
    }
    std::lock_guard lock(mutex_);
    // NaN is no press either: it is not at least 1.
    if (!isPressOnly(record.kind) || record.value >= 1.0f)
        translateToHost(record);
    return 1;
}

// What a record does to the protocol's own state comes first; then its word,
// if the vocabulary has one for the current mode, becomes the message.
void HostProtocolLogicOSC::translateToHost(const MessageRecord& record)
{
    switch (record.kind) {
    case kHostSelectionKind:
        if (record.value >= 1.0f)
            refresh();
        else if (record.value < 1.0f)
            resetState();
        return;
    case kModeLampKind:
        // The bank refresh waits for the DAW's confirmation ("md").
        mode_ = record.index;
        break;
    case kButtonKind:
        if (record.index == kBeatsDisplayButton || record.index == kSmpteDisplayButton)
            return switchDisplay(record.index == kSmpteDisplayButton ? 1 : 0);
        break;
    default: break;
    }
    const Word* word = wordFor(record);
    if (!word)
        return;
    const std::optional<float> value = word->toDaw ? word->toDaw(record.value, record.index) : record.value;
    if (!value)
        return;
    if (!std::isfinite(*value)) {
        notANumber("Logic OSC: a value from the remote that is not a finite number (kind %u) was not sent to the DAW",
                   static_cast<unsigned>(record.kind));
        return;
    }
    sendFloatToHost(word->address(record.index, mode_), *value);
}

const HostProtocolLogicOSC::Word* HostProtocolLogicOSC::wordFor(const MessageRecord& record) const
{
    for (const Word& word : vocabulary()) {
        if (!(word.ways & kToDaw) || word.kind != record.kind)
            continue;
        if (word.carries == Carries::Button && word.index != record.index)
            continue;
        if ((word.mode == InMode::Pan && mode_ != 0) || (word.mode == InMode::Send && !isSendMode()))
            continue;
        return &word;
    }
    return nullptr;
}

}  // namespace corvello
