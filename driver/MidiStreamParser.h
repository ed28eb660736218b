#pragma once
// Turns the byte stream arriving on one port into short messages and
// system-exclusive bytes. Running status and the inside-system-exclusive state
// carry over from one pipe message to the next.

#include <cstdint>

namespace corvello {

class MidiStreamParser {
public:
    // What parse() returns besides a packed short message.
    static constexpr std::uint32_t kNothing = 0;
    static constexpr std::uint32_t kSysExByte = 0xF0;      // append the byte
    static constexpr std::uint32_t kSysExLastByte = 0xF7;  // append it and complete the buffer

    // A packed short message holds status, first and second data byte from
    // the low byte up.
    std::uint32_t parse(std::uint8_t byte);
    void reset();

private:
    std::uint32_t parseStatus(std::uint8_t status);
    std::uint32_t parseData(std::uint8_t data);

    static constexpr std::uint8_t kNoPendingByte = 0xFF;
    std::uint8_t runningStatus_ = 0;
    std::uint8_t pendingByte_ = kNoPendingByte;
    bool insideSysEx_ = false;
};

}  // namespace corvello
