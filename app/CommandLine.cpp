#include "app/CommandLine.h"

#include <algorithm>

#include "platform/ProductVersion.h"

namespace corvello {

namespace {

struct Word {
    std::string_view name;   // without the leading "--"
    std::optional<std::string> value;  // after "="
};

std::optional<Word> splitOption(std::string_view argument)
{
    if (!argument.starts_with("--"))
        return std::nullopt;
    argument.remove_prefix(2);
    const std::size_t equals = argument.find('=');
    if (equals == std::string_view::npos)
        return Word{argument, std::nullopt};
    return Word{argument.substr(0, equals), std::string(argument.substr(equals + 1))};
}

std::string optionText(const Setting& setting)
{
    return "--" + std::string(setting.name) + (setting.valueName.empty() ? "" : " " + std::string(setting.valueName));
}

}  // namespace

std::optional<CommandLine> parseCommandLine(const std::vector<std::string_view>& arguments, std::string& problem)
{
    CommandLine commandLine;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            commandLine.request = CommandLine::Request::Help;
            return commandLine;
        }
        if (argument == "--version") {
            commandLine.request = CommandLine::Request::Version;
            return commandLine;
        }
        const std::optional<Word> word = splitOption(argument);
        const Setting* setting = word ? findSetting(word->name) : nullptr;
        if (!setting) {
            problem = "unknown argument: " + std::string(argument);
            return std::nullopt;
        }
        const std::string option = "--" + std::string(setting->name);
        std::string value;
        if (word->value) {
            value = *word->value;
        } else if (setting->valueName.empty()) {
            value = "true";
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            problem = option + " needs a value";
            return std::nullopt;
        }
        std::string error;
        if (!setting->set(commandLine.values, value, error)) {
            problem = option + " " + value + ": " + error;
            return std::nullopt;
        }
    }
    return commandLine;
}

std::string usageLine()
{
    std::string line = "usage: corvello";
    for (const Setting& setting : settings())
        line += " [" + optionText(setting) + "]";
    return line + " [--help] [--version]";
}

std::string helpText(const std::string& settingsFile)
{
    struct Row {
        std::string option;
        std::string_view help;
    };
    std::vector<Row> rows;
    for (const Setting& setting : settings())
        rows.push_back({optionText(setting), setting.help});
    rows.push_back({"--help", "print this help and exit"});
    rows.push_back({"--version", "print the version and exit"});
    std::size_t width = 0;
    for (const Row& row : rows)
        width = std::max(width, row.option.size());

    std::string text = usageLine() + "\n\n";
    for (const Row& row : rows)
        text += "  " + row.option + std::string(width + 2 - row.option.size(), ' ') + std::string(row.help) + "\n";
    text += "\nThe same settings, one \"name = value\" a line (a switch takes true or false),\n"
            "are read first from " +
            settingsFile +
            ".\nThe command line wins; its --allow ranges replace the file's.\n";
    return text;
}

std::string versionText()
{
    const std::optional<ProductVersion> version = readProductVersion();
    if (!version)
        return "(version unknown)";
    return std::to_string(version->major) + "." + std::to_string(version->minor) + "." +
           std::to_string(version->build) + "." + std::to_string(version->revision);
}

}  // namespace corvello
