#include "driver/jack/Wakeup.h"

#include <cerrno>
#include <ctime>

namespace corvello {

void Wakeup::wait(std::chrono::milliseconds timeout)
{
    timespec deadline{};
    clock_gettime(CLOCK_REALTIME, &deadline);
    const long long nanoseconds = deadline.tv_nsec + timeout.count() * 1'000'000LL;
    deadline.tv_sec += static_cast<time_t>(nanoseconds / 1'000'000'000LL);
    deadline.tv_nsec = static_cast<long>(nanoseconds % 1'000'000'000LL);
    while (sem_timedwait(&semaphore_, &deadline) != 0 && errno == EINTR) {
    }
    // Several posts for one batch of work need only one round.
    while (sem_trywait(&semaphore_) == 0) {
    }
}

}  // namespace corvello
