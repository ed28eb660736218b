#include "driver/PortRecord.h"

#include "driver/Trace.h"

#include <chrono>
#include <thread>

namespace corvello {

namespace {

// The side whose callback this thread is inside, so a close made from that
// callback does not wait for itself.
thread_local const PortSide* notifyingSide = nullptr;

constexpr auto kCallbackWait = std::chrono::milliseconds(1000);

std::int64_t nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

void notifyClient(const OpenDescriptor& descriptor, UINT message, DWORD_PTR param1,
                  DWORD_PTR param2)
{
    if (descriptor.callback == 0)
        return;
    traceDetail("callback: message %u, parameters %#llx %#llx", message,
                static_cast<unsigned long long>(param1), static_cast<unsigned long long>(param2));
    DriverCallback(descriptor.callback, descriptor.callbackKind, descriptor.device, message,
                   descriptor.instance, param1, param2);
}

void PortSide::attach(const OpenDescriptor* descriptor)
{
    restartClock();
    client_.store(descriptor);
}

const OpenDescriptor* PortSide::detach()
{
    const OpenDescriptor* previous = client_.exchange(nullptr);
    const int own = notifyingSide == this ? 1 : 0;
    const auto deadline = std::chrono::steady_clock::now() + kCallbackWait;
    while (notifying_.load() > own) {
        if (std::chrono::steady_clock::now() >= deadline) {
            trace("close: the application's callback has not returned after %lld ms; closing "
                  "anyway",
                  static_cast<long long>(kCallbackWait.count()));
            break;
        }
        std::this_thread::yield();
    }
    return previous;
}

// Counted before the client is read, so detach() either keeps this call from
// seeing the descriptor or waits for it to return.
void PortSide::notify(UINT message, DWORD_PTR param1, DWORD_PTR param2) const
{
    notifying_.fetch_add(1);
    if (const OpenDescriptor* descriptor = client_.load()) {
        const PortSide* outer = notifyingSide;
        notifyingSide = this;
        notifyClient(*descriptor, message, param1, param2);
        notifyingSide = outer;
    }
    notifying_.fetch_sub(1);
}

void PortSide::restartClock() { startMs_.store(nowMs(), std::memory_order_relaxed); }

DWORD PortSide::elapsedMs() const
{
    return static_cast<DWORD>(nowMs() - startMs_.load(std::memory_order_relaxed));
}

}  // namespace corvello
