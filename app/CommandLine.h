#pragma once
// The command line both entry points accept: every setting as "--NAME VALUE"
// or "--NAME=VALUE", a switch as "--NAME" (or "--NAME=true|false", which can
// undo the settings file's), and --help and --version. The Windows program is
// started by the shell or a shortcut, the Linux daemon by a shell or a
// service manager; both take the same words.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/Settings.h"

namespace corvello {

struct CommandLine {
    enum class Request { Run, Help, Version };
    Request request = Request::Run;
    SettingValues values;
};

// The arguments after the program's name. Nothing when one is not understood
// or has a bad value; `problem` then names it. --help and --version end the
// reading, so what follows them is not judged.
std::optional<CommandLine> parseCommandLine(const std::vector<std::string_view>& arguments, std::string& problem);

// One line: every option in brief.
std::string usageLine();

// What --help prints: the usage line, each option with its help, and where
// the settings file is.
std::string helpText(const std::string& settingsFile);

// What --version prints: the product version, such as "0.3.1.0".
std::string versionText();

}  // namespace corvello
