// Logic OSC messages from the DAW as records for the remote.

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "logicosc/FixedText.h"
#include "logicosc/HostProtocolLogicOSC.h"
#include "logicosc/LogicOscNotation.h"

namespace corvello {

using logicosc::cutBeforeDecibels;
using logicosc::digitAt;
using logicosc::firstChars;
using logicosc::meterCurve;
using logicosc::numberAt;

struct HostProtocolLogicOSC::Incoming {
    std::string_view address;
    float v;
    std::string_view s;

    std::int32_t N(std::size_t k) const { return numberAt(address, k); }
    std::int32_t D(std::size_t k) const { return digitAt(address, k); }
};

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

MessageRecord result(std::uint16_t kind, long long index, float value, std::string_view text = {})
{
    return {kind, clampedIndex(index), value, std::string(text), 0};
}

bool isStripOrSlot(std::int32_t number) { return number >= 1 && number <= 8; }

}  // namespace

// A rule applies when the address begins with its name; the first rule that
// applies decides. Rules without a handler give `kind`/`index` with the
// message's value.
struct HostProtocolLogicOSC::Rule {
    std::string_view name;
    MessageRecord (*handle)(HostProtocolLogicOSC&, const Incoming&);
    std::uint16_t kind = kNothingKind;
    std::int32_t index = 0;
};

MessageRecord HostProtocolLogicOSC::fromHostOsc(OscRecord record)
{
    std::lock_guard lock(mutex_);
    return applyRule({record.addressView(), record.value, record.textView()});
}

