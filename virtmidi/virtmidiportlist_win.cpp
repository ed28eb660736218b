#include "virtmidi/virtmidiportlist.h"

#include <windows.h>

#include "virtmidi/virtmidiprotocol.h"
#include "virtmidi/virtmidisecurity_win.h"

namespace corvello {

// The results are not examined: a registry failure must not keep the ports
// from being served.
bool virtMidiPublishPortList(const std::string& encodedList)
{
    RegDeleteKeyA(HKEY_CURRENT_USER, virtMidiKeyPath);
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, virtMidiKeyPath, 0, nullptr, REG_OPTION_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return true;
    // Set after creation rather than passed to it: Wine ignores the
    // attributes of RegCreateKeyEx. The list is written only once it is set.
    if (const SECURITY_ATTRIBUTES* attributes = virtMidiSecurityAttributes())
        RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                   LABEL_SECURITY_INFORMATION,
                          attributes->lpSecurityDescriptor);
    RegSetValueExA(key, nullptr, 0, REG_MULTI_SZ,
                   reinterpret_cast<const BYTE*>(encodedList.data()),
                   static_cast<DWORD>(encodedList.size()));
    RegCloseKey(key);
    return true;
}

std::vector<std::string> virtMidiReadPortList()
{
    DWORD type = 0;
    DWORD size = 0;
    if (RegGetValueA(HKEY_CURRENT_USER, virtMidiKeyPath, nullptr, RRF_RT_REG_MULTI_SZ, &type,
                     nullptr, &size) != ERROR_SUCCESS)
        return {};
    std::string bytes(size, '\0');
    if (RegGetValueA(HKEY_CURRENT_USER, virtMidiKeyPath, nullptr, RRF_RT_REG_MULTI_SZ, &type,
                     bytes.data(), &size) != ERROR_SUCCESS)
        return {};
    return virtMidiDecodePortList(bytes.data(), size);
}

}  // namespace corvello
