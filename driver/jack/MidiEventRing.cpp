#include "driver/jack/MidiEventRing.h"

#include <new>

namespace corvello {

MidiEventRing::MidiEventRing(std::size_t capacity) : ring_(jack_ringbuffer_create(capacity))
{
    if (ring_ == nullptr)
        throw std::bad_alloc();
}

MidiEventRing::~MidiEventRing() { jack_ringbuffer_free(ring_); }

bool MidiEventRing::push(const std::uint8_t* bytes, std::size_t size)
{
    if (size == 0 || size > kMaxEventSize ||
        jack_ringbuffer_write_space(ring_) < sizeof(Length) + size)
        return false;
    const Length length = static_cast<Length>(size);
    jack_ringbuffer_write(ring_, reinterpret_cast<const char*>(&length), sizeof length);
    jack_ringbuffer_write(ring_, reinterpret_cast<const char*>(bytes), size);
    return true;
}

std::size_t MidiEventRing::nextSize() const
{
    Length length = 0;
    if (jack_ringbuffer_peek(ring_, reinterpret_cast<char*>(&length), sizeof length) !=
        sizeof length)
        return 0;
    // The writer puts the length and the bytes in two steps.
    return jack_ringbuffer_read_space(ring_) >= sizeof length + length ? length : 0;
}

void MidiEventRing::pop(std::uint8_t* into)
{
    Length length = 0;
    jack_ringbuffer_read(ring_, reinterpret_cast<char*>(&length), sizeof length);
    jack_ringbuffer_read(ring_, reinterpret_cast<char*>(into), length);
}

void MidiEventRing::skip()
{
    Length length = 0;
    jack_ringbuffer_read(ring_, reinterpret_cast<char*>(&length), sizeof length);
    jack_ringbuffer_read_advance(ring_, length);
}

}  // namespace corvello
