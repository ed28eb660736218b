#include "app/SettingsFile.h"

#include <windows.h>
#include <shlobj.h>

namespace corvello {

// The roaming profile's application data: the user's settings follow them
// from machine to machine, as the per-user registry does.
std::filesystem::path settingsFilePath()
{
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder)))
        return {};
    return std::filesystem::path(folder) / L"Corvello" / L"corvello.conf";
}

// The profile's folders admit only their user, SYSTEM and the administrators,
// who could change the program itself; the file inherits that.
FileTrust trustOf(const std::filesystem::path&) { return {}; }

}  // namespace corvello
