#pragma once
// One driver port as the JACK host shows it: a JACK MIDI port per direction
// and the rings that carry events between the JACK process thread and the
// driver. Names are from the DAW's side: "<port> in" is where the DAW reads
// what Corvello sends (the driver's input device), "<port> out" where the DAW
// writes what goes to Corvello (the driver's output device).

#include "driver/WinMMAbi.h"
#include "driver/jack/MidiEventRing.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include <jack/jack.h>

namespace corvello {

struct HostedPort {
    static constexpr std::size_t kRingCapacity = 64 * 1024;
    static constexpr std::size_t kInputBuffers = 8;
    static constexpr std::size_t kInputBufferSize = 1024;

    std::string name;
    jack_port_t* toDawPort = nullptr;    // "<name> in", a JACK output
    jack_port_t* fromDawPort = nullptr;  // "<name> out", a JACK input
    MidiEventRing toDaw{kRingCapacity};    // written by the driver's read thread
    MidiEventRing fromDaw{kRingCapacity};  // written by the JACK process thread
    std::atomic<unsigned> droppedFromDaw{0};  // events a ring had no room for
    std::atomic<unsigned> droppedToDaw{0};

    // The driver's side, used on the host's main thread and in the driver's
    // callbacks.
    UINT deviceId = 0;
    bool inputOpen = false;
    bool outputOpen = false;
    DWORD_PTR inputInstance = 0;
    DWORD_PTR outputInstance = 0;
    std::array<MIDIHDR, kInputBuffers> inputHeaders{};
    std::array<std::array<char, kInputBufferSize>, kInputBuffers> inputBuffers{};
    std::array<std::atomic<bool>, kInputBuffers> inputReturned{};  // handed back, to queue again
    std::vector<std::uint8_t> sysEx;  // a system-exclusive message being collected
    bool sysExTooLong = false;        // dropping the rest of one
    std::atomic<bool> closing{false};  // the callbacks leave the port alone
};

// The ports, created as the driver's devices become known and published to
// the JACK process thread through `count`; never removed while the client runs.
struct HostedPorts {
    static constexpr std::uint32_t kMaxPorts = 16;
    std::array<HostedPort, kMaxPorts> ports;
    std::atomic<std::uint32_t> count{0};
};

}  // namespace corvello
