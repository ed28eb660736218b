// The settings file on disk, and who besides its user could have written it.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/SettingsFile.h"

namespace corvello {
namespace {

// Missing is no settings; a file or folder that another
// user could write is refused; one its group may write is taken with a warning.
TEST(SettingsFile, AFileOthersCouldHaveWrittenIsRefused)
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("corvello-settings-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    chmod(folder.c_str(), 0700);
    const std::filesystem::path file = folder / "corvello.conf";
    std::string problem;
    std::vector<std::string> warnings;
    EXPECT_TRUE(readSettingsFile(file, problem, warnings)) << "a missing file is fine";

    std::ofstream(file) << "verbose = true\n";
    struct Case {
        mode_t file, folder;
        bool accepted;
        std::string message;
    };
    const Case cases[] = {
        {0600, 0700, true, ""},
        {0620, 0700, true, "writable by its group"},
        {0602, 0700, false, "not read: it is writable by every user"},
        {0600, 0707, false, "is writable by every user"},
        {0600, 01777, true, ""},
    };
    for (const Case& c : cases) {
        chmod(file.c_str(), c.file);
        chmod(folder.c_str(), c.folder);
        problem.clear();
        warnings.clear();
        const auto values = readSettingsFile(file, problem, warnings);
        SCOPED_TRACE(std::to_string(c.file) + " " + std::to_string(c.folder));
        EXPECT_EQ(values.has_value(), c.accepted) << problem;
        const std::string said = c.accepted ? (warnings.empty() ? "" : warnings.front()) : problem;
        EXPECT_EQ(said.find(c.message) != std::string::npos, true) << said;
        EXPECT_EQ(said.empty(), c.message.empty()) << said;
    }
    chmod(folder.c_str(), 0700);
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace corvello
