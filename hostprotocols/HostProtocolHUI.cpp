#include "hostprotocols/HostProtocolHUI.h"

#include <chrono>
#include <string_view>
#include <thread>

#include "hostprotocols/MidiValues.h"

namespace corvello {
namespace {

using namespace midivalues;

constexpr std::uint16_t kTimeFormatPortFourKind = 166;

// Controllers from the DAW.
constexpr int kLastFaderHighController = 0x07;
constexpr int kZoneSelectController = 0x0C;
constexpr int kFirstRingController = 0x10;
constexpr int kLastRingController = 0x1B;
constexpr int kFirstFaderLowController = 0x20;
constexpr int kLampPortController = 0x2C;
// Controllers towards the DAW.
constexpr int kSwitchZoneController = 0x0F;
constexpr int kSwitchPortController = 0x2F;
constexpr int kJogController = 0x0D;
constexpr int kFirstVPotController = 0x40;

constexpr int kPortOnBit = 0x40;
// The DAW's fader positions run to 16352, not 16383.
constexpr float kFaderFromDawFullScale = 16352.0f;
constexpr int kStripAutomationPort = 4;
constexpr int kTimeFormatZone = 22;

// SysEx: F0 00 00 66 05 00, command, payload, F7.
constexpr std::size_t kSysExCommandAt = 6;
constexpr std::size_t kSysExPayloadAt = 7;
constexpr std::size_t kSysExMinimum = 8;
constexpr std::uint8_t kScribbleCommand = 0x10;
constexpr std::uint8_t kTimecodeCommand = 0x11;
constexpr std::uint8_t kDisplayCommand = 0x12;
constexpr std::size_t kScribbleEntryLength = 5;
constexpr int kAssignmentScribbleStrip = 8;
constexpr std::size_t kDisplayEntryLength = 1 + HostProtocolHUI::kChunkLength;

// The DAW shows this across display chunks 0-2 while a dialog waits on its screen.
constexpr std::string_view kDialogChunks[] = {"Pro Tools ", "has a dial", "og onscree"};
constexpr const char* kDialogNotice = "Pro Tools has a dialog on screen";

// The HUI step encoding: bit 6 set for positive steps.
int huiStep(float value) { return isPositive(value) ? stepMagnitude(value) | kStepSignBit : stepMagnitude(value); }

// Strips 8 and up would live on further ports of a wider node; negative
// indexes belong to no port.
std::int32_t stripPortOffset(std::int32_t index) { return index < 0 ? -1 : index / HostProtocolHUI::kStrips; }

char timecodeCharacter(std::uint8_t digit)
{
    if (digit & 0x20)
        return ' ';
    const int character = (digit & 0x0F) + '0';
    return static_cast<char>((digit & 0x10) ? character | 0x80 : character);
}

// The DAW numbers only the first of a run of entries (a number, then
// characters); entry k is number first + k. Hands each whole entry to `take`
// until it returns false; a partial entry at the end is not read.
template <typename Take>
void forEachNumberedEntry(std::span<const std::uint8_t> entries, std::size_t entryLength, Take take)
{
    const std::size_t count = entries.size() / entryLength;
    for (std::size_t k = 0; k < count; ++k) {
        const int number = entries[0] + static_cast<int>(k);
        if (!take(number, entries.subspan(k * entryLength + 1, entryLength - 1)))
            return;
    }
}

std::string textOf(std::span<const std::uint8_t> bytes) { return std::string(bytes.begin(), bytes.end()); }

}  // namespace

MessageRecord HostProtocolHUI::fromHostMidi(const std::uint8_t* bytes, std::int32_t length, std::int32_t)
{
    const auto message = messageBytes(bytes, length);
    if (message.empty())
        return MessageRecord::nothing();
    const std::uint8_t status = message[0];
    if (status == 0xF0)
        return fromSysEx(message);
    if (message.size() < 3)
        return MessageRecord::nothing();
    switch (status & 0xF0) {
    case 0x90:
        if (message[1] == 0 && message[2] == 0)  // the DAW's ping
            return MessageRecord::number(kPingKind, 0, 0.0f);
        return MessageRecord::nothing();
    case 0xA0:
        return fromMeter(message[1], message[2]);
    case 0xB0:
        return fromControlChange(message[1], message[2]);
    default:
        return MessageRecord::nothing();
    }
}

// d: bit 4 the side (right when set), bit 5 the peak-hold form, bit 6 clip,
// bits 0-3 the level 0..12. Clip changes go to the remote ahead of the level.
MessageRecord HostProtocolHUI::fromMeter(std::uint8_t strip, std::uint8_t data)
{
    if (strip >= kStrips)
        return MessageRecord::nothing();
    const int side = (data & 0x10) ? 1 : 0;
    const std::uint8_t clip = (data & 0x40) ? 1 : 0;
    std::uint8_t& flag = clipFlags[2 * strip + side];
    if (clip != flag) {
        flag = clip;
        sendToRemote(MessageRecord::number(static_cast<std::uint16_t>(kFirstClipKind + side), strip, clip));
    }
    const int firstKind = (data & 0x20) ? kFirstPeakMeterKind : kFirstMeterKind;
    return MessageRecord::number(static_cast<std::uint16_t>(firstKind + side), strip,
                                 static_cast<float>(data & 0x0F) / 12.0f);
}

MessageRecord HostProtocolHUI::fromControlChange(std::uint8_t controller, std::uint8_t data)
{
    if (controller <= kLastFaderHighController) {
        faderHigh[controller] = data;
    } else if (controller == kZoneSelectController) {
        zone = data;
    } else if (controller >= kFirstRingController && controller <= kLastRingController) {
        return MessageRecord::number(kVPotKind, controller - kFirstRingController, ringCode(data));
    } else if (controller >= kFirstFaderLowController && controller < kFirstFaderLowController + kStrips) {
        const int strip = controller - kFirstFaderLowController;
        const int position = faderHigh[strip] * 128 + data;
        return MessageRecord::number(kFaderKind, strip, static_cast<float>(position) / kFaderFromDawFullScale);
    } else if (controller == kLampPortController) {
        return fromLamp(data);
    }
    return MessageRecord::nothing();
}

// A lamp in the zone the DAW selected last.
MessageRecord HostProtocolHUI::fromLamp(std::uint8_t data)
{
    const int port = data & 7;
    const bool lit = (data & kPortOnBit) != 0;
    if (zone >= 0 && zone < kStrips) {
        float value = lit ? 1.0f : 0.0f;
        if (port == kStripAutomationPort)  // two lamps behind one port
            value = (data & 0x20) ? 1.0f : lit ? 4.0f : 0.0f;
        return MessageRecord::number(hui::kStripKinds[port], zone, value);
    }
    if (zone == kTimeFormatZone)
        return fromTimeFormatLamp(port, lit);
    if (const auto control = hui::controlForLamp(zone, port))
        return MessageRecord::number(control->kind, control->index, lit ? 1.0f : 0.0f);
    return MessageRecord::nothing();
}

// Ports 0-2 are three time-format lamps, reported as the one format the
// remote shows (the highest lit wins); port 4 is a lamp of its own.
MessageRecord HostProtocolHUI::fromTimeFormatLamp(int port, bool lit)
{
    if (port == 4)
        return MessageRecord::number(kTimeFormatPortFourKind, kTimeFormatZone, 3.0f);
    if (port <= 2) {
        const std::uint32_t bit = 1u << port;
        timeFormatLeds = lit ? (timeFormatLeds | bit) : (timeFormatLeds & ~bit);
    }
    const float format = (timeFormatLeds & 4u) ? 2.0f : (timeFormatLeds & 2u) ? 3.0f : (timeFormatLeds & 1u) ? 1.0f : 0.0f;
    return MessageRecord::number(kTimeFormatKind, kTimeFormatZone, format);
}

MessageRecord HostProtocolHUI::fromSysEx(std::span<const std::uint8_t> message)
{
    if (message.size() < kSysExMinimum)
        return MessageRecord::nothing();
    const auto payload = message.subspan(kSysExPayloadAt, message.size() - kSysExMinimum);
    switch (message[kSysExCommandAt]) {
    case kScribbleCommand:
        scribbleStrips(payload);
        break;
    case kTimecodeCommand:
        if (payload.size() <= kTimecodeDigits)
            return decodeTimecode(payload);
        break;
    case kDisplayCommand:
        displayChunksFrom(payload);
        break;
    default:
        break;
    }
    return MessageRecord::nothing();
}

// Entries of a strip number and four characters. Strip 8 is the assignment
// display and ends the list.
void HostProtocolHUI::scribbleStrips(std::span<const std::uint8_t> entries)
{
    forEachNumberedEntry(entries, kScribbleEntryLength, [&](int strip, std::span<const std::uint8_t> characters) {
        if (strip < kStrips) {
            sendToRemote(MessageRecord::withText(kScribbleKind, strip, textOf(characters)));
            return true;
        }
        if (strip == kAssignmentScribbleStrip)
            sendToRemote(MessageRecord::withText(kAssignmentDisplayKind, 0, textOf(characters)));
        return false;
    });
}

// Entries of a chunk number and ten characters.
void HostProtocolHUI::displayChunksFrom(std::span<const std::uint8_t> entries)
{
    forEachNumberedEntry(entries, kDisplayEntryLength, [&](int chunk, std::span<const std::uint8_t> characters) {
        if (chunk >= kDisplayChunks)
            return false;
        sendToRemote(storeDisplayChunk(chunk, characters.first<kChunkLength>()));
        return true;
    });
}

MessageRecord HostProtocolHUI::decodeTimecode(std::span<const std::uint8_t> digits) const
{
    MessageRecord record;
    record.kind = kTimeDisplayKind;
    record.index = kTimecodeDigits - static_cast<std::int32_t>(digits.size());
    for (auto digit = digits.rbegin(); digit != digits.rend(); ++digit)
        record.text.push_back(timecodeCharacter(*digit));
    return record;
}

MessageRecord HostProtocolHUI::storeDisplayChunk(int chunk, std::span<const std::uint8_t, kChunkLength> characters)
{
    if (chunk < 0 || chunk >= kDisplayChunks)
        return MessageRecord::nothing();
    auto& stored = displayChunks[chunk];
    std::copy(characters.begin(), characters.end(), stored.begin());
    stored[kChunkLength] = '\0';
    MessageRecord record = MessageRecord::withText(kDisplayChunkKind, chunk * kChunkLength, stored.data());
    if (dialogShown == 0 && dialogNoticeShowing()) {
        dialogShown = 1;
        record = MessageRecord::withText(kDialogNoticeKind, 1, kDialogNotice);
        record.value = 1.0f;
    } else if (dialogShown == 1 && dialogNoticeGone()) {
        dialogShown = 0;
        record = MessageRecord::number(kDialogNoticeKind, 0, 0.0f);
    }
    return record;
}

bool HostProtocolHUI::dialogNoticeShowing() const
{
    for (int c = 0; c < 3; ++c)
        if (displayChunks[c].data() != kDialogChunks[c])
            return false;
    return true;
}

// Gone only when none of the three chunks still reads as the notice.
bool HostProtocolHUI::dialogNoticeGone() const
{
    for (int c = 0; c < 3; ++c)
        if (displayChunks[c].data() == kDialogChunks[c])
            return false;
    return true;
}

int HostProtocolHUI::toHost(MessageRecord record)
{
    const bool positive = isPositive(record.value);
    switch (record.kind) {
    case kPingKind:
        writeChannelMessage(0, 0x90, 0x00, 0x7F);
        break;
    case kFaderKind:
        writeFader(record.index, record.value);
        break;
    case kVPotKind:
        writeControlChange(0, offsetDataByte(kFirstVPotController, record.index), huiStep(record.value));
        break;
    case kJogKind:
        writeControlChange(0, kJogController, huiStep(record.value));
        break;
    case 67:
        if (positive)
            tapButton(20, 0);
        break;
    case 139:
        if (record.index == 0) {
            setButton(16, 0, positive);
        } else if (record.index == 1) {
            setButton(8, 4, positive);
            setButton(8, 5, positive);
        }
        break;
    case 142:
        setKeypadKey(record.index, record.value != 0.0f);
        break;
    case 144:
        if (positive && record.index >= 0 && record.index <= 3) {
            setButton(8, 2, true);
            tapKeypadKey(record.index + 1);
            setButton(8, 2, false);
        }
        break;
    case 145:
        // The edit tool chosen last, for kind 146 to choose again.
        if (positive) {
            setButton(8, 6, true);
            if (record.index >= 0 && record.index <= 6)
                tapKeypadKey(record.index + 1);
            editTool = record.index;
        } else {
            setButton(8, 6, false);
            editTool = -1;
        }
        break;
    case 146:
        if (positive && editTool >= 0 && editTool <= 6)
            tapKeypadKey(editTool + 1);
        break;
    case 163:
        // A number typed between two presses of the point key.
        if (positive) {
            tapKeypadKey(hui::kKeypadPointKey);
            if (record.index >= 0 && record.index <= 7)
                tapKeypadKey(record.index + 1);
            tapKeypadKey(hui::kKeypadPointKey);
        }
        break;
    case 168:
        if (positive)
            tapButton(27, 0);
        break;
    default:
        if (const auto port = hui::stripPortForKind(record.kind))
            writeStripSwitch(record.index, *port, positive);
        else if (const auto sw = hui::switchForControl(record.kind, record.index))
            setButton(sw->zone, sw->port, positive);
        break;
    }
    return 1;
}

void HostProtocolHUI::writeFader(std::int32_t index, float value)
{
    const std::int32_t port = stripPortOffset(index);
    const int strip = index & (kStrips - 1);
    const int position = fourteenBitPosition(value);
    writeControlChange(port, strip, position >> 7);
    writeControlChange(port, kFirstFaderLowController + strip, position & 0x7F);
}

void HostProtocolHUI::writeStripSwitch(std::int32_t index, int port, bool on)
{
    const std::int32_t portOffset = stripPortOffset(index);
    writeControlChange(portOffset, kSwitchZoneController, index & (kStrips - 1));
    writeControlChange(portOffset, kSwitchPortController, on ? port | kPortOnBit : port);
}

void HostProtocolHUI::setButton(int zone, int port, bool on)
{
    writeControlChange(0, kSwitchZoneController, zone);
    writeControlChange(0, kSwitchPortController, on ? port | kPortOnBit : port);
}

void HostProtocolHUI::tapButton(int zone, int port)
{
    setButton(zone, port, true);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    setButton(zone, port, false);
}

void HostProtocolHUI::setKeypadKey(std::int32_t key, bool on)
{
    if (const auto sw = hui::keypadKey(key))
        setButton(sw->zone, sw->port, on);
}

void HostProtocolHUI::tapKeypadKey(std::int32_t key)
{
    if (const auto sw = hui::keypadKey(key))
        tapButton(sw->zone, sw->port);
}

void HostProtocolHUI::writeControlChange(std::int32_t port, int controller, int data)
{
    writeChannelMessage(port, 0xB0, controller, data);
}

}  // namespace corvello
