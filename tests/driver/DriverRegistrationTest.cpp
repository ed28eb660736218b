// Installation among the multimedia layer's MIDI drivers, against Wine's real
// registry: the slot rules on a scratch key of HKEY_LOCAL_MACHINE, and the
// library's own DllRegisterServer and DllUnregisterServer on Drivers32.

#include "driver/RegistryDriverSlots.h"
#include "platform/SharedLibrary.h"

#include <gtest/gtest.h>

#include <map>
#include <windows.h>

namespace corvello {
namespace {

struct Value {
    DWORD type;
    std::string data;
    bool operator==(const Value&) const = default;
};
using Slots = std::map<int, Value>;

Value text(const std::string& data) { return {REG_SZ, data}; }

class ScratchKey {
public:
    static constexpr char kPath[] = "SOFTWARE\\CorvelloTest\\Drivers32";

    ScratchKey() { RegCreateKeyExA(HKEY_LOCAL_MACHINE, kPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr); }
    ~ScratchKey()
    {
        RegCloseKey(key_);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\CorvelloTest");
    }

    void set(const Slots& slots)
    {
        for (const auto& [slot, value] : slots)
            RegSetValueExA(key_, driverSlotName(slot).c_str(), 0, value.type,
                           reinterpret_cast<const BYTE*>(value.data.c_str()),
                           static_cast<DWORD>(value.data.size() + 1));
    }

    Slots get() const { return readSlots(key_); }

    static Slots readSlots(HKEY key)
    {
        Slots slots;
        for (int slot = 0; slot < kDriverSlotCount; ++slot) {
            char data[512] = {};
            DWORD type = 0;
            DWORD size = sizeof data - 1;
            if (RegQueryValueExA(key, driverSlotName(slot).c_str(), nullptr, &type,
                                 reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS)
                slots[slot] = {type, std::string(data)};
        }
        return slots;
    }

private:
    HKEY key_ = nullptr;
};

// The real registry store, but the message box is counted instead of shown:
// nobody is there to close it.
class CountingSlots : public RegistryDriverSlots {
public:
    CountingSlots() : RegistryDriverSlots(ScratchKey::kPath) {}
    void reportNoFreeSlot() override { ++reports; }
    int reports = 0;
};

Slots allTakenWith(std::map<int, std::string> overrides)
{
    Slots slots;
    for (int slot = 0; slot < kDriverSlotCount; ++slot)
        slots[slot] = text(overrides.count(slot) ? overrides[slot] : "other" + std::to_string(slot) + ".drv");
    return slots;
}

TEST(DriverRegistration, ClaimsASlotByTheRules)
{
    const struct {
        const char* what;
        Slots before;
        bool succeeds;
        std::map<int, Value> changed;  // slots that differ afterwards
        int reports;
    } cases[] = {
        {"already in midi3, midi free", {{3, text("corvmidi.dll")}}, true, {}, 0},
        {"midi free", {}, true, {{0, text("corvmidi.dll")}}, 0},
        {"midi2 the first free", {{0, text("a.drv")}, {1, text("b.drv")}, {3, text("c.drv")}}, true,
         {{2, text("corvmidi.dll")}}, 0},
        {"a value of another type is free", {{0, {REG_EXPAND_SZ, "x.drv"}}}, true, {{0, text("corvmidi.dll")}}, 0},
        {"the second of two wdmaud.drv is given up", allTakenWith({{2, "wdmaud.drv"}, {5, "wdmaud.drv"}}), true,
         {{5, text("corvmidi.dll")}}, 0},
        {"one wdmaud.drv is not enough", allTakenWith({{4, "wdmaud.drv"}}), false, {}, 1},
        {"capitals are another name", allTakenWith({{1, "WDMAUD.DRV"}, {2, "WDMAUD.DRV"}}), false, {}, 1},
        {"a differently spelt copy is not ours", allTakenWith({{3, "CORVMIDI.DLL"}}), false, {}, 1},
    };
    for (const auto& c : cases) {
        ScratchKey key;
        key.set(c.before);
        CountingSlots slots;
        EXPECT_EQ(registerDriver(slots, kDriverFileName), c.succeeds) << c.what;
        Slots expected = c.before;
        for (const auto& [slot, value] : c.changed)
            expected[slot] = value;
        EXPECT_EQ(key.get(), expected) << c.what;
        EXPECT_EQ(slots.reports, c.reports) << c.what;
    }
}

TEST(DriverRegistration, RemovalClearsEveryExactCopy)
{
    ScratchKey key;
    key.set({{1, text("corvmidi.dll")}, {4, text("CORVMIDI.DLL")}, {7, text("corvmidi.dll")}, {8, text("x.drv")}});
    CountingSlots slots;
    EXPECT_EQ(unregisterDriver(slots, kDriverFileName), 0);
    EXPECT_EQ(key.get(), (Slots{{4, text("CORVMIDI.DLL")}, {8, text("x.drv")}}));
}

TEST(DriverRegistration, TheLibraryRegistersItselfInDrivers32)
{
    HKEY drivers32 = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, RegistryDriverSlots::kDrivers32, 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &drivers32, nullptr),
              ERROR_SUCCESS);
    const Slots before = ScratchKey::readSlots(drivers32);
    std::string error;
    void* library = openSharedLibrary(CORVMIDI_LIBRARY, error);
    ASSERT_NE(library, nullptr) << error;
    using Export = HRESULT(WINAPI*)();
    const auto registerServer = reinterpret_cast<Export>(sharedLibrarySymbol(library, "DllRegisterServer"));
    const auto unregisterServer = reinterpret_cast<Export>(sharedLibrarySymbol(library, "DllUnregisterServer"));
    ASSERT_TRUE(registerServer && unregisterServer);

    const auto copies = [&] {
        int count = 0;
        for (const auto& [slot, value] : ScratchKey::readSlots(drivers32))
            count += value == text("corvmidi.dll");
        return count;
    };
    EXPECT_EQ(registerServer(), S_OK);
    EXPECT_EQ(registerServer(), S_OK);
    EXPECT_EQ(copies(), 1);
    EXPECT_EQ(unregisterServer(), S_OK);
    EXPECT_EQ(copies(), 0);
    EXPECT_EQ(ScratchKey::readSlots(drivers32), before);
    closeSharedLibrary(library);
    RegCloseKey(drivers32);
}

}  // namespace
}  // namespace corvello
