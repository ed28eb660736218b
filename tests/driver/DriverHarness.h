#pragma once
// Plays the multimedia layer for the driver: loads the real library (dlopen,
// or LoadLibrary under Wine), opens devices with a callback function that
// DriverCallback (the driver's own on POSIX, winmm's on Windows) reaches, and
// runs a real virtual MIDI server in the test process.

#include "driver/WinMMAbi.h"
#include "driver/loader/DriverLibrary.h"
#include "tests/support/Mailbox.h"
#include "virtmidi/virtmidiserver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace corvello::test {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

inline constexpr const char* kPortNames[] = {"Swivo 1", "Swivo 2", "Tamberlin", nullptr};

// Gives the test process shared things of its own where the platform allows
// (POSIX: a private XDG_RUNTIME_DIR). Windows names are per session, so those
// tests run one at a time.
void isolateSharedThings();

// Leave a server's port list missing, or published in a form a reader must
// refuse (on Windows a value of another type, on POSIX not a file).
void removePublishedPortList();
void publishPortListOfTheWrongType();
// Takes one port's pipe away from a running server; false where the platform
// cannot (Windows).
bool makePortUnreachable(const char* portName);

// The process environment as the driver reads it; a null value unsets.
void setEnvironment(const char* name, const char* value);
// The variable naming the directory the driver's trace log goes under, and
// the log file there.
const char* traceLogDirectoryVariable();
std::string traceLogFileUnder(const std::string& directory);
// A new empty directory of the test's own.
std::string makeTemporaryDirectory();

struct Notification {
    UINT message;
    DWORD_PTR instance;
    DWORD_PTR param1;
    DWORD_PTR param2;
    Bytes longData;  // MIM_LONGDATA: the recorded bytes, copied in the callback
    DWORD flags = 0;
};

// The application's callback function. A test may have it call back into
// the driver, as a DAW may from inside MIM_DATA and MIM_LONGDATA; the log
// counts callbacks entered and left, so one that never returned shows.
class NotificationLog : public Mailbox<Notification> {
public:
    using Reentry = std::function<void(const Notification&)>;

    static void CALLBACK callback(HDRVR device, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                  DWORD_PTR param2);

    // Set before the devices open, cleared after they close.
    void callBackWith(Reentry reentry) { reentry_ = std::move(reentry); }
    int entered() const { return entered_; }
    int left() const { return left_; }

private:
    Reentry reentry_;
    std::atomic<int> entered_{0};
    std::atomic<int> left_{0};
};

struct ServerMessage {
    std::int32_t port;
    Bytes bytes;
};

class ServerRecorder : public Mailbox<ServerMessage> {
public:
    static void receive(void* context, std::int32_t port, const std::uint8_t* bytes,
                        std::int32_t length);
};

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    DWORD outputMessage(UINT id, UINT message, DWORD_PTR param1 = 0, DWORD_PTR param2 = 0);
    DWORD inputMessage(UINT id, UINT message, DWORD_PTR param1 = 0, DWORD_PTR param2 = 0);

    // Open a device with the log's callback; the fixture closes what is left open.
    DWORD openOutput(UINT id);
    DWORD openInput(UINT id);
    DWORD closeOutput(UINT id);
    DWORD closeInput(UINT id);

    void startServer();
    void stopServer();

    DWORD sendShort(UINT id, DWORD packed) { return outputMessage(id, MODM_DATA, packed); }
    // A MIDIHDR over `data`, marked prepared.
    static MIDIHDR preparedHeader(Bytes& data);

    // What the multimedia layer does around the driver's own answer, so a
    // driver that breaks its rules fails here as it would under a DAW: the
    // driver leaves preparing input headers to it; unpreparing a header
    // still in queue fails with MIDIERR_STILLPLAYING; one not prepared
    // passes.
    DWORD prepareInputHeader(UINT id, MIDIHDR& h);
    DWORD unprepareInputHeader(UINT id, MIDIHDR& h);
    DWORD addInputBuffer(UINT id, MIDIHDR& h)
    {
        return inputMessage(id, MIDM_ADDBUFFER, header(h), sizeof h);
    }
    DWORD resetInput(UINT id) { return inputMessage(id, MIDM_RESET); }
    DWORD_PTR header(MIDIHDR& h) { return reinterpret_cast<DWORD_PTR>(&h); }

    std::unique_ptr<DriverLibrary> driver;
    NotificationLog notifications;
    ServerRecorder server;
    DWORD_PTR instances[2][16] = {};  // the driver's instance values, input then output

private:
    DWORD openDevice(bool output, UINT id);
    bool open_[2][16] = {};
    bool serverRunning_ = false;
};

}  // namespace corvello::test
