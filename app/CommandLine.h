#pragma once
// The options both entry points accept. The Windows program is started by the
// shell or a shortcut, the Linux daemon by a shell or a service manager; both
// take the same words.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvello {

struct Options {
    bool verbose = false;    // debug lines in the log
    bool noDesktop = false;  // the remote may not drive this computer's desktop
};

inline constexpr std::string_view kUsage = "usage: corvello [--verbose] [--no-desktop]";

// Nothing when an argument is not understood; `problem` then names it.
std::optional<Options> parseCommandLine(const std::vector<std::string_view>& arguments, std::string& problem);

}  // namespace corvello
