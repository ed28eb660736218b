#include "tests/driver/DriverHarness.h"

#include "virtmidi/virtmidipaths.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace corvello::test {

namespace {

std::string& privateRuntimeDir()
{
    static std::string dir;
    return dir;
}

void removePrivateRuntimeDir() { std::filesystem::remove_all(privateRuntimeDir()); }

}  // namespace

// One directory per test process, removed when it ends.
void isolateSharedThings()
{
    if (!privateRuntimeDir().empty())
        return;
    std::string dir = "/tmp/corvmidi-test-XXXXXX";
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    privateRuntimeDir() = dir;
    std::atexit(removePrivateRuntimeDir);
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
}

void removePublishedPortList()
{
    std::filesystem::remove_all(virtMidiPortsPath(*virtMidiRuntimeDir()));
}

void publishPortListOfTheWrongType()
{
    removePublishedPortList();
    std::filesystem::create_directories(virtMidiPortsPath(*virtMidiRuntimeDir()));
}

}  // namespace corvello::test
