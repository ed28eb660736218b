#include "app/Settings.h"

#include <algorithm>
#include <array>

#include "link/LinkOptions.h"

namespace corvello {

namespace {

bool setAllow(SettingValues& values, const std::string& value, std::string& error)
{
    const std::optional<AddressRange> range = parseAllowedRange(value, error);
    if (!range)
        return false;
    if (!values.allowed)
        values.allowed.emplace();
    values.allowed->add(*range);
    return true;
}

bool setListen(SettingValues& values, const std::string& value, std::string& error)
{
    values.listenAddress = parseListenAddress(value, error);
    return values.listenAddress.has_value();
}

bool setSwitch(std::optional<bool>& field, const std::string& value, std::string& error)
{
    if (value != "true" && value != "false") {
        error = "not true or false";
        return false;
    }
    field = value == "true";
    return true;
}

constexpr std::array kSettings{
    Setting{"allow", "CIDR",
            "serve remotes from this address range; repeatable (default: loopback, private, link-local)", setAllow},
    Setting{"listen", "ADDRESS", "listen for the remote on this IPv4 address of this computer only", setListen},
    Setting{"no-desktop", "", "ignore the remote's desktop commands (DAW control keeps working)",
            [](SettingValues& values, const std::string& value, std::string& error) {
                return setSwitch(values.noDesktop, value, error);
            }},
    Setting{"verbose", "", "write debug lines to the log",
            [](SettingValues& values, const std::string& value, std::string& error) {
                return setSwitch(values.verbose, value, error);
            }},
};

}  // namespace

std::span<const Setting> settings() { return kSettings; }

const Setting* findSetting(std::string_view name)
{
    const auto found = std::find_if(kSettings.begin(), kSettings.end(), [&](const Setting& s) { return s.name == name; });
    return found == kSettings.end() ? nullptr : &*found;
}

Options resolveOptions(const SettingValues& file, const SettingValues& commandLine)
{
    const auto pick = [](const auto& winner, const auto& base) { return winner ? winner : base; };
    Options options;
    if (const auto allowed = pick(commandLine.allowed, file.allowed))
        options.link.allowed = *allowed;
    if (const auto address = pick(commandLine.listenAddress, file.listenAddress))
        options.link.listenAddress = *address;
    options.noDesktop = pick(commandLine.noDesktop, file.noDesktop).value_or(false);
    options.verbose = pick(commandLine.verbose, file.verbose).value_or(false);
    return options;
}

}  // namespace corvello
