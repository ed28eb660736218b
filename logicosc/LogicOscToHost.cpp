// The remote's records as Logic OSC messages.

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

#include "logicosc/HostProtocolLogicOSC.h"

namespace corvello {

namespace {

// Controls that act on press only: a value below 1.0 is a release.
bool isPressOnly(std::uint16_t kind)
{
    return (kind >= 13 && kind <= 17) || (kind >= 57 && kind <= 61) || (kind >= 77 && kind <= 86) ||
           (kind >= 110 && kind <= 115) || (kind >= 190 && kind <= 192) || kind == 195 ||
           (kind >= 201 && kind <= 203) || kind == 214 || kind == 215;
}

// Formats an address; the numbers are 64-bit so that `index` + 1 never overflows.
std::string address(const char* format, long long number)
{
    char text[32];
    std::snprintf(text, sizeof text, format, number);
    return text;
}

std::string address(const char* format, long long first, long long second)
{
    char text[40];
    std::snprintf(text, sizeof text, format, first, second);
    return text;
}

// Kind 193 by index; the rest of the indexes send nothing.
const char* buttonName(std::int32_t index)
{
    static constexpr struct {
        std::int32_t index;
        const char* name;
    } kButtons[] = {
        {0, "rew"},       {1, "ff"},        {2, "st"},        {3, "pl"},          {4, "rec"},
        {5, "pa"},        {6, "rtz"},       {7, "gte"},       {8, "lp"},          {9, "qp"},
        {10, "gtl"},      {11, "gtr"},      {17, "cl"},       {18, "gssolo"},     {19, "gssl"},
        {20, "gssr"},     {21, "gssdl"},    {22, "gssdr"},    {37, "gsw0"},       {38, "gsw1"},
        {39, "gsw2"},     {40, "gsw3"},     {41, "gsw4"},     {42, "gsw5"},       {43, "gsw6"},
        {44, "gsw7"},     {45, "gsw8"},     {46, "gsw9"},     {47, "gswA"},       {48, "gswB"},
        {57, "gsss1"},    {58, "gsss2"},    {59, "gsss3"},    {60, "gsss4"},      {61, "gsss5"},
        {67, "gsccut"},   {68, "gsccpy"},   {69, "gscpst"},   {70, "gscdel"},     {71, "gscsal"},
        {72, "gsavo"},    {73, "gsapn"},    {74, "gsamt"},    {75, "gsasn"},      {77, "gsapl"},
        {78, "gsaso"},    {111, "redo"},    {113, "gsmkp"},   {114, "gsmkn"},     {115, "kb1"},
        {116, "kb2"},     {117, "kb3"},     {118, "kb4"},     {119, "kb5"},       {120, "kb6"},
        {121, "kb7"},     {122, "kb8"},     {123, "kb9"},     {124, "kb0"},       {125, "kbdel"},
        {126, "kbesc"},   {127, "kbenter"}, {128, "kb."},     {129, "kbleft"},    {130, "kbright"},
        {131, "kbup"},    {132, "kbdown"},  {133, "gtp"},     {134, "gsmute"},
    };
    for (const auto& button : kButtons)
        if (button.index == index)
            return button.name;
    return nullptr;
}

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

void HostProtocolLogicOSC::translateToHost(const MessageRecord& record)
{
    const float v = record.value;
    const long long index = record.index;
    const long long n = index + 1;
    switch (record.kind) {
    case 8: return sendFloatToHost("jg", v);
    case 9: return sendFloatToHost(address("tv%lld", n), v);
    case 10: return sendFloatToHost(address("plb%lld", n), v > 0.0f ? 4.0f : -4.0f);
    case 13: return sendFloatToHost(address("tm%lld", n), v);
    case 14: return sendFloatToHost(address("ts%lld", n), v);
    case 15: return sendFloatToHost(address("tr%lld", n), v);
    case 16: return sendFloatToHost(address("ti%lld", n), v);
    case 17: return sendFloatToHost(address("tx%lld", n), v);
    case 18: {
        const float t = std::trunc(v);
        if (t >= 0.0f && t <= 4.0f)
            sendFloatToHost(address("ta%lld", n), t == 0.0f ? 0.0f : t);  // never -0.0
        return;
    }
    case 19:
        if (isSendMode())
            sendFloatToHost(address("sm%lld%lld", mode_, n), v);
        return;
    case 20: return sendFloatToHost(address("td%lld", n), v);
    case 21: return sendFloatToHost(address("tsw%lld", n), v);
    case 28: return sendFloatToHost("bk-", v);
    case 29: return sendFloatToHost("bk+", v);
    case 30:
    case 31:
        if (v > 0.0f)
            sendFloatToHost("sc", record.kind == 30 ? -1.0f : 1.0f);
        return;
    case 32:
        if (v != 0.0f)
            sendFloatToHost("flip", v);
        return;
    case 57:
    case 58:
    case 59:
    case 60:
    case 61: return sendFloatToHost(address("ta%lld", n), static_cast<float>(record.kind - 57) * 0.25f);
    case 64: return sendFloatToHost("sv", v);
    case 65: return sendFloatToHost("un", v);
    case 92: return sendFloatToHost("jgst", v);
    case 93: return sendFloatToHost("jgst", v * 2.0f);
    case 132: return sendFloatToHost("gc", v);
    case 142:
        if (v != 0.0f)
            sendFloatToHost("tkpd", static_cast<float>(index));
        return;
    case 163: return sendFloatToHost(address("gsmk%lld", n), v);
    case 186:
        if (v >= 1.0f)
            refresh();
        else if (v < 1.0f)
            resetState();
        return;
    case 188:
        if (mode_ == 0)
            sendFloatToHost(address("tp%lld", n), v);
        else if (isSendMode())
            sendFloatToHost(address("sl%lld%lld", mode_, n), v);
        return;
    case 193: return sendButton(record);
    case 195: return sendFloatToHost("ps", static_cast<float>(index) * v);
    case 197: return sendFloatToHost(address("pb%lld", index), v);
    case 198: return sendFloatToHost(address("ppv%lld", index), v);
    case 201: return sendFloatToHost("pbk", -1.0f);
    case 202: return sendFloatToHost("pbk", 1.0f);
    case 203: return sendFloatToHost(address("cmd%lld", index), v);
    case 204:
        // The bank refresh waits for the DAW's confirmation ("md").
        mode_ = record.index;
        return sendFloatToHost(address("md%lld", index), v);
    case 207:
        if (mode_ == 0)
            sendFloatToHost(address("tpt%lld", n), v);
        else if (isSendMode())
            sendFloatToHost(address("st%lld%lld", mode_, n), v);
        return;
    case 211: return sendFloatToHost(address("ipv%lld", index), v);
    case 214: return sendFloatToHost("ibk", -1.0f);
    case 215: return sendFloatToHost("ibk", 1.0f);
    default: return;
    }
}

void HostProtocolLogicOSC::sendButton(const MessageRecord& record)
{
    switch (record.index) {
    case 135: return switchDisplay(0);
    case 136: return switchDisplay(1);
    default:
        if (const char* name = buttonName(record.index))
            sendFloatToHost(name, record.value);
    }
}

}  // namespace corvello
