#pragma once
// The per-user settings file: one "name = value" a line, with the command
// line's names and values ("allow = 192.168.1.0/24", "no-desktop = true").
// "#" starts a comment, to the end of the line; blank lines are ignored.
// "allow" may repeat and its ranges add up; any other setting given twice
// takes the later line.
//
// Where it is (one implementation per platform, SettingsFile_posix.cpp and
// SettingsFile_win.cpp): $XDG_CONFIG_HOME/corvello/corvello.conf, or
// ~/.config/corvello/corvello.conf when that is unset or not absolute;
// %APPDATA%\Corvello\corvello.conf on Windows.
//
// Whoever can write the file decides whom the link serves, so a file another
// user could have written is refused, and one its group may write is taken
// with a warning (see trustOf).

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/Settings.h"

namespace corvello {

std::filesystem::path settingsFilePath();

// Nothing when a line is malformed; `problem` then says "FILE:LINE: what".
std::optional<SettingValues> parseSettings(std::string_view text, const std::string& fileName, std::string& problem);

struct FileTrust {
    bool refused = false;
    std::string doubt;  // why the file is refused, or a warning worth logging; empty when neither
};

// Who besides this user could have written the file (or replaced it in its folder).
FileTrust trustOf(const std::filesystem::path& file);

// A missing file gives no values. Nothing, with `problem` saying why, when
// the file cannot be read, is refused by trustOf or has a malformed line;
// `warnings` gets what is doubtful but accepted.
std::optional<SettingValues> readSettingsFile(const std::filesystem::path& file, std::string& problem,
                                              std::vector<std::string>& warnings);

// What the program runs with: the file's settings with the command line's
// laid over them, and the file's doubts logged as warnings. Nothing, with
// `problem` saying why, when the file is not taken.
std::optional<Options> readOptions(const std::filesystem::path& file, const SettingValues& commandLine,
                                   std::string& problem);

}  // namespace corvello
