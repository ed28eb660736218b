#include "driver/MidiStreamParser.h"

#include "virtmidi/virtmidiprotocol.h"

namespace corvello {

std::uint32_t MidiStreamParser::parse(std::uint8_t byte)
{
    if (byte == 0xF7) {
        if (!insideSysEx_)
            return kNothing;
        insideSysEx_ = false;
        return kSysExLastByte;
    }
    // Real-time and the other one-byte messages pass through untouched, even
    // in the middle of a system-exclusive message.
    if (midiMessageLength(byte) == 1)
        return byte;
    if (byte & 0x80)
        return parseStatus(byte);
    return parseData(byte);
}

void MidiStreamParser::reset()
{
    runningStatus_ = 0;
    pendingByte_ = kNoPendingByte;
    insideSysEx_ = false;
}

std::uint32_t MidiStreamParser::parseStatus(std::uint8_t status)
{
    if (insideSysEx_) {
        // A status byte ends the system-exclusive message it interrupts and
        // becomes that buffer's last byte; it still starts its own message.
        insideSysEx_ = false;
        parseStatus(status);
        return kSysExLastByte;
    }
    pendingByte_ = kNoPendingByte;
    if (status == 0xF0) {
        runningStatus_ = 0;
        insideSysEx_ = true;
        return kSysExByte;
    }
    runningStatus_ = status;
    return kNothing;
}

std::uint32_t MidiStreamParser::parseData(std::uint8_t data)
{
    if (insideSysEx_)
        return kSysExByte;
    switch (midiMessageLength(runningStatus_)) {
    case 2:
        return runningStatus_ | (std::uint32_t{data} << 8);
    case 3:
        if (pendingByte_ == kNoPendingByte) {
            pendingByte_ = data;
            return kNothing;
        } else {
            const std::uint32_t message =
                runningStatus_ | (std::uint32_t{pendingByte_} << 8) | (std::uint32_t{data} << 16);
            pendingByte_ = kNoPendingByte;
            return message;
        }
    default:
        return kNothing;  // no running status: the byte is dropped
    }
}

}  // namespace corvello