MessageRecord HostProtocolLogicOSC::applyRule(const Incoming& in)
{
    using Self = HostProtocolLogicOSC;
    using In = const Incoming&;
    // The order matters where names share a beginning ("mtph" before "mtp"
    // before "mt", "tpd" and "tpt" before "tp", "gsmkp" before "gsmk"...).
    static const Rule kRules[] = {
        {"tv", [](Self&, In i) { return result(9, i.N(2) - 1LL, i.v); }},
        {"mtph", [](Self& p, In i) { return p.meterPeak(i); }},
        {"mtp", [](Self& p, In i) { return p.meterOverload(i); }},
        {"mt", [](Self& p, In i) { return p.meterLevel(i); }},
        {"md", [](Self& p, In i) { return p.modeFromHost(i); }},
        {"vtv", [](Self&, In i) { return result(187, i.N(3) - 1LL, i.v, cutBeforeDecibels(i.s)); }},
        {"ctb", [](Self& p, In i) { return p.beatsFromHost(i); }},
        {"cts", [](Self& p, In i) { return p.smpteFromHost(i); }},
        {"tpd", [](Self& p, In i) { return p.panDisplay(i); }},
        {"tpt", [](Self&, In i) { return result(207, i.N(3) - 1LL, i.v); }},
        {"tsw", [](Self&, In i) { return result(21, i.N(3) - 1LL, i.v); }},
        {"vmode",
         [](Self&, In i) {
             const float kind = std::trunc(i.v + 110.0f);
             if (!(kind >= 0.0f && kind < static_cast<float>(kNothingKind)))
                 return MessageRecord::nothing();
             return result(static_cast<std::uint16_t>(kind), 0, static_cast<float>(i.N(5)));
         }},
        {"tp", [](Self& p, In i) { return p.panFromHost(i); }},
        {"tm", [](Self&, In i) { return result(13, i.N(2) - 1LL, i.v); }},
        {"ts", [](Self&, In i) { return result(14, i.N(2) - 1LL, i.v); }},
        {"tr", [](Self&, In i) { return result(15, i.N(2) - 1LL, i.v); }},
        {"tx", [](Self&, In i) { return result(17, i.N(2) - 1LL, i.v); }},
        {"ti", [](Self&, In i) { return result(16, i.N(2) - 1LL, i.v); }},
        {"tn",
         [](Self&, In i) {
             const long long index = i.N(2) - 1LL;
             if (index < 0)
                 return MessageRecord::nothing();
             return result(189, index, i.v, firstChars(i.s, kTrackNameLength));
         }},
        {"ta",
         [](Self&, In i) {
             for (int step = 0; step <= 4; ++step)
                 if (i.v == static_cast<float>(step) * 0.25f)
                     return result(18, i.N(2) - 1LL, static_cast<float>(step));
             return MessageRecord::nothing();
         }},
        {"plt", [](Self&, In i) { return result(2, (i.N(3) - 1LL) * 10, i.v, firstChars(i.s, 8)); }},
        {"plb", [](Self&, In i) { return result(10, i.N(3) - 1LL, i.v); }},
        {"st", [](Self& p, In i) { return p.transportStop(i); }},
        {"rew", nullptr, 193, 0},
        {"ff", nullptr, 193, 1},
        {"pl", nullptr, 193, 3},
        {"rec", nullptr, 193, 4},
        {"pa", nullptr, 193, 5},
        {"rtz", nullptr, 193, 6},
        {"gte", nullptr, 193, 7},
        {"gtl", nullptr, 193, 10},
        {"gtr", nullptr, 193, 11},
        {"sv", nullptr, 64, 0},
        {"un", nullptr, 65, 0},
        {"redo", nullptr, 193, 111},
        {"gc", nullptr, 132, 0},
        {"lp", nullptr, 193, 8},
        {"qp", nullptr, 193, 9},
        {"cl", nullptr, 193, 17},
        {"gsavo", nullptr, 193, 72},
        {"gsapn", nullptr, 193, 73},
        {"gsamt", nullptr, 193, 74},
        {"gsasn", nullptr, 193, 75},
        {"gsapl", nullptr, 193, 77},
        {"gsaso", nullptr, 193, 78},
        {"gsw2", nullptr, 193, 39},
        {"gsw3", nullptr, 193, 40},
        {"gsw6", [](Self&, In i) { return result(193, 43, 2.0f * i.v); }},
        {"gsw7", [](Self&, In i) { return result(193, 44, 2.0f * i.v); }},
        {"gsw8", nullptr, 193, 45},
        {"gswB", nullptr, 193, 48},
        {"gswF", nullptr, 193, 53},
        {"gswA", nullptr, 193, 47},
        {"gsss1", nullptr, 193, 57},
        {"gsss2", nullptr, 193, 58},
        {"gsss3", nullptr, 193, 59},
        {"gsss4", nullptr, 193, 60},
        {"gsss5", nullptr, 193, 61},
        {"gsss6", nullptr, 193, 62},
        {"gsss7", nullptr, 193, 63},
        {"gsss8", nullptr, 193, 64},
        {"gsss9", nullptr, 193, 65},
        {"gsccut", nullptr, 193, 67},
        {"gsccpy", nullptr, 193, 68},
        {"gscpst", nullptr, 193, 69},
        {"gscdel", nullptr, 193, 70},
        {"gscsal", nullptr, 193, 71},
        {"gsmkp", nullptr, 193, 113},
        {"gsmkn", nullptr, 193, 114},
        {"gsmk", [](Self&, In i) { return result(163, i.N(4), i.v); }},
        {"gssolo", nullptr, 193, 18},
        {"gsmute", nullptr, 193, 134},
        {"sl", [](Self& p, In i) { return p.sendLevelFromHost(i); }},
        {"sm", [](Self& p, In i) { return p.sendMuteFromHost(i); }},
        {"pn", [](Self&, In i) { return result(196, i.N(2), i.v, firstChars(i.s, 8)); }},
        {"pb", [](Self&, In i) { return result(197, i.N(2), i.v); }},
        {"ppv", [](Self&, In i) { return result(198, i.N(3), i.v + kSendKnobBase); }},
        {"ppd", [](Self&, In i) { return result(199, i.N(3), i.v, firstChars(i.s, 10)); }},
        {"ppn", [](Self&, In i) { return result(200, i.N(3), i.v, firstChars(i.s, 10)); }},
        {"ipv", [](Self&, In i) { return result(211, i.N(3), i.v + kSendKnobBase); }},
        {"ipd", [](Self&, In i) { return result(212, i.N(3), i.v, firstChars(i.s, 10)); }},
        {"ipn", [](Self&, In i) { return result(213, i.N(3), i.v, firstChars(i.s, 10)); }},
        {"ps", [](Self& p, In i) { return p.pageSelect(i); }},
        {"alt", [](Self&, In i) { return result(165, 1, 1.0f, i.s); }},
        {"jgst", [](Self& p, In i) { return p.jogState(i); }},
        {"sd", [](Self& p, In i) { return p.sendDisplayFromHost(i); }},
        {"sn", [](Self&, In i) { return result(206, i.D(3) - 1LL, i.v, firstChars(i.s, 10)); }},
        {"flip", nullptr, 32, 0},
    };
    for (const Rule& rule : kRules) {
        if (!in.address.starts_with(rule.name))
            continue;
        return rule.handle ? rule.handle(*this, in) : result(rule.kind, rule.index, in.v);
    }
    return MessageRecord::nothing();
}

