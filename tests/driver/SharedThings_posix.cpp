#include "tests/driver/DriverHarness.h"

#include "virtmidi/virtmidipaths.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace corvello::test {

void isolateSharedThings()
{
    std::string dir = "/tmp/corvmidi-test-XXXXXX";
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
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
