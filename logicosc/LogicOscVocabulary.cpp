// The Logic OSC vocabulary, one table for both directions. From the DAW, the
// first word whose name begins the address decides, so the order matters
// where names share a beginning ("mtph" before "mtp" before "mt", "tpd" and
// "tpt" before "tp", "tsw" before "ts", "plt" and "plb" before "pl", "gsmkp"
// and "gsmkn" before "gsmk"). Towards the DAW, a record's kind (and for
// buttons its index) picks the word that the mode allows. Words that read or
// change the protocol's state from the DAW are rules of their own.

#include <cmath>

#include "logicosc/LogicOscWords.h"

namespace corvello {

namespace {

using Self = HostProtocolLogicOSC;
using In = const HostProtocolLogicOSC::Incoming&;
using Word = HostProtocolLogicOSC::Word;
using logicosc::cutBeforeDecibels;
using logicosc::firstChars;

constexpr Word single(std::string_view name, std::uint16_t kind) { return {name, kind}; }
constexpr Word strip(std::string_view name, std::uint16_t kind) { return {name, kind, Carries::Strip}; }
constexpr Word number(std::string_view name, std::uint16_t kind) { return {name, kind, Carries::Number}; }
constexpr Word slotAndStrip(std::string_view name, std::uint16_t kind)
{
    return Word{name, kind, Carries::SlotAndStrip}.only(kToDaw).inMode(InMode::Send);
}
constexpr Word button(std::string_view name, std::int32_t index) { return {name, kButtonKind, Carries::Button, index}; }
// A word from the DAW that reads or changes the protocol's state.
constexpr Word rule(std::string_view name, Word::FromDaw handle)
{
    return Word{name}.only(kFromDaw).from(handle);
}

template <MessageRecord (Self::*Handle)(In)>
MessageRecord member(Self& protocol, In in, const Word&)
{
    return (protocol.*Handle)(in);
}

// Towards the DAW.
std::optional<float> plusOrMinus4(float v, std::int32_t) { return v > 0.0f ? 4.0f : -4.0f; }
std::optional<float> ifNotZero(float v, std::int32_t) { return v != 0.0f ? std::optional(v) : std::nullopt; }
std::optional<float> doubled(float v, std::int32_t) { return v * 2.0f; }
std::optional<float> indexIfNotZero(float v, std::int32_t index)
{
    return v != 0.0f ? std::optional(static_cast<float>(index)) : std::nullopt;
}
std::optional<float> indexTimesValue(float v, std::int32_t index) { return static_cast<float>(index) * v; }
// Whole numbers and quarters as template arguments: clang before 18 takes no float ones.
template <int C>
std::optional<float> always(float, std::int32_t) { return static_cast<float>(C); }
template <int Quarters>
std::optional<float> alwaysQuarters(float, std::int32_t) { return static_cast<float>(Quarters) * 0.25f; }
template <int C>
std::optional<float> ifPositive(float v, std::int32_t)
{
    return v > 0.0f ? std::optional(static_cast<float>(C)) : std::nullopt;
}
// Automation modes 0 to 4 from the value's integer part.
std::optional<float> automationMode(float v, std::int32_t)
{
    const float t = std::trunc(v);
    if (!(t >= 0.0f && t <= 4.0f))
        return std::nullopt;
    return t == 0.0f ? 0.0f : t;  // never -0.0
}

// From the DAW.
MessageRecord doubledValue(Self&, In in, const Word& w) { return w.plain(in, 2.0f * in.v); }
MessageRecord sendKnobValue(Self&, In in, const Word& w) { return w.plain(in, in.v + Self::kSendKnobBase); }
template <std::size_t Count>
MessageRecord firstCharsOfText(Self&, In in, const Word& w) { return w.plain(in, in.v, firstChars(in.s, Count)); }
MessageRecord automationStep(Self&, In in, const Word& w)
{
    for (int step = 0; step <= 4; ++step)
        if (in.v == static_cast<float>(step) * 0.25f)
            return w.plain(in, static_cast<float>(step));
    return MessageRecord::nothing();
}
MessageRecord trackName(Self&, In in, const Word& w)
{
    if (w.indexIn(in) < 0)
        return MessageRecord::nothing();
    return w.plain(in, in.v, firstChars(in.s, Self::kTrackNameLength));
}

}  // namespace

std::span<const HostProtocolLogicOSC::Word> HostProtocolLogicOSC::vocabulary()
{
    static constexpr Word kWords[] = {
        // Both directions, and the DAW's own words, in the order they are tried.
        strip("tv", 9),
        rule("mtph", member<&Self::meterPeak>),
        rule("mtp", member<&Self::meterOverload>),
        rule("mt", member<&Self::meterLevel>),
        rule("md", member<&Self::modeFromHost>),
        strip("vtv", 187).only(kFromDaw).from([](Self&, In in, const Word& w) {
            return w.plain(in, in.v, cutBeforeDecibels(in.s));
        }),
        rule("ctb", member<&Self::beatsFromHost>),
        rule("cts", member<&Self::smpteFromHost>),
        rule("tpd", member<&Self::panDisplay>),
        strip("tpt", 207).inMode(InMode::Pan),
        strip("tsw", 21),
        rule("vmode", [](Self&, In in, const Word&) {
            const float kind = std::trunc(in.v + 110.0f);
            if (!(kind >= 0.0f && kind < static_cast<float>(kNothingKind)))
                return MessageRecord::nothing();
            return logicOscResult(static_cast<std::uint16_t>(kind), 0, static_cast<float>(in.N(5)));
        }),
        rule("tp", member<&Self::panFromHost>),
        strip("tm", 13),
        strip("ts", 14),
        strip("tr", 15),
        strip("tx", 17),
        strip("ti", 16),
        strip("tn", 189).only(kFromDaw).from(trackName),
        strip("ta", 18).to(automationMode).from(automationStep),
        strip("plt", 2).only(kFromDaw).from([](Self&, In in, const Word& w) {
            return logicOscResult(w.kind, w.indexIn(in) * 10, in.v, firstChars(in.s, 8));
        }),
        strip("plb", 10).to(plusOrMinus4),
        rule("st", member<&Self::transportStop>),
        button("rew", 0),
        button("ff", 1),
        button("pl", 3),
        button("rec", 4),
        button("pa", 5),
        button("rtz", 6),
        button("gte", 7),
        button("gtl", 10),
        button("gtr", 11),
        single("sv", 64),
        single("un", 65),
        button("redo", 111),
        single("gc", 132),
        button("lp", 8),
        button("qp", 9),
        button("cl", 17),
        button("gsavo", 72),
        button("gsapn", 73),
        button("gsamt", 74),
        button("gsasn", 75),
        button("gsapl", 77),
        button("gsaso", 78),
        button("gsw2", 39),
        button("gsw3", 40),
        button("gsw6", 43).from(doubledValue),
        button("gsw7", 44).from(doubledValue),
        button("gsw8", 45),
        button("gswB", 48),
        button("gswF", 53).only(kFromDaw),
        button("gswA", 47),
        button("gsss1", 57),
        button("gsss2", 58),
        button("gsss3", 59),
        button("gsss4", 60),
        button("gsss5", 61),
        button("gsss6", 62).only(kFromDaw),
        button("gsss7", 63).only(kFromDaw),
        button("gsss8", 64).only(kFromDaw),
        button("gsss9", 65).only(kFromDaw),
        button("gsccut", 67),
        button("gsccpy", 68),
        button("gscpst", 69),
        button("gscdel", 70),
        button("gscsal", 71),
        button("gsmkp", 113),
        button("gsmkn", 114),
        number("gsmk", 163).only(kFromDaw),
        button("gssolo", 18),
        button("gsmute", 134),
        rule("sl", member<&Self::sendLevelFromHost>),
        rule("sm", member<&Self::sendMuteFromHost>),
        number("pn", 196).only(kFromDaw).from(firstCharsOfText<8>),
        number("pb", 197),
        number("ppv", 198).from(sendKnobValue),
        number("ppd", 199).only(kFromDaw).from(firstCharsOfText<10>),
        number("ppn", 200).only(kFromDaw).from(firstCharsOfText<10>),
        number("ipv", 211).from(sendKnobValue),
        number("ipd", 212).only(kFromDaw).from(firstCharsOfText<10>),
        number("ipn", 213).only(kFromDaw).from(firstCharsOfText<10>),
        rule("ps", member<&Self::pageSelect>),
        Word{"alt", 165, Carries::Nothing}.only(kFromDaw).from([](Self&, In in, const Word& w) {
            return logicOscResult(w.kind, 1, 1.0f, in.s);
        }),
        rule("jgst", member<&Self::jogState>),
        rule("sd", member<&Self::sendDisplayFromHost>),
        Word{"sn", 206}.only(kFromDaw).from([](Self&, In in, const Word& w) {
            return logicOscResult(w.kind, in.D(3) - 1LL, in.v, firstChars(in.s, 10));
        }),
        single("flip", 32).to(ifNotZero),

        // Towards the DAW only.
        single("jg", 8).only(kToDaw),
        strip("td", 20).only(kToDaw),
        single("bk-", 28).only(kToDaw),
        single("bk+", 29).only(kToDaw),
        single("sc", 30).only(kToDaw).to(ifPositive<-1>),
        single("sc", 31).only(kToDaw).to(ifPositive<1>),
        strip("ta", 57).only(kToDaw).to(alwaysQuarters<0>),
        strip("ta", 58).only(kToDaw).to(alwaysQuarters<1>),
        strip("ta", 59).only(kToDaw).to(alwaysQuarters<2>),
        strip("ta", 60).only(kToDaw).to(alwaysQuarters<3>),
        strip("ta", 61).only(kToDaw).to(alwaysQuarters<4>),
        single("jgst", 92).only(kToDaw),
        single("jgst", 93).only(kToDaw).to(doubled),
        single("tkpd", 142).only(kToDaw).to(indexIfNotZero),
        strip("gsmk", 163).only(kToDaw),
        strip("tp", 188).only(kToDaw).inMode(InMode::Pan),
        slotAndStrip("sl", 188),
        slotAndStrip("st", 207),
        slotAndStrip("sm", 19),
        single("ps", 195).only(kToDaw).to(indexTimesValue),
        single("pbk", 201).only(kToDaw).to(always<-1>),
        single("pbk", 202).only(kToDaw).to(always<1>),
        number("cmd", 203).only(kToDaw),
        number("md", 204).only(kToDaw),
        single("ibk", 214).only(kToDaw).to(always<-1>),
        single("ibk", 215).only(kToDaw).to(always<1>),
        button("st", 2).only(kToDaw),
        button("gssl", 19).only(kToDaw),
        button("gssr", 20).only(kToDaw),
        button("gssdl", 21).only(kToDaw),
        button("gssdr", 22).only(kToDaw),
        button("gsw0", 37).only(kToDaw),
        button("gsw1", 38).only(kToDaw),
        button("gsw4", 41).only(kToDaw),
        button("gsw5", 42).only(kToDaw),
        button("gsw9", 46).only(kToDaw),
        button("kb1", 115).only(kToDaw),
        button("kb2", 116).only(kToDaw),
        button("kb3", 117).only(kToDaw),
        button("kb4", 118).only(kToDaw),
        button("kb5", 119).only(kToDaw),
        button("kb6", 120).only(kToDaw),
        button("kb7", 121).only(kToDaw),
        button("kb8", 122).only(kToDaw),
        button("kb9", 123).only(kToDaw),
        button("kb0", 124).only(kToDaw),
        button("kbdel", 125).only(kToDaw),
        button("kbesc", 126).only(kToDaw),
        button("kbenter", 127).only(kToDaw),
        button("kb.", 128).only(kToDaw),
        button("kbleft", 129).only(kToDaw),
        button("kbright", 130).only(kToDaw),
        button("kbup", 131).only(kToDaw),
        button("kbdown", 132).only(kToDaw),
        button("gtp", 133).only(kToDaw),
    };
    return kWords;
}

}  // namespace corvello
