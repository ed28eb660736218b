#pragma once
// A port served by the test itself that takes a client and never reads what
// it sends (POSIX: a listening socket under the runtime directory; Windows:
// a message pipe of this session), for the client's behaviour when a
// server stalls.

#include <cstdint>
#include <string>

namespace corvello::test {

class StalledServer {
public:
    explicit StalledServer(const char* portName);
    ~StalledServer();
    StalledServer(const StalledServer&) = delete;
    StalledServer& operator=(const StalledServer&) = delete;

    bool ready() const { return handle_ != -1; }

private:
    std::intptr_t handle_ = -1;
    std::string path_;  // POSIX: the socket's, removed at the end
};

}  // namespace corvello::test
