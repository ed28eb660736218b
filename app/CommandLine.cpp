#include "app/CommandLine.h"

namespace corvello {

std::optional<Options> parseCommandLine(const std::vector<std::string_view>& arguments, std::string& problem)
{
    Options options;
    for (std::string_view argument : arguments) {
        if (argument == "--verbose") {
            options.verbose = true;
        } else if (argument == "--no-desktop") {
            options.noDesktop = true;
        } else {
            problem = "unknown argument: " + std::string(argument);
            return std::nullopt;
        }
    }
    return options;
}

}  // namespace corvello
