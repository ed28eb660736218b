#include "tests/driver/DriverHarness.h"

#include "virtmidi/virtmidipaths.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace corvello::test {

namespace {

std::vector<std::string>& privateRuntimeDirs()
{
    static std::vector<std::string> dirs;
    return dirs;
}

void removePrivateRuntimeDirs()
{
    for (const std::string& dir : privateRuntimeDirs())
        std::filesystem::remove_all(dir);
}

}  // namespace

// A fresh directory for each test, all removed when the process ends.
void isolateSharedThings()
{
    std::string dir = "/tmp/corvmidi-test-XXXXXX";
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    if (privateRuntimeDirs().empty())
        std::atexit(removePrivateRuntimeDirs);
    privateRuntimeDirs().push_back(dir);
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

void setEnvironment(const char* name, const char* value)
{
    if (value != nullptr)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

const char* traceLogDirectoryVariable() { return "XDG_STATE_HOME"; }

std::string traceLogFileUnder(const std::string& directory)
{
    return directory + "/corvello/corvmidi.log";
}

std::string makeTemporaryDirectory()
{
    std::string dir = "/tmp/corvmidi-trace-XXXXXX";
    return mkdtemp(dir.data()) != nullptr ? dir : std::string();
}

bool makePortUnreachable(const char* portName)
{
    return std::filesystem::remove(virtMidiSharedDir(*virtMidiRuntimeDir()) + "/" + portName);
}

}  // namespace corvello::test
