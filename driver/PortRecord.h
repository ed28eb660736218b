#pragma once
// What the driver keeps per port: the pipe, the input parser, and one side
// per direction with the application's callback and input buffers.

#include "driver/MidiHeaderQueue.h"
#include "driver/MidiStreamParser.h"
#include "driver/PipeTransport.h"
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

// One direction of a port. While the device is open, `client` points at its
// descriptor and notifications reach the application; null means closed, or
// cut off by a broken pipe. Atomic because the read thread notifies while
// application threads open and close.
struct PortSide {
    std::atomic<const OpenDescriptor*> client{nullptr};
    MidiHeaderQueue queue;  // only the input side holds buffers

    // Does nothing when no client is attached.
    void notify(UINT message, DWORD_PTR param1, DWORD_PTR param2) const;
};

struct PortRecord {
    std::uint32_t index = 0;

    // Guards `pipe`: a write never runs on a handle being closed.
    std::mutex pipeMutex;
    PipeHandle pipe = kInvalidPipe;

    // Owned by the read thread while it runs.
    std::uint8_t readBuffer[virtMidiClientReadSize] = {};
    MidiStreamParser parser;

    PortSide input;
    PortSide output;
};

}  // namespace corvello
