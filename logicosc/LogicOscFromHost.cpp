// Logic OSC messages from the DAW as records for the remote.

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "logicosc/FixedText.h"
#include "logicosc/LogicOscWords.h"

namespace corvello {

using logicosc::cutBeforeDecibels;
using logicosc::firstChars;
using logicosc::meterCurve;

namespace {

constexpr std::size_t kBeatsTextLength = 19;
constexpr std::size_t kSmpteTextLength = 23;
constexpr std::size_t kSendNameLength = 19;

// Address numbers minus one can leave the 32-bit range; they are clamped.
std::int32_t clampedIndex(long long value)
{
    using Limits = std::numeric_limits<std::int32_t>;
    return static_cast<std::int32_t>(std::clamp<long long>(value, Limits::min(), Limits::max()));
}

bool isStripOrSlot(std::int32_t number) { return number >= 1 && number <= 8; }

}  // namespace

MessageRecord logicOscResult(std::uint16_t kind, long long index, float value, std::string_view text)
{
    return {kind, clampedIndex(index), value, std::string(text), 0};
}

MessageRecord HostProtocolLogicOSC::fromHostOsc(OscRecord record)
{
    std::lock_guard lock(mutex_);
    return applyWord({record.addressView(), record.value, record.textView()});
}

// The first word from the DAW whose name begins the address decides.
MessageRecord HostProtocolLogicOSC::applyWord(const Incoming& in)
{
    for (const Word& word : vocabulary()) {
        if (!(word.ways & kFromDaw) || !in.address.starts_with(word.name))
            continue;
        return word.fromDaw ? word.fromDaw(*this, in, word) : word.plain(in, in.v);
    }
    return MessageRecord::nothing();
}

MessageRecord HostProtocolLogicOSC::meterPeak(const Incoming& in)
{
    const long long strip = in.N(4) - 1LL;
    if (in.v >= 0.0f)
        return logicOscResult(169, strip, meterCurve(in.v));
    if (in.v == -1.0f)
        return logicOscResult(169, strip, 1.0f);
    if (in.v == -2.0f)
        return logicOscResult(169, strip, 0.0f);
    return MessageRecord::nothing();
}

MessageRecord HostProtocolLogicOSC::meterOverload(const Incoming& in)
{
    const long long strip = in.N(3) - 1LL;
    if (in.v >= 1.0f || in.v == -1.0f)
        return logicOscResult(177, strip, 1.0f);
    if (in.v == -2.0f)
        return logicOscResult(177, strip, 0.0f);
    return MessageRecord::nothing();
}

MessageRecord HostProtocolLogicOSC::meterLevel(const Incoming& in)
{
    const long long strip = in.N(2) - 1LL;
    if (in.v > 0.0f)
        return logicOscResult(96, strip, meterCurve(in.v));
    if (in.v == 0.0f || in.v == -2.0f)
        return logicOscResult(96, strip, 0.0f);
    if (in.v == -1.0f || in.v < -2.0f)
        return logicOscResult(96, strip, 1.0f);
    return MessageRecord::nothing();
}

MessageRecord HostProtocolLogicOSC::modeFromHost(const Incoming& in)
{
    const float mode = std::trunc(in.v * 8.0f);
    // A value that names no integer mode (NaN, out of range) changes nothing.
    if (!(std::fabs(mode) <= 1.0e6f))
        return MessageRecord::nothing();
    mode_ = static_cast<std::int32_t>(mode);
    if (mode_ != lastMode_) {
        lastMode_ = mode_;
        refresh();
    }
    return MessageRecord::nothing();
}

MessageRecord HostProtocolLogicOSC::beatsFromHost(const Incoming& in)
{
    assignText(beatsText_, firstChars(in.s, kBeatsTextLength));
    if (displayMode_ == 0 && displayAllowed())
        return beatsDisplay();
    return MessageRecord::nothing();
}

MessageRecord HostProtocolLogicOSC::smpteFromHost(const Incoming& in)
{
    assignText(smpteText_, firstChars(in.s, kSmpteTextLength));
    if (displayMode_ == 1 && displayAllowed())
        return smpteDisplay();
    return MessageRecord::nothing();
}

MessageRecord HostProtocolLogicOSC::panDisplay(const Incoming& in)
{
    if (mode_ != 0)
        return MessageRecord::nothing();
    return logicOscResult(205, in.N(3) - 1LL, in.v, " " + std::string(firstChars(in.s, 10)));
}

MessageRecord HostProtocolLogicOSC::panFromHost(const Incoming& in)
{
    const std::int32_t strip = in.N(2);
    if (!isStripOrSlot(strip))
        return MessageRecord::nothing();
    pan_[strip - 1] = in.v;
    if (mode_ != 0)
        return MessageRecord::nothing();
    return logicOscResult(10, strip - 1, in.v + kPanKnobBase);
}

MessageRecord HostProtocolLogicOSC::transportStop(const Incoming& in)
{
    transportMoving_ = in.v < 0.5f;
    if (!transportMoving_)
        showTimeDisplay();
    return logicOscResult(193, 2, in.v);
}

std::optional<HostProtocolLogicOSC::SendAddress> HostProtocolLogicOSC::sendAddress(const Incoming& in)
{
    const SendAddress at{in.D(2), in.D(3)};
    if (!isStripOrSlot(at.slot) || !isStripOrSlot(at.strip))
        return std::nullopt;
    return at;
}

MessageRecord HostProtocolLogicOSC::sendLevelFromHost(const Incoming& in)
{
    const auto at = sendAddress(in);
    if (!at)
        return MessageRecord::nothing();
    float& level = sendLevel_[at->slot - 1][at->strip - 1];
    if (in.v == level)
        return MessageRecord::nothing();
    level = in.v;
    if (at->slot != mode_)
        return MessageRecord::nothing();
    return logicOscResult(10, at->strip - 1, in.v + kSendKnobBase);
}

MessageRecord HostProtocolLogicOSC::sendMuteFromHost(const Incoming& in)
{
    const auto at = sendAddress(in);
    if (!at)
        return MessageRecord::nothing();
    sendMute_[at->slot - 1][at->strip - 1] = in.v > 0.0f ? 1 : 0;
    if (at->slot != mode_)
        return MessageRecord::nothing();
    return logicOscResult(19, at->strip - 1, in.v);
}

MessageRecord HostProtocolLogicOSC::sendDisplayFromHost(const Incoming& in)
{
    const auto at = sendAddress(in);
    if (!at || at->slot != mode_)
        return MessageRecord::nothing();
    const std::string_view text = cutBeforeDecibels(in.s.empty() ? std::string_view(" ") : in.s);
    assignText(sendName_[at->slot - 1][at->strip - 1], firstChars(text, kSendNameLength));
    return logicOscResult(205, at->strip - 1, in.v, text);
}

MessageRecord HostProtocolLogicOSC::pageSelect(const Incoming& in)
{
    const float page = std::trunc(in.v * 15.0f + 0.5f);
    MessageRecord lamp;
    for (int i = 0; i < 8; ++i) {
        lamp = logicOscResult(195, i, static_cast<float>(i) == page ? 1.0f : 0.0f);
        sendToRemote(lamp);
    }
    return lamp;
}

MessageRecord HostProtocolLogicOSC::jogState(const Incoming& in)
{
    const float state = std::trunc(in.v + 0.5f);
    if (!(state == 0.0f || state == 1.0f || state == 2.0f))
        return MessageRecord::nothing();
    sendToRemote(logicOscResult(92, 0, state == 1.0f ? 1.0f : 0.0f));
    return logicOscResult(93, 0, state == 2.0f ? 1.0f : 0.0f);
}

}  // namespace corvello
