// A real avahi-daemon, started by the test when none runs: first the system
// bus (dbus-daemon --system --fork), then avahi-daemon in the foreground
// (--no-chroot --no-drop-root, IPv4 on the loopback interface only, D-Bus on)
// until it reports "Server startup complete". Both are stopped by PID at the
// end. Services are published with avahi-publish (one process per service,
// stopped to withdraw it) and registrations looked up with avahi-browse.
// Needs root (the system bus lives in /run/dbus).

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>
#include <vector>

#include "link/DnsSd.h"
#include "tests/discovery/ServicePublisher.h"
#include "tests/support/ChildProcess.h"

namespace corvello::test {

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr const char* kBusSocket = "/run/dbus/system_bus_socket";

bool systemBusAnswers()
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", kBusSocket);
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

int exitCodeOf(std::vector<std::string> argv)
{
    ChildProcess process(std::move(argv));
    return process.stop(0, 10s).value_or(-1);
}

std::vector<std::string> fields(const std::string& line)
{
    std::vector<std::string> out;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, ';');)
        out.push_back(field);
    return out;
}

class AvahiPublisher : public ServicePublisher {
public:
    ~AvahiPublisher() override
    {
        dnssd().release();
        for (auto& [name, process] : published_)
            process->stop(SIGTERM, 5s);
        if (daemon_)
            daemon_->stop(SIGTERM, 10s);
        if (busPid_ > 0)
            ::kill(busPid_, SIGTERM);
    }

    bool start(std::string& whyNot) override
    {
        if (!startSystemBus(whyNot) || !startDaemon(whyNot))
            return false;
        if (!dnssd().load()) {
            whyNot = "libdns_sd.so.1 (libavahi-compat-libdnssd1) cannot be loaded";
            return false;
        }
        return true;
    }

    void publish(const std::string& name, std::uint16_t port) override
    {
        auto process = std::make_unique<ChildProcess>(std::vector<std::string>{
            "/usr/bin/avahi-publish", "-s", name, kOscPeerType, std::to_string(port)});
        process->waitForErrorLine("Established under name", 15s);
        published_[name] = std::move(process);
    }

    void withdraw(const std::string& name) override
    {
        if (auto found = published_.find(name); found != published_.end()) {
            found->second->stop(SIGTERM, 5s);
            published_.erase(found);
        }
    }

    bool seesRegistration(const std::string& type, std::uint16_t port) override
    {
        return eventually([&] { return isListed(type, port); });
    }

    bool seesNoRegistration(const std::string& type, std::uint16_t port) override
    {
        return eventually([&] { return !isListed(type, port); });
    }

private:
    // Generous: avahi probes a name again before it re-announces a service
    // withdrawn moments ago, and each browse can take seconds on a busy machine.
    template <typename Condition>
    static bool eventually(Condition condition)
    {
        for (auto deadline = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < deadline;
             std::this_thread::sleep_for(200ms))
            if (condition())
                return true;
        return false;
    }

    static bool isListed(const std::string& type, std::uint16_t port)
    {
        ChildProcess browse({"/usr/bin/avahi-browse", "--resolve", "--terminate", "--parsable", type});
        while (auto line = browse.readLine(5s)) {
            const auto f = fields(*line);
            if (f.size() > 8 && f[0] == "=" && f[8] == std::to_string(port))
                return true;
        }
        return false;
    }

    bool startSystemBus(std::string& whyNot)
    {
        if (systemBusAnswers())
            return true;
        if (::geteuid() != 0) {
            whyNot = "no system bus runs and only root can start one";
            return false;
        }
        fs::create_directories("/run/dbus");
        fs::remove("/run/dbus/pid");  // left by a bus that did not stop cleanly
        ChildProcess bus({"/usr/bin/dbus-daemon", "--system", "--fork", "--print-pid"});
        const auto pid = bus.readLine(10s);
        if (!pid || !systemBusAnswers()) {
            whyNot = "dbus-daemon --system did not start";
            return false;
        }
        busPid_ = static_cast<pid_t>(std::stol(*pid));
        return true;
    }

    bool startDaemon(std::string& whyNot)
    {
        if (exitCodeOf({"/usr/sbin/avahi-daemon", "--check"}) == 0)
            return true;  // someone else's daemon: used, not stopped
        const fs::path config = fs::temp_directory_path() / ("corvello-avahi-" + std::to_string(::getpid()) + ".conf");
        std::ofstream(config) << "[server]\nuse-ipv4=yes\nuse-ipv6=no\nallow-interfaces=lo\nenable-dbus=yes\n"
                                 "[publish]\n[reflector]\n[rlimits]\n";
        daemon_ = std::make_unique<ChildProcess>(std::vector<std::string>{
            "/usr/sbin/avahi-daemon", "--no-chroot", "--no-drop-root", "-f", config.string()});
        const bool started = daemon_->waitForErrorLine("Server startup complete", 20s).has_value();
        fs::remove(config);
        if (!started)
            whyNot = "avahi-daemon did not report \"Server startup complete\"";
        return started;
    }

    pid_t busPid_ = -1;
    std::unique_ptr<ChildProcess> daemon_;
    std::map<std::string, std::unique_ptr<ChildProcess>> published_;
};

}  // namespace

std::unique_ptr<ServicePublisher> makeServicePublisher() { return std::make_unique<AvahiPublisher>(); }

}  // namespace corvello::test
