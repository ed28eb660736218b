// What the server does the same on every platform: the single instance, the
// published list, and screening calls before they reach the pipes.

#include "virtmidi/virtmidiserver.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Log.h"
#include "virtmidi/virtmidilock.h"
#include "virtmidi/virtmidipipeserver.h"
#include "virtmidi/virtmidiportlist.h"
#include "virtmidi/virtmidiprotocol.h"

namespace corvello {

namespace {

struct Lifecycle {
    std::mutex mutex;
    std::unique_ptr<VirtMidiServerLock> lock;
};

Lifecycle& lifecycle()
{
    static auto* instance = new Lifecycle;
    return *instance;
}

// The names as readers of the published list see them, so a name cut there
// is cut here; what the pipes cannot serve is neither served nor published.
std::vector<std::string> servedNames(const char* const* portNames, std::size_t maxPorts)
{
    const std::string list = virtMidiEncodePortList(portNames);
    std::vector<std::string> names = virtMidiDecodePortList(list.data(), list.size());
    if (names.size() > maxPorts) {
        log::warning("Virtual MIDI: only the first %zu ports are served", maxPorts);
        names.resize(maxPorts);
    }
    return names;
}

std::string encodeNames(const std::vector<std::string>& names)
{
    std::vector<const char*> pointers;
    for (const std::string& name : names)
        pointers.push_back(name.c_str());
    pointers.push_back(nullptr);
    return virtMidiEncodePortList(pointers.data());
}

bool takeLock(std::unique_ptr<VirtMidiServerLock>& lock)
{
    // A server already running in this process counts like one elsewhere.
    const auto outcome = lock ? VirtMidiServerLock::Outcome::heldByAnotherServer
                              : VirtMidiServerLock::acquire(lock);
    switch (outcome) {
    case VirtMidiServerLock::Outcome::acquired:
        return true;
    case VirtMidiServerLock::Outcome::heldByAnotherServer:
        log::error("A Virtual MIDI Server is already running");
        return false;
    case VirtMidiServerLock::Outcome::unavailable:
        return false;
    }
    return false;
}

}  // namespace

bool virtMidiServerStart(const char* const* portNames, VirtMidiReceiver receiver, void* context)
{
    Lifecycle& state = lifecycle();
    std::lock_guard guard(state.mutex);
    if (!takeLock(state.lock))
        return false;
    VirtMidiPipeServer& pipes = virtMidiPipeServer();
    const std::vector<std::string> names = servedNames(portNames, pipes.maxPorts());
    if (!virtMidiPublishPortList(encodeNames(names)) || !pipes.start(names, receiver, context)) {
        state.lock.reset();
        return false;
    }
    return true;
}

void virtMidiServerSend(std::int32_t port, const std::uint8_t* bytes, std::int32_t length)
{
    // An empty message would end every client's connection.
    if (bytes != nullptr && length > 0)
        virtMidiPipeServer().send(port, bytes, length);
}

std::size_t virtMidiServerClientCount(std::int32_t port)
{
    return virtMidiPipeServer().clientCount(port);
}

void virtMidiServerStop()
{
    Lifecycle& state = lifecycle();
    std::lock_guard guard(state.mutex);
    virtMidiPipeServer().stop();
    state.lock.reset();
}

}  // namespace corvello
