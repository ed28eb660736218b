#pragma once
// Installing the driver where the multimedia layer looks for MIDI drivers: ten
// named slots ("midi", "midi1" to "midi9"), each holding a bare file name.
// Windows keeps them in the registry key Drivers32 of HKEY_LOCAL_MACHINE;
// Linux has no such list (corvmidi-jack is given the library).

#include <optional>
#include <string>

namespace corvello {

inline constexpr int kDriverSlotCount = 10;
inline constexpr char kDriverFileName[] = "corvmidi.dll";

// "midi" for slot 0, "midi1" to "midi9" for the others.
std::string driverSlotName(int slot);

class DriverSlots {
public:
    virtual ~DriverSlots() = default;
    // The slot's file name, or nothing when the slot is free (missing, not a
    // string, or unreadable).
    virtual std::optional<std::string> read(int slot) = 0;
    // The system's error code; 0 on success.
    virtual long write(int slot, const std::string& fileName) = 0;
    virtual long remove(int slot) = 0;
    // Tells the user that every slot is taken.
    virtual void reportNoFreeSlot() = 0;
};

// Claims a slot for `fileName`: nothing when it holds one already, else the
// first free slot, else the second of two slots holding "wdmaud.drv". False
// when the write failed or no slot could be had (the user is told).
bool registerDriver(DriverSlots& slots, const std::string& fileName);

// Clears every slot holding `fileName`; the first error stops it.
long unregisterDriver(DriverSlots& slots, const std::string& fileName);

}  // namespace corvello
