#pragma once
// One corvello process for a whole-process test: a private XDG_RUNTIME_DIR
// (so its ports and lock are its own) holding its XDG_CONFIG_HOME (so
// only a settings file the test writes there is read), its stderr readable
// line by line, and the TCP port it reports. Stopped by PID and its directory
// removed at the end.

#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"

namespace corvello::test {

class CorvelloInstance {
public:
    // Starts corvello with `arguments`; unless `expectPort` is false, waits
    // for the line that names its port.
    struct SettingsFile {
        std::string text;
        mode_t mode = 0600;
    };

    // `settings`, when given, is written as its settings file first.
    explicit CorvelloInstance(std::vector<std::string> arguments = {}, bool expectPort = true,
                              const std::optional<SettingsFile>& settings = std::nullopt)
    {
        char pattern[] = "/tmp/corvello-e2e-XXXXXX";
        if (const char* dir = mkdtemp(pattern))
            runtimeDir_ = dir;
        if (settings) {
            std::filesystem::create_directories(settingsFile().parent_path());
            std::ofstream(settingsFile()) << settings->text;
            chmod(settingsFile().c_str(), settings->mode);
        }
        std::vector<std::string> argv{CORVELLO_BIN};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        process_ = std::make_unique<ChildProcess>(argv, environment());
        if (!expectPort)
            return;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (auto line = process_->readErrorLine(std::chrono::duration_cast<std::chrono::milliseconds>(
                   deadline - std::chrono::steady_clock::now()))) {
            if (line->find("listening for the remote on TCP port") != std::string::npos) {
                port_ = static_cast<std::uint16_t>(std::stoi(line->substr(line->rfind(' ') + 1)));
                break;
            }
            startupLines_.push_back(*line);
        }
    }

    ~CorvelloInstance()
    {
        process_.reset();
        if (!runtimeDir_.empty())
            std::filesystem::remove_all(runtimeDir_);
    }

    CorvelloInstance(const CorvelloInstance&) = delete;
    CorvelloInstance& operator=(const CorvelloInstance&) = delete;

    ChildProcess& process() { return *process_; }
    // 0 when corvello named no port.
    std::uint16_t port() const { return port_; }
    // What corvello wrote to stderr before it named its port.
    const std::vector<std::string>& startupLines() const { return startupLines_; }

    std::vector<std::string> environment() const
    {
        return {"XDG_RUNTIME_DIR=" + runtimeDir_, "XDG_CONFIG_HOME=" + runtimeDir_ + "/config", "AVAHI_COMPAT_NOWARN=1"};
    }

    std::filesystem::path settingsFile() const
    {
        return std::filesystem::path(runtimeDir_) / "config" / "corvello" / "corvello.conf";
    }

    // A DAW-side client of one of its virtual ports, connected when this returns.
    std::unique_ptr<ChildProcess> dawPort(const std::string& name) const
    {
        auto client = std::make_unique<ChildProcess>(std::vector<std::string>{PIPECLIENT_BIN, name}, environment());
        client->waitForErrorLine("connected to " + name, std::chrono::seconds(5));
        return client;
    }

private:
    std::string runtimeDir_;
    std::unique_ptr<ChildProcess> process_;
    std::uint16_t port_ = 0;
    std::vector<std::string> startupLines_;
};

}  // namespace corvello::test
