#pragma once
// What the driver keeps per port: the pipe, the input parser, and one side
// per direction with the application's callback and input buffers.

#include "driver/MidiHeaderQueue.h"
#include "driver/MidiStreamParser.h"
#include "virtmidi/virtmidiclient.h"
#include "driver/WinMMAbi.h"
#include "virtmidi/virtmidiprotocol.h"

#include <atomic>
#include <cstdint>
#include <mutex>

namespace corvello {

// The first three fields of the application's open description, and the
// callback kind DriverCallback expects (the open flags' CALLBACK_ bits).
struct OpenDescriptor {
    HDRVR device = nullptr;
    DWORD_PTR callback = 0;
    DWORD_PTR instance = 0;
    DWORD callbackKind = 0;
};

// Hands a message to the application as its open description asks.
void notifyClient(const OpenDescriptor& descriptor, UINT message, DWORD_PTR param1,
                  DWORD_PTR param2);

// One direction of a port. While the device is open, `client` points at its
// descriptor and notifications reach the application; null means closed, or
// cut off by a broken pipe. Atomic because the read thread notifies while
// application threads open and close.
class PortSide {
public:
    MidiHeaderQueue queue;  // only the input side holds buffers

    void attach(const OpenDescriptor* descriptor);

    // Stops notifications, then waits (at most 1000 ms) until no other
    // thread is still inside the application's callback for this side, so
    // the application may free what its callback uses once close returns.
    // Returns the descriptor that was attached, or null.
    const OpenDescriptor* detach();

    // Does nothing when no client is attached.
    void notify(UINT message, DWORD_PTR param1, DWORD_PTR param2) const;

    // Milliseconds since MIDM_START (since the open until then): the time
    // stamp of input messages.
    void restartClock();
    DWORD elapsedMs() const;

private:
    std::atomic<const OpenDescriptor*> client_{nullptr};
    mutable std::atomic<int> notifying_{0};
    std::atomic<std::int64_t> startMs_{0};
};

struct PortRecord {
    std::uint32_t index = 0;

    // Guards `pipe`: a write never runs on a handle being closed.
    std::mutex pipeMutex;
    VirtMidiClientHandle pipe = kNoVirtMidiClient;

    // Owned by the read thread while it runs.
    std::uint8_t readBuffer[virtMidiClientReadSize] = {};
    MidiStreamParser parser;

    PortSide input;
    PortSide output;
};

}  // namespace corvello
