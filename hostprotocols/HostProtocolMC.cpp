#include "hostprotocols/HostProtocolMC.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "hostprotocols/MackieNoteTable.h"
#include "hostprotocols/MidiValues.h"

namespace corvello {
namespace {

using namespace midivalues;
using mackie::kBeatsLampNote;
using mackie::kSmpteLampNote;

constexpr std::uint8_t kSysExStart = 0xF0;
constexpr std::uint8_t kSysExEnd = 0xF7;
constexpr std::uint8_t kHeader[] = {kSysExStart, 0x00, 0x00, 0x66, 0x14};
constexpr std::size_t kCommandAt = 5;

enum Command : std::uint8_t {
    kDeviceQuery = 0x00,
    kDeviceQueryReply = 0x01,
    kHostConnectionReply = 0x02,
    kConnectionConfirmed = 0x03,
    kConnectionError = 0x04,
    kTimecodeDisplay = 0x10,
    kAssignmentDisplay = 0x11,
    kLcd = 0x12,
    kVersionRequest = 0x13,
    kVersionReply = 0x14,
};

constexpr std::uint8_t kJogController = 0x3C;
constexpr int kMeterOverload = 14;
constexpr int kMeterOverloadCleared = 15;
constexpr int kMeterLevels = 12;

// Seven-segment code to ASCII; bit 6 is the character's decimal point.
char segmentCharacter(std::uint8_t code)
{
    const int b = code & 0x3F;
    const int ascii = b < 0x20 ? b + 0x40 : b;
    return static_cast<char>((code & 0x40) ? ascii | 0x80 : ascii);
}

// Seven-segment characters to text. message[0] selects the form: a
// controller number (bit 6 set: one character in message[1]) or a SysEx
// command (characters up to F7, at most ten).
void decodeSegmentDisplay(std::span<const std::uint8_t> message, MessageRecord& record)
{
    if (message.empty())
        return;
    std::span<const std::uint8_t> characters;
    if (message[0] & 0x40) {
        if (message.size() < 2)
            return;
        characters = message.subspan(1, 1);
        // Controller 0x49 is the leftmost of the ten timecode positions.
        record.index = (-7 - message[0]) & 0x0F;
    } else {
        const auto afterSelector = message.subspan(1);
        const auto end = std::find(afterSelector.begin(), afterSelector.end(), kSysExEnd);
        const auto count = std::min<std::size_t>(static_cast<std::size_t>(end - afterSelector.begin()), 10);
        characters = afterSelector.first(count);
        record.index = 10 - static_cast<std::int32_t>(count);
    }
    // The DAW sends the rightmost character first.
    record.text.clear();
    for (auto c = characters.rbegin(); c != characters.rend(); ++c)
        record.text.push_back(segmentCharacter(*c));
}

// F0 00 00 66 14 00 ... F7: the header exactly, not only the command byte.
bool isOwnDeviceQuery(std::span<const std::uint8_t> message)
{
    return message.size() > kCommandAt && std::equal(std::begin(kHeader), std::end(kHeader), message.begin()) &&
           message[kCommandAt] == kDeviceQuery && message.back() == kSysExEnd;
}

int mackieStep(float value) { return isPositive(value) ? stepMagnitude(value) : stepMagnitude(value) | kStepSignBit; }

}  // namespace

MessageRecord HostProtocolMC::fromHostMidi(const std::uint8_t* bytes, std::int32_t length, std::int32_t)
{
    const auto message = messageBytes(bytes, length);
    if (message.empty())
        return MessageRecord::nothing();
    const std::uint8_t status = message[0];
    if (status == kSysExStart)
        return fromSysEx(message);
    if (status == 0x90 && message.size() >= 3)
        return fromNoteOn(message[1], message[2]);
    if ((status == 0xB0 || status == 0xBF) && message.size() >= 3)
        return fromControlChange(status, message[1], message[2]);
    if (status == 0xD0 && message.size() >= 2) {
        const int strip = (message[1] >> 4) & 7;
        const int level = message[1] & 0x0F;
        if (level <= kMeterLevels)
            return MessageRecord::number(kFirstMeterKind, strip, static_cast<float>(level) / kMeterLevels);
        if (level == kMeterOverload)
            return MessageRecord::number(kFirstClipKind, strip, 1.0f);
        if (level == kMeterOverloadCleared)
            return MessageRecord::number(kFirstClipKind, strip, 0.0f);
        return MessageRecord::nothing();
    }
    if (status >= 0xE0 && status <= 0xE8 && message.size() >= 3) {
        const int position = message[2] * 128 + message[1];
        return MessageRecord::number(kFaderKind, status - 0xE0, static_cast<float>(position) / kFourteenBitMax);
    }
    return MessageRecord::nothing();
}

MessageRecord HostProtocolMC::fromSysEx(std::span<const std::uint8_t> message)
{
    MessageRecord record;
    if (message.size() <= kCommandAt)
        return record;
    const auto fromCommand = message.subspan(kCommandAt);
    switch (message[kCommandAt]) {
    case kDeviceQuery:
        // The DAW asks once per connection of its surface ports. Answering
        // with the introduction the selection sends wakes a DAW wired after the
        // remote chose this protocol. Queries for other devices (the DAW asks
        // for extenders and other models too) are not ours to answer.
        if (isOwnDeviceQuery(message))
            sendDeviceQueryReply();
        break;
    case kHostConnectionReply:
        sendConnectionReply(true);
        break;
    case kTimecodeDisplay:
        record.kind = kTimeDisplayKind;
        decodeSegmentDisplay(fromCommand, record);
        break;
    case kAssignmentDisplay:
        decodeSegmentDisplay(fromCommand, record);
        record.kind = kAssignmentDisplayKind;
        break;
    case kLcd:
        // F0, header, command, position, text, F7.
        if (message.size() >= 8) {
            record.kind = kLcdKind;
            record.index = message[6];
            record.text.assign(message.begin() + 7, message.end() - 1);
        }
        break;
    case kVersionRequest:
        if (message.size() == 8 && message[6] == 0x00 && message[7] == kSysExEnd)
            sendVersionReply();
        break;
    default:
        break;
    }
    return record;
}

MessageRecord HostProtocolMC::fromNoteOn(std::uint8_t note, std::uint8_t velocity)
{
    const bool lit = velocity > 0;
    if (note == kSmpteLampNote || note == kBeatsLampNote)
        return timeFormatLamp(note, lit);
    const auto button = mackie::buttonForNote(note);
    if (!button)
        return MessageRecord::nothing();
    return MessageRecord::number(button->kind, button->index, lit ? 1.0f : 0.0f);
}

// The remote shows one time format: SMPTE (1) or Beats (2) when exactly one
// lamp is lit, else none (0).
MessageRecord HostProtocolMC::timeFormatLamp(std::uint8_t note, bool lit)
{
    const std::uint32_t bit = note == kSmpteLampNote ? 1u : 2u;
    timeFormatLeds = lit ? (timeFormatLeds | bit) : (timeFormatLeds & ~bit);
    const float format = timeFormatLeds == 1u ? 1.0f : timeFormatLeds == 2u ? 2.0f : 0.0f;
    return MessageRecord::number(kTimeFormatKind, 0, format);
}

MessageRecord HostProtocolMC::fromControlChange(std::uint8_t status, std::uint8_t controller, std::uint8_t data)
{
    MessageRecord record;
    if (controller >= 0x30 && controller <= 0x37) {
        if (status == 0xB0)
            record = MessageRecord::number(kVPotKind, controller - 0x30, ringCode(data));
    } else if (controller >= 0x40 && controller <= 0x49) {
        const std::uint8_t digit[] = {controller, data};
        record.kind = kTimeDisplayKind;
        decodeSegmentDisplay(digit, record);
    } else if (controller == 0x4A || controller == 0x4B) {
        // The assignment display's decimal points are not shown.
        const std::uint8_t digit[] = {static_cast<std::uint8_t>(controller - 10), static_cast<std::uint8_t>(data & 0x3F)};
        decodeSegmentDisplay(digit, record);
        record.kind = kAssignmentDisplayKind;
        record.index = controller == 0x4A ? 1 : 0;
    }
    return record;
}

int HostProtocolMC::toHost(MessageRecord record)
{
    switch (record.kind) {
    case kJogKind:
        writeChannelMessage(0, 0xB0, kJogController, mackieStep(record.value));
        break;
    case kFaderKind:
        // Written twice: the DAW's fader can miss a single move while touched.
        if (record.index >= 0 && record.index <= 15) {
            const int position = fourteenBitPosition(record.value);
            for (int i = 0; i < 2; ++i)
                writeChannelMessage(0, 0xE0 + record.index, position & 0x7F, position >> 7);
        }
        break;
    case kVPotKind:
        writeChannelMessage(0, 0xB0, offsetDataByte(0x10, record.index), mackieStep(record.value));
        break;
    case kHostSelectionKind:
        sendDeviceQueryReply();
        break;
    default:
        if (const auto note = mackie::noteForButton(record.kind, record.index))
            writeNote(*note, record.value);
        break;
    }
    return 1;
}

void HostProtocolMC::writeNote(int note, float value)
{
    writeChannelMessage(0, 0x90, note, isPositive(value) ? 0x7F : 0x00);
}

void HostProtocolMC::sendDeviceQueryReply()
{
    static constexpr std::uint8_t kSerialAndChallenge[] = {kDeviceQueryReply, 1, 2, 3, 4, 5, 6, 7, 0x41, 0x42, 0x43, 0x44};
    writeSysEx(kSerialAndChallenge);
}

void HostProtocolMC::sendConnectionReply(bool accepted)
{
    std::array<std::uint8_t, 1 + 7> body{};
    body[0] = accepted ? kConnectionConfirmed : kConnectionError;
    std::copy(serialNumber.begin(), serialNumber.end(), body.begin() + 1);
    writeSysEx(body);
}

void HostProtocolMC::sendVersionReply()
{
    static constexpr std::uint8_t kVersion[] = {kVersionReply, 'V', '1', '.', '0', '0'};
    writeSysEx(kVersion);
}

void HostProtocolMC::writeSysEx(std::span<const std::uint8_t> body)
{
    std::vector<std::uint8_t> message(std::begin(kHeader), std::end(kHeader));
    message.insert(message.end(), body.begin(), body.end());
    message.push_back(kSysExEnd);
    writeMessage(0, message);
}

}  // namespace corvello
