#include "tests/driver/DriverHarness.h"

#include <cstring>

namespace corvello::test {

// Bytes handed back in MIM_LONGDATA are copied at once: after the callback
// the buffer is the application's again (here: queued anew or left alone).
void CALLBACK NotificationLog::callback(HDRVR, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                        DWORD_PTR param2)
{
    auto& log = *reinterpret_cast<NotificationLog*>(instance);
    ++log.entered_;
    Notification notification{message, instance, param1, param2, {}, 0};
    if (message == MIM_LONGDATA) {
        const auto* header = reinterpret_cast<const MIDIHDR*>(param1);
        notification.longData.assign(header->lpData, header->lpData + header->dwBytesRecorded);
        notification.flags = header->dwFlags;
    }
    if (log.reentry_)
        log.reentry_(notification);
    log.put(std::move(notification));
    ++log.left_;
}

void ServerRecorder::receive(void* context, std::int32_t port, const std::uint8_t* bytes,
                             std::int32_t length)
{
    static_cast<ServerRecorder*>(context)->put({port, Bytes(bytes, bytes + length)});
}

void DriverTest::SetUp()
{
    isolateSharedThings();
    std::string error;
    driver = DriverLibrary::load(CORVMIDI_LIBRARY, error);
    ASSERT_TRUE(driver) << error;
}

// As a DAW closes: input buffers still queued are reset out first.
void DriverTest::TearDown()
{
    for (UINT id = 0; id < 16; ++id) {
        if (open_[1][id])
            closeOutput(id);
        if (open_[0][id]) {
            resetInput(id);
            EXPECT_EQ(closeInput(id), MMSYSERR_NOERROR) << "input " << id;
        }
    }
    driver.reset();
    stopServer();
}

DWORD DriverTest::outputMessage(UINT id, UINT message, DWORD_PTR param1, DWORD_PTR param2)
{
    return driver->outputMessage(id, message, instances[1][id % 16], param1, param2);
}

DWORD DriverTest::inputMessage(UINT id, UINT message, DWORD_PTR param1, DWORD_PTR param2)
{
    return driver->inputMessage(id, message, instances[0][id % 16], param1, param2);
}

DWORD DriverTest::openDevice(bool output, UINT id)
{
    MIDIOPENDESC description{};
    description.hMidi = reinterpret_cast<HMIDI>(static_cast<std::uintptr_t>(0x1000 + id));
    description.dwCallback = reinterpret_cast<DWORD_PTR>(&NotificationLog::callback);
    description.dwInstance = reinterpret_cast<DWORD_PTR>(&notifications);
    DWORD_PTR& instance = instances[output][id % 16];
    const DWORD_PTR where = reinterpret_cast<DWORD_PTR>(&instance);
    const DWORD result =
        output ? driver->outputMessage(id, MODM_OPEN, where,
                                       reinterpret_cast<DWORD_PTR>(&description), CALLBACK_FUNCTION)
               : driver->inputMessage(id, MIDM_OPEN, where,
                                      reinterpret_cast<DWORD_PTR>(&description), CALLBACK_FUNCTION);
    if (result == MMSYSERR_NOERROR)
        open_[output][id % 16] = true;
    return result;
}

DWORD DriverTest::openOutput(UINT id) { return openDevice(true, id); }
DWORD DriverTest::openInput(UINT id) { return openDevice(false, id); }

DWORD DriverTest::closeOutput(UINT id)
{
    open_[1][id % 16] = false;
    return outputMessage(id, MODM_CLOSE);
}

DWORD DriverTest::closeInput(UINT id)
{
    const DWORD result = inputMessage(id, MIDM_CLOSE);
    if (result != MIDIERR_STILLPLAYING)
        open_[0][id % 16] = false;
    return result;
}

void DriverTest::startServer()
{
    ASSERT_TRUE(virtMidiServerStart(kPortNames, &ServerRecorder::receive, &server));
    serverRunning_ = true;
}

void DriverTest::stopServer()
{
    if (serverRunning_)
        virtMidiServerStop();
    serverRunning_ = false;
}

MIDIHDR DriverTest::preparedHeader(Bytes& data)
{
    MIDIHDR h{};
    h.lpData = reinterpret_cast<char*>(data.data());
    h.dwBufferLength = static_cast<DWORD>(data.size());
    h.dwFlags = MHDR_PREPARED;
    return h;
}


DWORD DriverTest::prepareInputHeader(UINT id, MIDIHDR& h)
{
    if (h.lpData == nullptr)
        return MMSYSERR_INVALPARAM;
    if (h.dwFlags & MHDR_PREPARED)
        return MMSYSERR_NOERROR;
    const DWORD result = inputMessage(id, MIDM_PREPARE, header(h), sizeof h);
    if (result != MMSYSERR_NOTSUPPORTED)
        return result;
    h.dwFlags = (h.dwFlags | MHDR_PREPARED) & ~MHDR_DONE;
    return MMSYSERR_NOERROR;
}

DWORD DriverTest::unprepareInputHeader(UINT id, MIDIHDR& h)
{
    if (!(h.dwFlags & MHDR_PREPARED))
        return MMSYSERR_NOERROR;
    if (h.dwFlags & MHDR_INQUEUE)
        return MIDIERR_STILLPLAYING;
    const DWORD result = inputMessage(id, MIDM_UNPREPARE, header(h), sizeof h);
    if (result != MMSYSERR_NOTSUPPORTED)
        return result;
    h.dwFlags &= ~MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

}  // namespace corvello::test
