// corvmidi-setup register | unregister: what the setup program runs to claim
// or clear the driver's slot in both lists of MIDI drivers, the one 64-bit
// programs read and the one 32-bit programs read. The slot rules are the
// driver's own (DllRegisterServer's), but nothing here waits for a person: a
// silent install reads the exit code instead of a message box.
//
// Exit codes: 0 done; 1 bad usage; 2 every slot of a list is taken; 3 the
// registry refused a change. A failed registration undoes what it claimed, so
// a failed install leaves both lists as they were.

#include "driver/RegistryDriverSlots.h"
#include "platform/Log.h"

#include <cstdio>
#include <cstring>
#include <string_view>

using namespace corvello;

namespace {

enum ExitCode { kDone = 0, kUsage = 1, kNoFreeSlot = 2, kRegistryError = 3 };

class SilentSlots : public RegistryDriverSlots {
public:
    SilentSlots(RegistryView view, const char* viewName)
        : RegistryDriverSlots(kDrivers32, view), viewName_(viewName)
    {
    }
    void reportNoFreeSlot() override
    {
        noFreeSlot = true;
        log::error("corvmidi-setup: every MIDI driver slot for %s programs is taken", viewName_);
    }
    bool holds(const std::string& fileName)
    {
        for (int slot = 0; slot < kDriverSlotCount; ++slot)
            if (read(slot) == fileName)
                return true;
        return false;
    }
    const char* viewName() const { return viewName_; }
    bool noFreeSlot = false;

private:
    const char* viewName_;
};

void printToStderr(log::Level, std::string_view line)
{
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
}

int registerBoth(SilentSlots& bits64, SilentSlots& bits32)
{
    const bool held64 = bits64.holds(kDriverFileName);
    if (!registerDriver(bits64, kDriverFileName))
        return bits64.noFreeSlot ? kNoFreeSlot : kRegistryError;
    if (registerDriver(bits32, kDriverFileName))
        return kDone;
    if (!held64)
        unregisterDriver(bits64, kDriverFileName);
    return bits32.noFreeSlot ? kNoFreeSlot : kRegistryError;
}

int unregisterBoth(SilentSlots& bits64, SilentSlots& bits32)
{
    int result = kDone;
    for (SilentSlots* slots : {&bits64, &bits32})
        if (const long error = unregisterDriver(*slots, kDriverFileName)) {
            log::error("corvmidi-setup: cannot clear the driver's slot for %s programs (error %ld)",
                       slots->viewName(), error);
            result = kRegistryError;
        }
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    log::setSink(printToStderr);
    SilentSlots bits64(RegistryView::Bits64, "64-bit");
    SilentSlots bits32(RegistryView::Bits32, "32-bit");
    if (argc == 2 && std::strcmp(argv[1], "register") == 0)
        return registerBoth(bits64, bits32);
    if (argc == 2 && std::strcmp(argv[1], "unregister") == 0)
        return unregisterBoth(bits64, bits32);
    std::fputs("usage: corvmidi-setup register|unregister\n", stderr);
    return kUsage;
}
