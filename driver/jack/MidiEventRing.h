#pragma once
// MIDI events crossing between the JACK process thread and an ordinary
// thread: a jack_ringbuffer of frames (a 16-bit length, then the bytes).
// One writer thread and one reader thread; neither ever blocks or allocates.

#include <cstddef>
#include <cstdint>

#include <jack/ringbuffer.h>

namespace corvello {

class MidiEventRing {
public:
    static constexpr std::size_t kMaxEventSize = 0xFFFF;

    explicit MidiEventRing(std::size_t capacity);
    ~MidiEventRing();
    MidiEventRing(const MidiEventRing&) = delete;
    MidiEventRing& operator=(const MidiEventRing&) = delete;

    // False, and nothing written, when the event does not fit.
    bool push(const std::uint8_t* bytes, std::size_t size);

    // The size of the next whole event, or 0 when there is none.
    std::size_t nextSize() const;

    // Moves the next event into `into`, which holds at least nextSize() bytes.
    void pop(std::uint8_t* into);

    // Drops the next event.
    void skip();

private:
    using Length = std::uint16_t;
    jack_ringbuffer_t* ring_;
};

}  // namespace corvello