MessageRecord HostProtocolLogicOSC::meterPeak(const Incoming& in)
{
    const long long strip = in.N(4) - 1LL;
    if (in.v >= 0.0f)
        return result(169, strip, meterCurve(in.v));
    if (in.v == -1.0f)
        return result(169, strip, 1.0f);
    if (in.v == -2.0f)
        return result(169, strip, 0.0f);
    return MessageRecord::nothing();
}

MessageRecord HostProtocolLogicOSC::meterOverload(const Incoming& in)
{
    const long long strip = in.N(3) - 1LL;
    if (in.v >= 1.0f || in.v == -1.0f)
        return result(177, strip, 1.0f);
    if (in.v == -2.0f)
        return result(177, strip, 0.0f);
    return MessageRecord::nothing();
}

MessageRecord HostProtocolLogicOSC::meterLevel(const Incoming& in)
{
    const long long strip = in.N(2) - 1LL;
    if (in.v > 0.0f)
        return result(96, strip, meterCurve(in.v));
    if (in.v == 0.0f || in.v == -2.0f)
        return result(96, strip, 0.0f);
    if (in.v == -1.0f || in.v < -2.0f)
        return result(96, strip, 1.0f);
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
    return result(205, in.N(3) - 1LL, in.v, " " + std::string(firstChars(in.s, 10)));
}

MessageRecord HostProtocolLogicOSC::panFromHost(const Incoming& in)
{
    const std::int32_t strip = in.N(2);
    if (!isStripOrSlot(strip))
        return MessageRecord::nothing();
    pan_[strip - 1] = in.v;
    if (mode_ != 0)
        return MessageRecord::nothing();
    return result(10, strip - 1, in.v + kPanKnobBase);
}

MessageRecord HostProtocolLogicOSC::transportStop(const Incoming& in)
{
    transportMoving_ = in.v < 0.5f;
    if (!transportMoving_)
        showTimeDisplay();
    return result(193, 2, in.v);
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
    return result(10, at->strip - 1, in.v + kSendKnobBase);
}

MessageRecord HostProtocolLogicOSC::sendMuteFromHost(const Incoming& in)
{
    const auto at = sendAddress(in);
    if (!at)
        return MessageRecord::nothing();
    sendMute_[at->slot - 1][at->strip - 1] = in.v > 0.0f ? 1 : 0;
    if (at->slot != mode_)
        return MessageRecord::nothing();
    return result(19, at->strip - 1, in.v);
}

MessageRecord HostProtocolLogicOSC::sendDisplayFromHost(const Incoming& in)
{
    const auto at = sendAddress(in);
    if (!at || at->slot != mode_)
        return MessageRecord::nothing();
    const std::string_view text = cutBeforeDecibels(in.s.empty() ? std::string_view(" ") : in.s);
    assignText(sendName_[at->slot - 1][at->strip - 1], firstChars(text, kSendNameLength));
    return result(205, at->strip - 1, in.v, text);
}

MessageRecord HostProtocolLogicOSC::pageSelect(const Incoming& in)
{
    const float page = std::trunc(in.v * 15.0f + 0.5f);
    MessageRecord lamp;
    for (int i = 0; i < 8; ++i) {
        lamp = result(195, i, static_cast<float>(i) == page ? 1.0f : 0.0f);
        sendToRemote(lamp);
    }
    return lamp;
}

MessageRecord HostProtocolLogicOSC::jogState(const Incoming& in)
{
    const float state = std::trunc(in.v + 0.5f);
    if (!(state == 0.0f || state == 1.0f || state == 2.0f))
        return MessageRecord::nothing();
    sendToRemote(result(92, 0, state == 1.0f ? 1.0f : 0.0f));
    return result(93, 0, state == 2.0f ? 1.0f : 0.0f);
}

}  // namespace corvello
