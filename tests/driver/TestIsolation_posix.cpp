#include "tests/driver/DriverHarness.h"

#include <cstdlib>
#include <string>

namespace corvello::test {

void isolateSharedThings()
{
    std::string dir = "/tmp/corvmidi-test-XXXXXX";
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
}

}  // namespace corvello::test
