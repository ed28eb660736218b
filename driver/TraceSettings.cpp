#include "driver/TraceSettings.h"

namespace corvello {

bool traceEnabledBy(const std::optional<std::string>& environmentValue, bool userSetting)
{
    if (environmentValue && !environmentValue->empty())
        return *environmentValue != "0";
    return userSetting;
}

std::string posixTraceLogDirectory(const char* xdgStateHome, const char* home)
{
    if (xdgStateHome != nullptr && xdgStateHome[0] == '/')
        return std::string(xdgStateHome) + "/corvello";
    if (home != nullptr && home[0] == '/')
        return std::string(home) + "/.local/state/corvello";
    return {};
}

}  // namespace corvello
