#pragma once
// The driver slots in the registry: REG_SZ values under a key of HKEY_LOCAL_MACHINE.
// 64-bit Windows keeps two such lists, one per bitness of the programs that
// load drivers; a view names the one to use.

#include "driver/DriverInstaller.h"

namespace corvello {

enum class RegistryView {
    Own,     // the one of this process's bitness
    Bits64,  // what 64-bit programs read
    Bits32,  // what 32-bit programs read (WOW6432Node on 64-bit Windows)
};

class RegistryDriverSlots : public DriverSlots {
public:
    static constexpr char kDrivers32[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";

    explicit RegistryDriverSlots(std::string keyPath = kDrivers32, RegistryView view = RegistryView::Own)
        : keyPath_(std::move(keyPath)), view_(view)
    {
    }

    std::optional<std::string> read(int slot) override;
    long write(int slot, const std::string& fileName) override;
    long remove(int slot) override;
    // A message box with the error icon.
    void reportNoFreeSlot() override;

private:
    std::string keyPath_;
    RegistryView view_;
};

}  // namespace corvello
