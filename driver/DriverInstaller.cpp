#include "driver/DriverInstaller.h"

namespace corvello {

namespace {

constexpr char kSystemWaveDriver[] = "wdmaud.drv";

// Names compare byte for byte, letter case included.
bool slotHolds(DriverSlots& slots, int slot, const std::string& fileName)
{
    const std::optional<std::string> held = slots.read(slot);
    return held && *held == fileName;
}

}  // namespace

std::string driverSlotName(int slot) { return slot == 0 ? "midi" : "midi" + std::to_string(slot); }

bool registerDriver(DriverSlots& slots, const std::string& fileName)
{
    for (int slot = 0; slot < kDriverSlotCount; ++slot)
        if (slotHolds(slots, slot, fileName))
            return true;
    for (int slot = 0; slot < kDriverSlotCount; ++slot)
        if (!slots.read(slot))
            return slots.write(slot, fileName) == 0;
    // Every slot taken: a second entry of the system's driver is a duplicate
    // that can be given up.
    bool firstSeen = false;
    for (int slot = 0; slot < kDriverSlotCount; ++slot) {
        if (!slotHolds(slots, slot, kSystemWaveDriver))
            continue;
        if (firstSeen)
            return slots.write(slot, fileName) == 0;
        firstSeen = true;
    }
    slots.reportNoFreeSlot();
    return false;
}

long unregisterDriver(DriverSlots& slots, const std::string& fileName)
{
    for (int slot = 0; slot < kDriverSlotCount; ++slot)
        if (slotHolds(slots, slot, fileName))
            if (const long error = slots.remove(slot))
                return error;
    return 0;
}

}  // namespace corvello
