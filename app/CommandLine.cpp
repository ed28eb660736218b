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

std::vector<std::string_view> splitCommandLine(std::string_view line)
{
    std::vector<std::string_view> words;
    constexpr std::string_view kBlanks = " \t";
    for (std::size_t start = line.find_first_not_of(kBlanks); start != std::string_view::npos;) {
        const std::size_t end = line.find_first_of(kBlanks, start);
        words.push_back(line.substr(start, end - start));
        start = end == std::string_view::npos ? end : line.find_first_not_of(kBlanks, end);
    }
    return words;
}

}  // namespace corvello
