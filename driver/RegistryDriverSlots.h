#pragma once
// The driver slots in the registry: REG_SZ values under a key of HKEY_LOCAL_MACHINE.

#include "driver/DriverInstaller.h"

namespace corvello {

class RegistryDriverSlots : public DriverSlots {
public:
    static constexpr char kDrivers32[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";

    explicit RegistryDriverSlots(std::string keyPath = kDrivers32) : keyPath_(std::move(keyPath)) {}

    std::optional<std::string> read(int slot) override;
    long write(int slot, const std::string& fileName) override;
    long remove(int slot) override;
    // A message box with the error icon.
    void reportNoFreeSlot() override;

private:
    std::string keyPath_;
};

}  // namespace corvello
