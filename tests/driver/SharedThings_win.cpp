#include "tests/driver/DriverHarness.h"

#include "virtmidi/virtmidiprotocol.h"

#include <windows.h>

namespace corvello::test {

// The mutex and the port-list key are per session: tests run one at a time,
// and each ends with no server, so the next finds the same state.
void isolateSharedThings() {}

void removePublishedPortList() { RegDeleteKeyA(HKEY_CURRENT_USER, virtMidiKeyPath); }

void publishPortListOfTheWrongType()
{
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, virtMidiKeyPath, 0, nullptr, REG_OPTION_VOLATILE,
                    KEY_ALL_ACCESS, nullptr, &key, nullptr);
    static const char names[] = "Swivo 1\0Swivo 2\0Tamberlin\0";
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(names), sizeof names);
    RegCloseKey(key);
}

bool makePortUnreachable(const char*) { return false; }

void setEnvironment(const char* name, const char* value) { SetEnvironmentVariableA(name, value); }

const char* traceLogDirectoryVariable() { return "LOCALAPPDATA"; }

std::string traceLogFileUnder(const std::string& directory)
{
    return directory + "\\Corvello\\corvmidi.log";
}

std::string makeTemporaryDirectory()
{
    char base[MAX_PATH];
    char name[MAX_PATH];
    if (GetTempPathA(sizeof base, base) == 0 || GetTempFileNameA(base, "cvt", 0, name) == 0)
        return {};
    DeleteFileA(name);
    return CreateDirectoryA(name, nullptr) ? std::string(name) : std::string();
}

}  // namespace corvello::test
