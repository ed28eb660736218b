#pragma once
// Wakes the host's main thread. post() may be called from the JACK process
// thread and from a signal handler: a semaphore post neither blocks nor
// allocates.

#include <chrono>
#include <semaphore.h>

namespace corvello {

class Wakeup {
public:
    Wakeup() { sem_init(&semaphore_, 0, 0); }
    ~Wakeup() { sem_destroy(&semaphore_); }
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;

    void post() { sem_post(&semaphore_); }

    // Returns after a post or when the time is up.
    void wait(std::chrono::milliseconds timeout);

private:
    sem_t semaphore_;
};

}  // namespace corvello
