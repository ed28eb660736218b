// The driver's entry points as the multimedia layer sees them, without a
// server: the answers of the message tables and the device count's warning.

#include "tests/driver/DriverHarness.h"
#include "virtmidi/virtmidilock.h"

namespace corvello::test {
namespace {

using DriverWithoutServer = DriverTest;

TEST_F(DriverWithoutServer, ReportsNoDevicesAndWarnsAtEachQuery)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(outputMessage(0, MODM_GETNUMDEVS), 0u);
    EXPECT_EQ(inputMessage(0, MIDM_GETNUMDEVS), 0u);
    const std::string diagnostics = testing::internal::GetCapturedStderr();
#if !defined(_WIN32)  // on Windows the warning goes to the debugger
    const std::string warning = "Warning: virtual midi server does not appear to be running\n";
    EXPECT_EQ(diagnostics, warning + warning);
#endif
    EXPECT_EQ(openOutput(0), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(openInput(0), MMSYSERR_BADDEVICEID);
    MIDIOUTCAPSA caps{};
    EXPECT_EQ(outputMessage(0, MODM_GETDEVCAPS, reinterpret_cast<DWORD_PTR>(&caps), sizeof caps),
              MMSYSERR_BADDEVICEID);
}

// A server that holds its lock but whose list cannot be read has no ports to
// show. The list is read once per process: each form gets a fresh driver.
TEST_F(DriverWithoutServer, AServerWithoutAReadableListShowsNoDevices)
{
    for (const auto prepare : {&removePublishedPortList, &publishPortListOfTheWrongType}) {
        driver.reset();
        prepare();
        std::unique_ptr<VirtMidiServerLock> lock;
        ASSERT_EQ(VirtMidiServerLock::acquire(lock), VirtMidiServerLock::Outcome::acquired);
        std::string error;
        driver = DriverLibrary::load(CORVMIDI_LIBRARY, error);
        ASSERT_TRUE(driver) << error;
        EXPECT_EQ(outputMessage(0, MODM_GETNUMDEVS), 0u);
        EXPECT_EQ(openOutput(0), MMSYSERR_BADDEVICEID);
    }
}

TEST_F(DriverWithoutServer, DriverProcAnswersItsMessages)
{
    const std::pair<UINT, LRESULT> answers[] = {
        {DRV_LOAD, 1},    {DRV_ENABLE, 1},        {DRV_OPEN, 1},          {DRV_CLOSE, 1},
        {DRV_DISABLE, 1}, {DRV_FREE, 1},          {DRV_CONFIGURE, 0},     {DRV_QUERYCONFIGURE, 0},
        {DRV_INSTALL, DRVCNF_RESTART}};
    for (const auto& [message, result] : answers)
        EXPECT_EQ(driver->driverMessage(message), result) << "message " << message;
}

TEST_F(DriverWithoutServer, AnswersMessagesThatNeedNoDevice)
{
    const std::pair<UINT, DWORD> output[] = {
        {MODM_RESET, 0},        {MODM_INIT, 0},        {MODM_STRMDATA, 8},   {MODM_GETPOS, 8},
        {MODM_PAUSE, 8},        {MODM_RESTART, 8},     {MODM_STOP, 8},       {MODM_PROPERTIES, 8},
        {MODM_PREFERRED, 8},    {MODM_RECONFIGURE, 8}, {10 /* volume */, 8}, {12345, 8}};
    for (const auto& [message, result] : output)
        EXPECT_EQ(outputMessage(0, message), result) << "modMessage " << message;
    // Starting, stopping and resetting need a device the driver has.
    const std::pair<UINT, DWORD> input[] = {{MIDM_START, 2},   {MIDM_STOP, 2},      {MIDM_RESET, 2},
                                            {MIDM_INIT, 0},    {MIDM_PREPARE, 8},   {MIDM_UNPREPARE, 8},
                                            {12345, 8}};
    for (const auto& [message, result] : input)
        EXPECT_EQ(inputMessage(0, message), result) << "midMessage " << message;
}

TEST_F(DriverWithoutServer, PreparesOutputHeadersOfTheRightSize)
{
    Bytes data(16);
    MIDIHDR h{};
    h.lpData = reinterpret_cast<char*>(data.data());
    h.dwBufferLength = 16;
    EXPECT_EQ(outputMessage(0, MODM_PREPARE, header(h), sizeof h - 1), MMSYSERR_INVALPARAM);
    EXPECT_EQ(h.dwFlags, 0u);
    EXPECT_EQ(outputMessage(0, MODM_PREPARE, header(h), sizeof h), MMSYSERR_NOERROR);
    EXPECT_EQ(h.dwFlags, MHDR_PREPARED);
    EXPECT_EQ(outputMessage(0, MODM_UNPREPARE, header(h), 64 + sizeof h), MMSYSERR_INVALPARAM);
    EXPECT_EQ(outputMessage(0, MODM_UNPREPARE, header(h), sizeof h), MMSYSERR_NOERROR);
    EXPECT_EQ(h.dwFlags, 0u);
    EXPECT_EQ(outputMessage(0, MODM_LONGDATA, header(h), sizeof h - 1), MMSYSERR_INVALPARAM);
    EXPECT_EQ(inputMessage(0, MIDM_ADDBUFFER, header(h), sizeof h - 1), MMSYSERR_INVALPARAM);
}

}  // namespace
}  // namespace corvello::test
