#include "driver/jack/DriverDevices.h"

#include "platform/Log.h"
#include "virtmidi/virtmidiprotocol.h"

#include <algorithm>

namespace corvello {

namespace {

constexpr auto kConnectedCheckInterval = std::chrono::milliseconds(1000);
constexpr auto kFirstRetryInterval = std::chrono::milliseconds(500);
constexpr auto kLongestRetryInterval = std::chrono::milliseconds(2000);
constexpr std::size_t kMaxSysExSize = 32 * 1024;

DWORD_PTR address(const void* object) { return reinterpret_cast<DWORD_PTR>(object); }

// The DAW may send oversized messages without end: one line per interval.
log::RateLimitedLog dropReport;

}  // namespace

void DriverDevices::supervise()
{
    const auto now = Clock::now();
    if (open_ && writeFailed_) {
        closeAll();
        nextCheck_ = now;
    }
    if (now < nextCheck_)
        return;
    const DWORD count = driver_.inputMessage(0, MIDM_GETNUMDEVS);
    if (open_) {
        if (count == 0) {
            log::warning("corvmidi-jack: Corvello went away; waiting for it");
            closeAll();
            retryInterval_ = kFirstRetryInterval;
        }
        nextCheck_ = now + kConnectedCheckInterval;
        return;
    }
    if (count > 0 && openAll(count)) {
        retryInterval_ = kFirstRetryInterval;
        nextCheck_ = now + kConnectedCheckInterval;
        openFailureReported_ = false;
        return;
    }
    if (count > 0 && !openFailureReported_) {
        log::warning("corvmidi-jack: Corvello runs, but the driver cannot open its ports; "
                     "retrying");
        openFailureReported_ = true;
    }
    closeAll();
    nextCheck_ = now + retryInterval_;
    retryInterval_ = std::min(retryInterval_ * 2, kLongestRetryInterval);
}

void DriverDevices::service()
{
    const std::uint32_t count = ports_.count.load(std::memory_order_acquire);
    for (std::uint32_t i = 0; i < count; ++i) {
        HostedPort& port = ports_.ports[i];
        sendFromDaw(port);
        for (std::size_t buffer = 0; buffer < HostedPort::kInputBuffers; ++buffer)
            if (port.inputReturned[buffer].exchange(false) && port.inputOpen)
                queueInputBuffer(port, buffer);
        reportDrops(port);
    }
}

bool DriverDevices::openAll(std::uint32_t count)
{
    count = std::min(count, HostedPorts::kMaxPorts);
    for (std::uint32_t id = ports_.count.load(); id < count; ++id)
        if (!publishPort(id))
            return false;
    for (std::uint32_t id = 0; id < count; ++id)
        if (!openPort(ports_.ports[id]))
            return false;
    open_ = true;
    writeFailed_ = false;
    log::info("corvmidi-jack: connected to Corvello, %u ports", count);
    return true;
}

// A port's JACK ports appear the first time the driver shows its device.
bool DriverDevices::publishPort(std::uint32_t deviceId)
{
    MIDIINCAPSA caps{};
    if (driver_.inputMessage(deviceId, MIDM_GETDEVCAPS, 0, address(&caps), sizeof caps) !=
        MMSYSERR_NOERROR)
        return false;
    HostedPort& port = ports_.ports[deviceId];
    port.name = caps.szPname;
    port.deviceId = deviceId;
    std::string error;
    if (!jack_.registerPorts(port, error)) {
        log::error("corvmidi-jack: %s", error.c_str());
        return false;
    }
    ports_.count.store(deviceId + 1, std::memory_order_release);
    log::info("corvmidi-jack: \"%s in\" carries %s to the DAW, \"%s out\" from it",
              port.name.c_str(), port.name.c_str(), port.name.c_str());
    return true;
}

bool DriverDevices::openPort(HostedPort& port)
{
    // No device of this process is open, so the driver's read thread is not
    // running and the collected bytes are this thread's to drop.
    port.sysEx.clear();
    port.sysExTooLong = false;
    port.closing = false;
    MIDIOPENDESC input{};
    input.hMidi = &port;
    input.dwCallback = address(reinterpret_cast<void*>(&DriverDevices::inputCallback));
    input.dwInstance = address(this);
    if (driver_.inputMessage(port.deviceId, MIDM_OPEN, address(&port.inputInstance),
                             address(&input), CALLBACK_FUNCTION) != MMSYSERR_NOERROR)
        return false;
    port.inputOpen = true;
    for (std::size_t buffer = 0; buffer < HostedPort::kInputBuffers; ++buffer) {
        port.inputReturned[buffer] = false;
        queueInputBuffer(port, buffer);
    }
    MIDIOPENDESC output{};
    output.hMidi = &port;
    if (driver_.outputMessage(port.deviceId, MODM_OPEN, address(&port.outputInstance),
                              address(&output), CALLBACK_NULL) != MMSYSERR_NOERROR)
        return false;
    port.outputOpen = true;
    return true;
}

void DriverDevices::closeAll()
{
    const std::uint32_t count = ports_.count.load();
    for (std::uint32_t i = 0; i < count; ++i)
        closePort(ports_.ports[i]);
    open_ = false;
}

void DriverDevices::closePort(HostedPort& port)
{
    if (port.outputOpen)
        driver_.outputMessage(port.deviceId, MODM_CLOSE, port.outputInstance);
    if (port.inputOpen) {
        // The buffers come back first: a device with buffers queued refuses
        // to close. They come back on this thread while the driver's read
        // thread may still deliver, so neither collects from here on.
        port.closing = true;
        driver_.inputMessage(port.deviceId, MIDM_RESET, port.inputInstance);
        driver_.inputMessage(port.deviceId, MIDM_CLOSE, port.inputInstance);
    }
    port.outputOpen = port.inputOpen = false;
}

// The multimedia layer prepares input headers itself when the driver leaves
// it to it, as this one does.
void DriverDevices::queueInputBuffer(HostedPort& port, std::size_t index)
{
    MIDIHDR& header = port.inputHeaders[index];
    header = MIDIHDR{};
    header.lpData = port.inputBuffers[index].data();
    header.dwBufferLength = HostedPort::kInputBufferSize;
    header.dwFlags = MHDR_PREPARED;
    driver_.inputMessage(port.deviceId, MIDM_ADDBUFFER, port.inputInstance, address(&header),
                         sizeof header);
}

void DriverDevices::sendFromDaw(HostedPort& port)
{
    while (const std::size_t size = port.fromDaw.nextSize()) {
        port.fromDaw.pop(event_.data());
        if (port.outputOpen && !sendEvent(port, event_.data(), size))
            writeFailed_ = true;
    }
}

// False only when the driver could not write: its connection is gone.
bool DriverDevices::sendEvent(HostedPort& port, std::uint8_t* bytes, std::size_t size)
{
    if (bytes[0] == 0xF0) {
        if (size > virtMidiServerReadSize) {
            dropReport("corvmidi-jack: dropped a %zu-byte system-exclusive message for \"%s\": "
                       "a port message holds at most %zu bytes",
                       size, port.name.c_str(), virtMidiServerReadSize);
            return true;
        }
        MIDIHDR header{};
        header.lpData = reinterpret_cast<char*>(bytes);
        header.dwBufferLength = static_cast<DWORD>(size);
        header.dwFlags = MHDR_PREPARED;
        return driver_.outputMessage(port.deviceId, MODM_LONGDATA, port.outputInstance,
                                     address(&header), sizeof header) != MMSYSERR_ERROR;
    }
    if (bytes[0] < 0x80)
        return true;  // not a MIDI message
    DWORD packed = 0;
    for (std::size_t i = 0; i < std::min<std::size_t>(size, 3); ++i)
        packed |= DWORD{bytes[i]} << (8 * i);
    return driver_.outputMessage(port.deviceId, MODM_DATA, port.outputInstance, packed) !=
           MMSYSERR_ERROR;
}

void DriverDevices::reportDrops(HostedPort& port)
{
    if (const unsigned dropped = port.droppedFromDaw.exchange(0))
        log::warning("corvmidi-jack: \"%s out\": %u events dropped, the host fell behind",
                     port.name.c_str(), dropped);
    if (const unsigned dropped = port.droppedToDaw.exchange(0))
        log::warning("corvmidi-jack: \"%s in\": %u events dropped, JACK fell behind",
                     port.name.c_str(), dropped);
}

// Runs on the driver's read thread.
void CALLBACK DriverDevices::inputCallback(HMIDI device, UINT message, DWORD_PTR instance,
                                           DWORD_PTR param1, DWORD_PTR)
{
    auto& self = *reinterpret_cast<DriverDevices*>(instance);
    auto& port = *static_cast<HostedPort*>(device);
    if (port.closing)
        return;
    if (message == MIM_DATA) {
        const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(param1),
                                       static_cast<std::uint8_t>(param1 >> 8),
                                       static_cast<std::uint8_t>(param1 >> 16)};
        const int length = midiMessageLength(bytes[0]);
        if (length > 0 && !port.toDaw.push(bytes, static_cast<std::size_t>(length)))
            port.droppedToDaw.fetch_add(1);
    } else if (message == MIM_LONGDATA) {
        const auto* header = reinterpret_cast<const MIDIHDR*>(param1);
        self.collectSysEx(port, *header);
        port.inputReturned[static_cast<std::size_t>(header - port.inputHeaders.data())] = true;
        self.wakeup_.post();
    }
}

