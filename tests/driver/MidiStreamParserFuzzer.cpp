// The driver's input stream parser against any byte stream a server (or
// anyone who can write to a port's pipe) may send. What must hold: every
// short message is valid MIDI (a status byte first, the length its status
// gives, data bytes below 0x80, nothing past its length); system-exclusive
// bytes come in runs that start with F0 and end with F7 or the status byte
// that cut them off, with only data bytes between; and every well-formed
// message of the input (explicit or running status, complete system
// exclusive) comes out, in order.

#include "driver/MidiStreamParser.h"
#include "virtmidi/virtmidiprotocol.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <variant>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Event = std::variant<std::uint32_t, Bytes>;  // a short message, or a whole SysEx

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "stream parser: %s\n", what);
    std::abort();
}

bool isStatus(std::uint8_t byte) { return byte >= 0x80; }
bool isRealTime(std::uint8_t byte) { return byte >= 0xF8; }

void checkShortMessage(std::uint32_t packed)
{
    const auto status = static_cast<std::uint8_t>(packed);
    const int length = corvello::midiMessageLength(status);
    if (!isStatus(status) || length == 0 || status == 0xF7)
        fail("a short message without a valid status byte");
    for (int i = 1; i < 4; ++i) {
        const auto byte = static_cast<std::uint8_t>(packed >> (8 * i));
        if (i < length && isStatus(byte))
            fail("a status byte among a short message's data");
        if (i >= length && byte != 0)
            fail("a short message longer than its status allows");
    }
}

// The parser's output as events, checking each piece on the way.
std::vector<Event> parse(const std::uint8_t* data, std::size_t size)
{
    corvello::MidiStreamParser parser;
    std::vector<Event> events;
    Bytes sysEx;
    bool inside = false;
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t byte = data[i];
        const std::uint32_t result = parser.parse(byte);
        if (result == corvello::MidiStreamParser::kNothing)
            continue;
        if (result == corvello::MidiStreamParser::kSysExByte) {
            if (!inside && byte != 0xF0)
                fail("a system-exclusive run that does not start with F0");
            if (inside && isStatus(byte))
                fail("a status byte inside a system-exclusive run");
            inside = true;
            sysEx.push_back(byte);
        } else if (result == corvello::MidiStreamParser::kSysExLastByte) {
            if (!inside)
                fail("a system-exclusive end outside a run");
            if (!isStatus(byte) || isRealTime(byte))
                fail("a system-exclusive run ended by a data or real-time byte");
            sysEx.push_back(byte);
            if (byte == 0xF7)
                events.emplace_back(sysEx);
            // An F0 that cuts a run off also starts the next (a host puts
            // it back in front of that one).
            inside = byte == 0xF0;
            sysEx.assign(inside ? 1 : 0, 0xF0);
        } else {
            checkShortMessage(result);
            events.emplace_back(result);
        }
    }
    return events;
}

// The well-formed messages of the input, found the plain way: real time
// anywhere; F0, data bytes and F7; a status byte and exactly its data bytes,
// channel messages repeating under running status. Whatever else the parser
// makes of the rest is its own affair, as long as it is valid.
std::vector<Event> wellFormed(const std::uint8_t* data, std::size_t size)
{
    std::vector<Event> events;
    std::uint8_t status = 0;
    Bytes pending;
    bool inSysEx = false;
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t byte = data[i];
        if (isRealTime(byte)) {
            events.emplace_back(std::uint32_t{byte});
        } else if (byte == 0xF0) {
            inSysEx = true;
            pending.assign(1, byte);
            status = 0;
        } else if (byte == 0xF7) {
            if (inSysEx) {
                pending.push_back(byte);
                events.emplace_back(pending);
            }
            inSysEx = false;
            status = 0;
        } else if (isStatus(byte)) {
            inSysEx = false;
            pending.clear();
            status = corvello::midiMessageLength(byte) == 1 ? 0 : byte;
            if (status == 0)
                events.emplace_back(std::uint32_t{byte});
        } else if (inSysEx) {
            pending.push_back(byte);
        } else if (status != 0) {
            pending.push_back(byte);
            if (static_cast<int>(pending.size()) + 1 < corvello::midiMessageLength(status))
                continue;
            std::uint32_t packed = status;
            for (std::size_t k = 0; k < pending.size(); ++k)
                packed |= std::uint32_t{pending[k]} << (8 * (k + 1));
            events.emplace_back(packed);
            pending.clear();
            if (status >= 0xF0)
                status = 0;  // system common: no running status expected
        }
    }
    return events;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<Event> emitted = parse(data, size);
    const std::vector<Event> expected = wellFormed(data, size);
    std::size_t next = 0;
    for (const Event& event : emitted)
        if (next < expected.size() && event == expected[next])
            ++next;
    if (next != expected.size())
        fail("a well-formed message was lost");
    return 0;
}
