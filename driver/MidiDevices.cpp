#include "driver/MidiDevices.h"

#include "driver/DriverClient.h"
#include "driver/Trace.h"
#include "virtmidi/virtmidiprotocol.h"

#include <array>
#include <cstdio>
#include <string>

namespace corvello {

namespace {

enum class Direction { input, output };

// The application's open descriptions, per direction and device.
std::array<OpenDescriptor, kMaxDevices> openDescriptors[2];

OpenDescriptor& openDescriptor(Direction direction, UINT deviceId)
{
    return openDescriptors[direction == Direction::output][deviceId];
}

PortSide& portSide(Direction direction, UINT deviceId)
{
    PortRecord& record = portRecord(deviceId);
    return direction == Direction::output ? record.output : record.input;
}

// Messages that only touch a record need it to exist; they do not look for
// the server, so a device stays usable (and closable) when it goes away.
bool isKnownDevice(UINT deviceId) { return deviceId < portRecordCount(); }

// The caller gives the size of its header: this build's MIDIHDR, 64 bytes in
// a 32-bit process and 120 in a 64-bit one.
MIDIHDR* headerOf(DWORD_PTR param1, DWORD_PTR size)
{
    return size == sizeof(MIDIHDR) ? reinterpret_cast<MIDIHDR*>(param1) : nullptr;
}

// ---- capabilities

void copyName(char (&field)[32], const std::string& name)
{
    std::snprintf(field, sizeof field, "%s", name.c_str());
}

// Widened byte by byte: the names are plain ASCII.
void copyName(WCHAR (&field)[32], const std::string& name)
{
    std::size_t i = 0;
    for (; i < name.size() && i < 31; ++i)
        field[i] = static_cast<WCHAR>(static_cast<unsigned char>(name[i]));
    field[i] = 0;
}

// The technology, voice, note and channel-mask fields of output records are
// left as the caller had them.
template <typename Caps>
MMRESULT fillCaps(DWORD_PTR record, const std::string& name)
{
    Caps* caps = reinterpret_cast<Caps*>(record);
    caps->wMid = 0;
    caps->wPid = 0;
    caps->vDriverVersion = 0;
    caps->dwSupport = 0;
    copyName(caps->szPname, name);
    return MMSYSERR_NOERROR;
}

template <typename NarrowCaps, typename WideCaps>
MMRESULT getDevCaps(UINT deviceId, DWORD_PTR record, DWORD_PTR size)
{
    if (deviceId >= deviceCount())
        return MMSYSERR_BADDEVICEID;
    if (size < sizeof(NarrowCaps) || record == 0)
        return MMSYSERR_INVALPARAM;
    if (size < sizeof(WideCaps))
        return fillCaps<NarrowCaps>(record, portName(deviceId));
    return fillCaps<WideCaps>(record, portName(deviceId));
}

// ---- open and close

MMRESULT openDevice(Direction direction, UINT deviceId, DWORD_PTR instance, DWORD_PTR description,
                    DWORD_PTR flags)
{
    if (deviceId >= deviceCount())
        return MMSYSERR_BADDEVICEID;
    if (description == 0 || instance == 0)
        return MMSYSERR_INVALPARAM;
    if (!clientOpen())
        return MMSYSERR_NODRIVER;
    const auto* open = reinterpret_cast<const MIDIOPENDESC*>(description);
    OpenDescriptor& descriptor = openDescriptor(direction, deviceId);
    descriptor = OpenDescriptor{reinterpret_cast<HDRVR>(open->hMidi), open->dwCallback,
                                open->dwInstance, static_cast<DWORD>(flags >> 16)};
    PortSide& side = portSide(direction, deviceId);
    side.client.store(&descriptor, std::memory_order_release);
    side.notify(direction == Direction::output ? MOM_OPEN : MIM_OPEN, 0, 0);
    *reinterpret_cast<DWORD_PTR*>(instance) = deviceId;
    return MMSYSERR_NOERROR;
}

MMRESULT closeDevice(Direction direction, UINT deviceId)
{
    if (!isKnownDevice(deviceId))
        return MMSYSERR_BADDEVICEID;
    clientClose();
    PortSide& side = portSide(direction, deviceId);
    side.queue.clear();  // queued input buffers are forgotten, not returned
    side.notify(direction == Direction::output ? MOM_CLOSE : MIM_CLOSE, 0, 0);
    side.client.store(nullptr, std::memory_order_release);
    return MMSYSERR_NOERROR;
}

// ---- output

MMRESULT setPrepared(DWORD_PTR param1, DWORD_PTR size, bool prepared)
{
    MIDIHDR* header = headerOf(param1, size);
    if (header == nullptr)
        return MMSYSERR_INVALPARAM;
    header->dwFlags = prepared ? (header->dwFlags | MHDR_PREPARED) : (header->dwFlags & ~MHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

// No running status on output: a message must start with its status byte.
// One without (or a lone 0xF0) has nothing to send; an empty pipe message
// would end the port's connection, so it is refused instead.
MMRESULT shortMessage(UINT deviceId, DWORD_PTR packed)
{
    if (!isKnownDevice(deviceId))
        return MMSYSERR_BADDEVICEID;
    const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(packed),
                                   static_cast<std::uint8_t>(packed >> 8),
                                   static_cast<std::uint8_t>(packed >> 16)};
    const int length = midiMessageLength(bytes[0]);
    if (length == 0)
        return MMSYSERR_INVALPARAM;
    return clientWrite(portRecord(deviceId), bytes, length) ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
}

// The checks a buffer handed to a device passes. An empty buffer is refused:
// it would make an empty pipe message (which ends the connection) on output,
// and could not take a byte on input.
MMRESULT checkBuffer(UINT deviceId, MIDIHDR* header)
{
    if (header == nullptr || header->dwBufferLength == 0)
        return MMSYSERR_INVALPARAM;
    if (!isKnownDevice(deviceId))
        return MMSYSERR_BADDEVICEID;
    if (!(header->dwFlags & MHDR_PREPARED))
        return MIDIERR_UNPREPARED;
    if (header->dwFlags & MHDR_INQUEUE)
        return MIDIERR_STILLPLAYING;
    return MMSYSERR_NOERROR;
}

// The buffer's whole length goes out as one message, whatever was recorded.
MMRESULT longMessage(UINT deviceId, DWORD_PTR param1, DWORD_PTR size)
{
    MIDIHDR* header = headerOf(param1, size);
    if (const MMRESULT refused = checkBuffer(deviceId, header))
        return refused;
    header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
    PortRecord& record = portRecord(deviceId);
    const bool written = clientWrite(record, reinterpret_cast<const std::uint8_t*>(header->lpData),
                                     header->dwBufferLength);
    header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
    record.output.notify(MOM_DONE, param1, 0);
    return written ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
}

// ---- input

MMRESULT addBuffer(UINT deviceId, DWORD_PTR param1, DWORD_PTR size)
{
    MIDIHDR* header = headerOf(param1, size);
    if (const MMRESULT refused = checkBuffer(deviceId, header))
        return refused;
    portRecord(deviceId).input.queue.add(header);
    return MMSYSERR_NOERROR;
}

const char* outputMessageName(UINT message)
{
    switch (message) {
    case MODM_GETNUMDEVS: return "MODM_GETNUMDEVS\n";
    case MODM_GETDEVCAPS: return "MODM_GETDEVCAPS\n";
    case MODM_OPEN: return "MODM_OPEN\n";
    case MODM_CLOSE: return "MODM_CLOSE\n";
    case MODM_PREPARE: return "MODM_PREPARE\n";
    case MODM_UNPREPARE: return "MODM_UNPREPARE\n";
    case MODM_DATA: return "MODM_DATA\n";
    case MODM_LONGDATA: return "MODM_LONGDATA\n";
    case MODM_RESET: return "MODM_RESET\n";
    case MODM_STRMDATA: return "MODM_STRMDATA\n";
    case MODM_GETPOS: return "MODM_GETPOS\n";
    case MODM_PAUSE: return "MODM_PAUSE\n";
    case MODM_RESTART: return "MODM_RESTART\n";
    case MODM_STOP: return "MODM_STOP\n";
    case MODM_PROPERTIES: return "MODM_PROPERTIES\n";
    case MODM_PREFERRED: return "MODM_PREFERRED\n";
    case MODM_INIT: return "MODM_INIT\n";
    case MODM_RECONFIGURE: return "MODM_RECONFIGURE\n";
    default: return nullptr;
    }
}

}  // namespace

DWORD outputDeviceMessage(UINT deviceId, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                          DWORD_PTR param2)
{
    if (const char* name = outputMessageName(message))
        trace(name);
    else
        trace("%s() unknown message: %d\n", "modMessage", message);

    switch (message) {
    case MODM_GETNUMDEVS: return deviceCount();
    case MODM_GETDEVCAPS: return getDevCaps<MIDIOUTCAPSA, MIDIOUTCAPSW>(deviceId, param1, param2);
    case MODM_OPEN: return openDevice(Direction::output, deviceId, instance, param1, param2);
    case MODM_CLOSE: return closeDevice(Direction::output, deviceId);
    case MODM_PREPARE: return setPrepared(param1, param2, true);
    case MODM_UNPREPARE: return setPrepared(param1, param2, false);
    case MODM_DATA: return shortMessage(deviceId, param1);
    case MODM_LONGDATA: return longMessage(deviceId, param1, param2);
    case MODM_RESET:
    case MODM_INIT: return MMSYSERR_NOERROR;
    default: return MMSYSERR_NOTSUPPORTED;
    }
}

// Preparing input headers is left to the multimedia layer (NOTSUPPORTED).
DWORD inputDeviceMessage(UINT deviceId, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                         DWORD_PTR param2)
{
    switch (message) {
    case MIDM_GETNUMDEVS: return deviceCount();
    case MIDM_GETDEVCAPS: return getDevCaps<MIDIINCAPSA, MIDIINCAPSW>(deviceId, param1, param2);
    case MIDM_OPEN: return openDevice(Direction::input, deviceId, instance, param1, param2);
    case MIDM_CLOSE: return closeDevice(Direction::input, deviceId);
    case MIDM_ADDBUFFER: return addBuffer(deviceId, param1, param2);
    case MIDM_START:
    case MIDM_STOP:
    case MIDM_RESET:
    case MIDM_INIT: return MMSYSERR_NOERROR;
    default: return MMSYSERR_NOTSUPPORTED;
    }
}

}  // namespace corvello
