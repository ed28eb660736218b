#include "app/SettingsFile.h"

#include <fstream>
#include <iterator>

#include "platform/Log.h"

namespace corvello {

namespace {

constexpr std::string_view kBlank = " \t\r";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";  // an editor may start the file with one

std::string_view trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(kBlank);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kBlank) - first + 1);
}

// False, with `problem` saying what, when the line is not "name = value".
bool readLine(std::string_view line, SettingValues& values, std::string& problem)
{
    line = trimmed(line.substr(0, line.find('#')));
    if (line.empty())
        return true;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        problem = "\"" + std::string(line) + "\" is not \"name = value\"";
        return false;
    }
    const std::string_view name = trimmed(line.substr(0, equals));
    const std::string value(trimmed(line.substr(equals + 1)));
    const Setting* setting = findSetting(name);
    if (!setting) {
        problem = "unknown setting \"" + std::string(name) + "\"";
        return false;
    }
    std::string error;
    if (!setting->set(values, value, error)) {
        problem = std::string(name) + " = " + value + ": " + error;
        return false;
    }
    return true;
}

}  // namespace

std::optional<SettingValues> parseSettings(std::string_view text, const std::string& fileName, std::string& problem)
{
    if (text.starts_with(kByteOrderMark))
        text.remove_prefix(kByteOrderMark.size());
    SettingValues values;
    for (int number = 1; !text.empty(); ++number) {
        const std::size_t end = text.find('\n');
        std::string lineProblem;
        if (!readLine(text.substr(0, end), values, lineProblem)) {
            problem = fileName + ":" + std::to_string(number) + ": " + lineProblem;
            return std::nullopt;
        }
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return values;
}

std::optional<SettingValues> readSettingsFile(const std::filesystem::path& file, std::string& problem,
                                              std::vector<std::string>& warnings)
{
    std::error_code error;
    const auto status = std::filesystem::status(file, error);
    if (status.type() == std::filesystem::file_type::not_found)
        return SettingValues{};
    const std::string name = file.string();
    if (status.type() != std::filesystem::file_type::regular) {
        problem = name + ": not a file";
        return std::nullopt;
    }
    const FileTrust trust = trustOf(file);
    if (trust.refused) {
        problem = name + ": not read: " + trust.doubt;
        return std::nullopt;
    }
    if (!trust.doubt.empty())
        warnings.push_back(name + ": " + trust.doubt);
    std::ifstream stream(file, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
    if (!stream.is_open() || stream.bad()) {
        problem = name + ": cannot be read";
        return std::nullopt;
    }
    return parseSettings(text, name, problem);
}

std::optional<Options> readOptions(const std::filesystem::path& file, const SettingValues& commandLine,
                                   std::string& problem)
{
    std::vector<std::string> warnings;
    const std::optional<SettingValues> fileValues = readSettingsFile(file, problem, warnings);
    for (const std::string& warning : warnings)
        log::warning("%s", warning.c_str());
    if (!fileValues)
        return std::nullopt;
    return resolveOptions(*fileValues, commandLine);
}

}  // namespace corvello
