#include "driver/RegistryDriverSlots.h"

#include <windows.h>

namespace corvello {

namespace {

REGSAM viewFlag(RegistryView view)
{
    switch (view) {
    case RegistryView::Bits64:
        return KEY_WOW64_64KEY;
    case RegistryView::Bits32:
        return KEY_WOW64_32KEY;
    case RegistryView::Own:
        break;
    }
    return 0;
}

class OpenKey {
public:
    OpenKey(const std::string& path, RegistryView view, REGSAM access)
        : error_(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, access | viewFlag(view), &key_))
    {
    }
    ~OpenKey()
    {
        if (error_ == ERROR_SUCCESS)
            RegCloseKey(key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;

    long error() const { return error_; }
    HKEY key() const { return key_; }

private:
    HKEY key_ = nullptr;
    long error_;
};

}  // namespace

std::optional<std::string> RegistryDriverSlots::read(int slot)
{
    const OpenKey key(keyPath_, view_, KEY_READ);
    if (key.error() != ERROR_SUCCESS)
        return std::nullopt;
    const std::string name = driverSlotName(slot);
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key.key(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    std::string data(size, '\0');
    if (RegQueryValueExA(key.key(), name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    data.resize(size);
    while (!data.empty() && data.back() == '\0')
        data.pop_back();
    return data;
}

long RegistryDriverSlots::write(int slot, const std::string& fileName)
{
    const OpenKey key(keyPath_, view_, KEY_WRITE);
    if (key.error() != ERROR_SUCCESS)
        return key.error();
    return RegSetValueExA(key.key(), driverSlotName(slot).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(fileName.c_str()),
                          static_cast<DWORD>(fileName.size() + 1));
}

long RegistryDriverSlots::remove(int slot)
{
    const OpenKey key(keyPath_, view_, KEY_WRITE);
    if (key.error() != ERROR_SUCCESS)
        return key.error();
    return RegDeleteValueA(key.key(), driverSlotName(slot).c_str());
}

void RegistryDriverSlots::reportNoFreeSlot()
{
    MessageBoxA(nullptr,
                "The MIDI driver could not be installed because there are no free spaces for "
                "MIDI drivers in the registry key HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\"
                "Windows NT\\CurrentVersion\\Drivers32",
                "Virtual MIDI Driver Installation", MB_OK | MB_ICONERROR);
}

}  // namespace corvello
