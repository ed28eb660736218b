// The driver against a server that breaks the pipe's rules, which the real
// server never does: the test process takes the server's lock, publishes the
// port list and offers each port's named pipe itself (one instance each, so
// the driver's client lands on a known one).

#include "tests/driver/DriverHarness.h"

#include "virtmidi/virtmidilock.h"
#include "virtmidi/virtmidiportlist.h"
#include "virtmidi/virtmidiprotocol.h"

#include <windows.h>

#include <array>
#include <atomic>

namespace corvello::test {
namespace {

constexpr DWORD kWaitMs = 5000;

class ImpostorServer {
public:
    explicit ImpostorServer(DWORD pipeType)
    {
        EXPECT_EQ(VirtMidiServerLock::acquire(lock_), VirtMidiServerLock::Outcome::acquired);
        EXPECT_TRUE(virtMidiPublishPortList(virtMidiEncodePortList(kPortNames)));
        for (std::size_t port = 0; port < pipes_.size(); ++port) {
            Instance& instance = pipes_[port];
            instance.pipe = CreateNamedPipeA(virtMidiPipeName(kPortNames[port]).c_str(),
                                             PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                             pipeType | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
            EXPECT_NE(instance.pipe, INVALID_HANDLE_VALUE) << GetLastError();
            listen(instance);
        }
    }

    ~ImpostorServer()
    {
        for (Instance& instance : pipes_) {
            CancelIo(instance.pipe);
            CloseHandle(instance.pipe);
            CloseHandle(instance.connected.hEvent);
        }
        removePublishedPortList();
    }

    // True once the port's driver client has connected.
    bool clientArrives(std::size_t port)
    {
        Instance& instance = pipes_[port];
        DWORD ignored = 0;
        return instance.listening
                   ? WaitForSingleObject(instance.connected.hEvent, kWaitMs) == WAIT_OBJECT_0 &&
                         GetOverlappedResult(instance.pipe, &instance.connected, &ignored, FALSE)
                   : true;
    }

    bool send(std::size_t port, const Bytes& bytes)
    {
        OVERLAPPED overlapped{};
        overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        DWORD written = 0;
        BOOL ok = WriteFile(pipes_[port].pipe, bytes.data(), static_cast<DWORD>(bytes.size()),
                            nullptr, &overlapped);
        if (!ok && GetLastError() == ERROR_IO_PENDING &&
            WaitForSingleObject(overlapped.hEvent, kWaitMs) == WAIT_OBJECT_0)
            ok = GetOverlappedResult(pipes_[port].pipe, &overlapped, &written, FALSE);
        CloseHandle(overlapped.hEvent);
        return ok;
    }

    // Ends the client's connection and listens for the next one.
    void drop(std::size_t port)
    {
        Instance& instance = pipes_[port];
        DisconnectNamedPipe(instance.pipe);
        listen(instance);
    }

private:
    struct Instance {
        HANDLE pipe = INVALID_HANDLE_VALUE;
        OVERLAPPED connected{};
        bool listening = false;
    };

    static void listen(Instance& instance)
    {
        if (instance.connected.hEvent == nullptr)
            instance.connected.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ResetEvent(instance.connected.hEvent);
        const HANDLE event = instance.connected.hEvent;
        instance.connected = OVERLAPPED{};
        instance.connected.hEvent = event;
        instance.listening = !ConnectNamedPipe(instance.pipe, &instance.connected) &&
                             GetLastError() == ERROR_IO_PENDING;
    }

    std::unique_ptr<VirtMidiServerLock> lock_;
    std::array<Instance, 3> pipes_;
};

using DriverWithImpostor = DriverTest;

// Read by bytes, such a pipe would run the server's messages together.
TEST_F(DriverWithImpostor, APipeThatKeepsNoMessagesApartIsRefused)
{
    ImpostorServer impostor(PIPE_TYPE_BYTE | PIPE_READMODE_BYTE);
    EXPECT_EQ(openInput(0), MMSYSERR_NODRIVER);
}

// The read thread restarts its read after each message; a restart that fails
// (here: the connection ended by the server inside the application's
// callback) reopens the pipe instead of leaving the port silent.
TEST_F(DriverWithImpostor, AReadThatCannotRestartReopensThePipe)
{
    ImpostorServer impostor(PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE);
    std::atomic<bool> dropped{false};
    notifications.callBackWith([&](const Notification& n) {
        if (n.message == MIM_DATA && !dropped.exchange(true))
            impostor.drop(0);
    });
    ASSERT_EQ(openInput(0), MMSYSERR_NOERROR);
    ASSERT_EQ(notifications.next()->message, UINT(MIM_OPEN));
    ASSERT_TRUE(impostor.clientArrives(0));

    ASSERT_TRUE(impostor.send(0, {0x90, 0x3C, 0x7F}));
    auto first = notifications.next();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->param1, 0x7F3C90u);

    ASSERT_TRUE(impostor.clientArrives(0)) << "the pipe was not reopened";
    ASSERT_TRUE(impostor.send(0, {0x80, 0x3C, 0x00}));
    auto second = notifications.next();
    ASSERT_TRUE(second) << "the port went silent";
    EXPECT_EQ(second->message, UINT(MIM_DATA));
    EXPECT_EQ(second->param1, 0x003C80u);
    notifications.callBackWith(nullptr);
}

}  // namespace
}  // namespace corvello::test