// Buffers carry a system-exclusive message in pieces; the DAW gets it whole.
// A status byte that cut the message short ends its buffer and is replaced by
// the end mark (the status byte's own message follows as MIM_DATA); the piece
// that follows such a cut lacks its start byte, which is put back.
void DriverDevices::collectSysEx(HostedPort& port, const MIDIHDR& header)
{
    const auto* data = reinterpret_cast<const std::uint8_t*>(header.lpData);
    const std::size_t size = header.dwBytesRecorded;
    if (size == 0)
        return;
    const bool complete = data[size - 1] >= 0x80;
    if (port.sysExTooLong) {
        port.sysExTooLong = !complete;
        return;
    }
    if (port.sysEx.empty() && data[0] != 0xF0)
        port.sysEx.push_back(0xF0);
    port.sysEx.insert(port.sysEx.end(), data, data + size);
    if (port.sysEx.size() > kMaxSysExSize) {
        port.droppedToDaw.fetch_add(1);  // longer than any DAW expects
        port.sysExTooLong = !complete;
        port.sysEx.clear();
        return;
    }
    if (!complete)
        return;
    port.sysEx.back() = 0xF7;
    if (!port.toDaw.push(port.sysEx.data(), port.sysEx.size()))
        port.droppedToDaw.fetch_add(1);
    port.sysEx.clear();
}

}  // namespace corvello
