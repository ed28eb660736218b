#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "tests/virtmidi/ServerFixture.h"

namespace corvello::test {

namespace {
// Removed when the test process ends.
struct TemporaryRuntimeDir {
    std::string path;
    ~TemporaryRuntimeDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};
}  // namespace

void isolateSharedThings()
{
    static TemporaryRuntimeDir runtimeDir{[] {
        char dir[] = "/tmp/corvello-virtmidi-test-XXXXXX";
        return std::string(mkdtemp(dir) ? dir : "");
    }()};
    ASSERT_FALSE(runtimeDir.path.empty());
    setenv("XDG_RUNTIME_DIR", runtimeDir.path.c_str(), 1);
}

}  // namespace corvello::test
