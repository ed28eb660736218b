#pragma once
// A real virtual MIDI server in the test process, a receiver that records
// what it hands over, and real clients on the platform's pipes.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/Log.h"
#include "tests/support/Mailbox.h"
#include "virtmidi/virtmidiclient.h"
#include "virtmidi/virtmidiserver.h"

namespace corvello::test {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

inline constexpr const char* kPortNames[] = {"Swivo 1", "Swivo 2", "Tamberlin", nullptr};

// Gives this test process shared things of its own (POSIX: a private
// XDG_RUNTIME_DIR, inherited by the programs it starts). Under Wine the names
// are per session, which is why the Windows tests run one at a time.
void isolateSharedThings();

struct Received {
    std::int32_t port;
    Bytes bytes;
    bool operator==(const Received&) const = default;
};

// The receiver: records every message, and sends it back on its port from
// inside the receive path when asked to.
class Recorder : public Mailbox<Received> {
public:
    std::atomic<bool> echo{false};  // set by the test, read on the server thread

    static void receive(void* context, std::int32_t port, const std::uint8_t* bytes, std::int32_t length)
    {
        auto& self = *static_cast<Recorder*>(context);
        if (self.echo)
            virtMidiServerSend(port, bytes, length);
        self.put({port, Bytes(bytes, bytes + length)});
    }
};

template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds timeout = 10s)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// The lines this process logs while it lives.
class LogCapture {
public:
    LogCapture()
    {
        log::setSink([this](log::Level, std::string_view line) {
            std::lock_guard lock(mutex_);
            lines_.emplace_back(line);
        });
    }
    ~LogCapture() { log::setSink({}); }

    bool contains(std::string_view text)
    {
        std::lock_guard lock(mutex_);
        return std::any_of(lines_.begin(), lines_.end(),
                           [text](const std::string& line) { return line.find(text) != std::string::npos; });
    }

    std::string text()
    {
        std::lock_guard lock(mutex_);
        std::string all;
        for (const std::string& line : lines_)
            all += line + "\n";
        return all;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

inline std::unique_ptr<VirtMidiClientPipe> connectClient(const char* portName)
{
    std::string error;
    auto pipe = VirtMidiClientPipe::connect(portName, error);
    EXPECT_NE(pipe, nullptr) << error;
    return pipe;
}

// The next message on a client, or nothing once its connection has ended.
inline std::optional<Bytes> readMessage(VirtMidiClientPipe& pipe)
{
    std::uint8_t buffer[virtMidiClientReadSize];
    std::string endReason;
    const auto length = pipe.read(buffer, endReason);
    if (!length)
        return std::nullopt;
    return Bytes(buffer, buffer + *length);
}

inline void send(std::int32_t port, const Bytes& bytes)
{
    virtMidiServerSend(port, bytes.data(), static_cast<std::int32_t>(bytes.size()));
}

inline bool clientCountReaches(std::int32_t port, std::size_t count)
{
    return eventually([&] { return virtMidiServerClientCount(port) == count; });
}

class VirtMidiServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        isolateSharedThings();
        ASSERT_TRUE(virtMidiServerStart(kPortNames, &Recorder::receive, &recorder));
    }
    void TearDown() override { virtMidiServerStop(); }

    Recorder recorder;
};

}  // namespace corvello::test
