#pragma once
// The settings Corvello runs with. The per-user settings file and the command
// line take the same ones under the same names ("allow", "listen",
// "no-desktop", "verbose"); each source fills a SettingValues of its own, and
// the command line's values replace the file's where it gives them. "allow"
// repeats within a source, its ranges adding up, and the command line's list
// replaces the file's as a whole.

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "link/RemoteLink.h"

namespace corvello {

// What one source gave; a field is empty when the source did not mention it.
struct SettingValues {
    std::optional<AddressRanges> allowed;
    std::optional<std::uint32_t> listenAddress;  // IPv4, network byte order
    std::optional<bool> noDesktop;
    std::optional<bool> verbose;
};

// What the program runs with.
struct Options {
    LinkSettings link;
    bool noDesktop = false;  // the remote may not drive this computer's desktop
    bool verbose = false;    // debug lines in the log
};

struct Setting {
    std::string_view name;
    std::string_view valueName;  // empty for a switch, whose value is "true" or "false"
    std::string_view help;
    // False, with `error` saying what is wrong with the value, when it is not
    // one the setting takes.
    bool (*set)(SettingValues& values, const std::string& value, std::string& error);
};

// Every setting, in the order --help lists them.
std::span<const Setting> settings();
const Setting* findSetting(std::string_view name);

// The file's values with the command line's laid over them.
Options resolveOptions(const SettingValues& file, const SettingValues& commandLine);

}  // namespace corvello
