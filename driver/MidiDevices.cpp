#include "driver/MidiDevices.h"

#include "driver/DriverClient.h"
#include "driver/MessageNames.h"
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
    if (!clientOpen()) {
        trace("open: %s device %u (\"%s\") cannot reach Corvello's port",
              direction == Direction::output ? "output" : "input", deviceId,
              portName(deviceId).c_str());
        return MMSYSERR_NODRIVER;
    }
    const auto* open = reinterpret_cast<const MIDIOPENDESC*>(description);
    OpenDescriptor& descriptor = openDescriptor(direction, deviceId);
    descriptor = OpenDescriptor{reinterpret_cast<HDRVR>(open->hMidi), open->dwCallback,
                                open->dwInstance, static_cast<DWORD>(flags >> 16)};
    PortSide& side = portSide(direction, deviceId);
    side.queue.open();
    side.attach(&descriptor);
    side.notify(direction == Direction::output ? MOM_OPEN : MIM_OPEN, 0, 0);
    *reinterpret_cast<DWORD_PTR*>(instance) = deviceId;
    return MMSYSERR_NOERROR;
}

// Input buffers still queued refuse the close and change nothing, as the
// multimedia layer documents: the application resets first. Once closing,
// the device takes no more buffers (not even from its own callback), and
// the close notification is the last the application hears from it.
MMRESULT closeDevice(Direction direction, UINT deviceId)
{
    if (!isKnownDevice(deviceId))
        return MMSYSERR_BADDEVICEID;
    PortSide& side = portSide(direction, deviceId);
    if (!side.queue.close())
        return MIDIERR_STILLPLAYING;
    const OpenDescriptor* client = side.detach();
    clientClose();
    if (client != nullptr)
        notifyClient(*client, direction == Direction::output ? MOM_CLOSE : MIM_CLOSE, 0, 0);
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
MMRESULT checkBuffer(UINT deviceId, const MIDIHDR* header)
{
    if (header == nullptr || header->dwBufferLength == 0)
        return MMSYSERR_INVALPARAM;
    if (!isKnownDevice(deviceId))
        return MMSYSERR_BADDEVICEID;
    return MMSYSERR_NOERROR;
}

// An output buffer's flags are this thread's alone to read (input buffers'
// are checked by their queue).
MMRESULT checkOutputFlags(const MIDIHDR& header)
{
    if (!(header.dwFlags & MHDR_PREPARED))
        return MIDIERR_UNPREPARED;
    if (header.dwFlags & MHDR_INQUEUE)
        return MIDIERR_STILLPLAYING;
    return MMSYSERR_NOERROR;
}

// The buffer's whole length goes out as one message, whatever was recorded.
MMRESULT longMessage(UINT deviceId, DWORD_PTR param1, DWORD_PTR size)
{
    MIDIHDR* header = headerOf(param1, size);
    if (const MMRESULT refused = checkBuffer(deviceId, header))
        return refused;
    if (const MMRESULT refused = checkOutputFlags(*header))
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
    return portRecord(deviceId).input.queue.add(header);
}

void handBack(PortSide& input, MIDIHDR* header)
{
    input.notify(MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(header), input.elapsedMs());
}

// Every queued buffer comes back done, the one being filled with what it has.
MMRESULT resetInput(UINT deviceId)
{
    if (!isKnownDevice(deviceId))
        return MMSYSERR_BADDEVICEID;
    PortSide& input = portRecord(deviceId).input;
    for (MIDIHDR* header : input.queue.takeAll())
        handBack(input, header);
    return MMSYSERR_NOERROR;
}

// Input restarts its clock; stopping hands back the buffer being filled and
// keeps the empty ones queued.
MMRESULT startInput(UINT deviceId)
{
    if (!isKnownDevice(deviceId))
        return MMSYSERR_BADDEVICEID;
    portRecord(deviceId).input.restartClock();
    return MMSYSERR_NOERROR;
}

MMRESULT stopInput(UINT deviceId)
{
    if (!isKnownDevice(deviceId))
        return MMSYSERR_BADDEVICEID;
    PortSide& input = portRecord(deviceId).input;
    if (MIDIHDR* header = input.queue.takePartlyFilled())
        handBack(input, header);
    return MMSYSERR_NOERROR;
}

constexpr MessageName kOutputMessageNames[] = {
    {MODM_GETNUMDEVS, "MODM_GETNUMDEVS"}, {MODM_GETDEVCAPS, "MODM_GETDEVCAPS"},
    {MODM_OPEN, "MODM_OPEN"},             {MODM_CLOSE, "MODM_CLOSE"},
    {MODM_PREPARE, "MODM_PREPARE"},       {MODM_UNPREPARE, "MODM_UNPREPARE"},
    {MODM_DATA, "MODM_DATA"},             {MODM_LONGDATA, "MODM_LONGDATA"},
    {MODM_RESET, "MODM_RESET"},           {MODM_STRMDATA, "MODM_STRMDATA"},
    {MODM_GETPOS, "MODM_GETPOS"},         {MODM_PAUSE, "MODM_PAUSE"},
    {MODM_RESTART, "MODM_RESTART"},       {MODM_STOP, "MODM_STOP"},
    {MODM_PROPERTIES, "MODM_PROPERTIES"}, {MODM_PREFERRED, "MODM_PREFERRED"},
    {MODM_INIT, "MODM_INIT"},             {MODM_RECONFIGURE, "MODM_RECONFIGURE"},
};

constexpr MessageName kInputMessageNames[] = {
    {MIDM_GETNUMDEVS, "MIDM_GETNUMDEVS"}, {MIDM_GETDEVCAPS, "MIDM_GETDEVCAPS"},
    {MIDM_OPEN, "MIDM_OPEN"},             {MIDM_CLOSE, "MIDM_CLOSE"},
    {MIDM_PREPARE, "MIDM_PREPARE"},       {MIDM_UNPREPARE, "MIDM_UNPREPARE"},
    {MIDM_ADDBUFFER, "MIDM_ADDBUFFER"},   {MIDM_START, "MIDM_START"},
    {MIDM_STOP, "MIDM_STOP"},             {MIDM_RESET, "MIDM_RESET"},
    {MIDM_INIT, "MIDM_INIT"},
};

template <std::size_t N>
void traceMessage(const MessageName (&names)[N], UINT deviceId, UINT message, DWORD result)
{
    if (!traceDetailEnabled())
        return;
    if (const char* name = messageName(names, message))
        traceDetail("%s device %u: %lu", name, deviceId, static_cast<unsigned long>(result));
    else
        traceDetail("message %u to device %u: not supported", message, deviceId);
}

DWORD outputMessage(UINT deviceId, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                    DWORD_PTR param2)
{
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
DWORD inputMessage(UINT deviceId, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                   DWORD_PTR param2)
{
    switch (message) {
    case MIDM_GETNUMDEVS: return deviceCount();
    case MIDM_GETDEVCAPS: return getDevCaps<MIDIINCAPSA, MIDIINCAPSW>(deviceId, param1, param2);
    case MIDM_OPEN: return openDevice(Direction::input, deviceId, instance, param1, param2);
    case MIDM_CLOSE: return closeDevice(Direction::input, deviceId);
    case MIDM_ADDBUFFER: return addBuffer(deviceId, param1, param2);
    case MIDM_START: return startInput(deviceId);
    case MIDM_STOP: return stopInput(deviceId);
    case MIDM_RESET: return resetInput(deviceId);
    case MIDM_INIT: return MMSYSERR_NOERROR;
    default: return MMSYSERR_NOTSUPPORTED;
    }
}

}  // namespace

DWORD outputDeviceMessage(UINT deviceId, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                          DWORD_PTR param2)
{
    const DWORD result = outputMessage(deviceId, message, instance, param1, param2);
    traceMessage(kOutputMessageNames, deviceId, message, result);
    return result;
}

DWORD inputDeviceMessage(UINT deviceId, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                         DWORD_PTR param2)
{
    const DWORD result = inputMessage(deviceId, message, instance, param1, param2);
    traceMessage(kInputMessageNames, deviceId, message, result);
    return result;
}

}  // namespace corvello
