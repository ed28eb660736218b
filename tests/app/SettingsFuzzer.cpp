// libFuzzer target for the settings file's reader. The file is the user's own
// (one that others could write is refused before it is read), but a group may
// write it, so its reader is held to the rule for outside input: any text is
// either taken or refused with a problem that names the file and a line of
// it, and text that was taken is still taken with a comment line added.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/SettingsFile.h"
#include "tests/support/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string problem;
    const auto values = corvello::parseSettings(text, "fuzz.conf", problem);
    FUZZ_CHECK(values.has_value() == problem.empty());
    if (!values) {
        FUZZ_CHECK(problem.rfind("fuzz.conf:", 0) == 0);
        const long line = std::strtol(problem.c_str() + 10, nullptr, 10);
        const long lines = 1 + static_cast<long>(std::count(text.begin(), text.end(), '\n'));
        FUZZ_CHECK(line >= 1 && line <= lines);
        return 0;
    }
    std::string again;
    FUZZ_CHECK(corvello::parseSettings(text + "\n# the end", "fuzz.conf", again).has_value());
    return 0;
}
