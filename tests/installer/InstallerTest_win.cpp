// The setup program as a user runs it, in a fresh Wine prefix (made by
// run-in-fresh-prefix.sh): a silent install refused when every driver slot is
// taken, a silent install, the installed driver opened by its bare name with
// the installed Corvello running, then a silent uninstall. The tests run in
// order and share the prefix. Other drivers' slots are planted in both lists
// first and must come through untouched.
//
// Wine's winmm loads only the audio driver its device enumerator names, never
// one from Drivers32, so the driver is loaded as winmm loads it (the driver
// loader the driver's tests use: DllMain, DriverProc's load sequence, the
// device messages), and its notifications go through winmm's DriverCallback.

#include <windows.h>
#include <mmsystem.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "driver/loader/DriverLibrary.h"
#include "tests/support/StartedProcess_win.h"

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr char kDrivers32[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Corvello";
constexpr char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kInstallDir[] = "C:\\Program Files\\Corvello";

using Values = std::map<std::string, std::string>;  // value name -> string data

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::optional<std::string> readString(HKEY root, const char* path, const char* name)
{
    char data[1024] = {};
    DWORD size = sizeof data - 1;
    if (RegGetValueA(root, path, name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::string(data);
}

bool keyExists(HKEY root, const char* path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void writeString(HKEY root, const char* path, const char* name, const std::string& data, REGSAM view)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_WRITE | view, nullptr, &key, nullptr), ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>(data.size() + 1));
    RegCloseKey(key);
}

// Every string value of Drivers32 in one view: the slots and whatever else is there.
Values drivers32(REGSAM view)
{
    Values values;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDrivers32, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return values;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameSize = sizeof name;
        BYTE data[512] = {};
        DWORD dataSize = sizeof data - 1;
        DWORD type = 0;
        if (RegEnumValueA(key, index, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS)
            break;
        if (type == REG_SZ)
            values[name] = reinterpret_cast<const char*>(data);
    }
    RegCloseKey(key);
    return values;
}

Values withoutOurs(Values values)
{
    std::erase_if(values, [](const auto& value) { return value.second == "corvmidi.dll"; });
    return values;
}

int countOurs(const Values& values)
{
    int count = 0;
    for (const auto& [name, data] : values)
        count += data == "corvmidi.dll" && name.rfind("midi", 0) == 0;
    return count;
}

bool fileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string systemFolder(const char* name)
{
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    return std::string(windows) + "\\" + name;
}

std::string commonProgramsFolder()
{
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, 0, path);
    return path;
}

// The machine field of a PE file's header.
std::optional<WORD> peMachine(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    IMAGE_DOS_HEADER dos{};
    if (!file.read(reinterpret_cast<char*>(&dos), sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE)
        return std::nullopt;
    DWORD signature = 0;
    IMAGE_FILE_HEADER header{};
    file.seekg(dos.e_lfanew);
    if (!file.read(reinterpret_cast<char*>(&signature), sizeof signature) || signature != IMAGE_NT_SIGNATURE ||
        !file.read(reinterpret_cast<char*>(&header), sizeof header))
        return std::nullopt;
    return header.Machine;
}

std::string netshCalls()
{
    std::ifstream file(environment("CORVELLO_NETSH_LOG"));
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

using Process = corvello::test::StartedProcess;

template <typename Probe>
bool poll(Probe probe, DWORD timeoutMs)
{
    for (DWORD waited = 0; !probe(); waited += 100) {
        if (waited >= timeoutMs)
            return false;
        Sleep(100);
    }
    return true;
}

// The application's callback; winmm's DriverCallback calls it on the driver's behalf.
struct OpenNotifications {
    static void CALLBACK callback(HDRVR, UINT message, DWORD_PTR instance, DWORD_PTR, DWORD_PTR)
    {
        reinterpret_cast<OpenNotifications*>(instance)->messages.push_back(message);
    }
    std::vector<UINT> messages;
};

// Planted before the install: one driver in each view that must outlive both steps.
struct Before {
    Values bits64;
    Values bits32;
};
Before before;
std::unique_ptr<Process> installedCorvello;

class InstallerTest : public ::testing::Test {};

// Every slot for 32-bit programs taken: the 64-bit slot the helper had
// already claimed is given back and nothing is installed.
TEST_F(InstallerTest, SilentInstallWithEverySlotTakenFailsAndChangesNothing)
{
    const Values bits64 = drivers32(KEY_WOW64_64KEY);
    const Values bits32 = drivers32(KEY_WOW64_32KEY);
    for (int slot = 0; slot < 10; ++slot)
        writeString(HKEY_LOCAL_MACHINE, kDrivers32, slot ? ("midi" + std::to_string(slot)).c_str() : "midi",
                    "full" + std::to_string(slot) + ".dll", KEY_WOW64_32KEY);
    const Values full32 = drivers32(KEY_WOW64_32KEY);

    Process setup("\"" + environment("CORVELLO_INSTALLER") + "\" /S");
    ASSERT_TRUE(setup.started) << GetLastError();
    EXPECT_EQ(setup.waitForExit(120000), 4u);
    EXPECT_FALSE(fileExists(kInstallDir));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_EQ(drivers32(KEY_WOW64_64KEY), bits64);
    EXPECT_EQ(drivers32(KEY_WOW64_32KEY), full32);

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDrivers32, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, &key), ERROR_SUCCESS);
    for (const auto& [name, data] : full32)
        if (!bits32.count(name))
            RegDeleteValueA(key, name.c_str());
    for (const auto& [name, data] : bits32)
        RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>(data.size() + 1));
    RegCloseKey(key);
    ASSERT_EQ(drivers32(KEY_WOW64_32KEY), bits32);
}

TEST_F(InstallerTest, SilentInstallPutsEveryPieceInPlace)
{
    writeString(HKEY_LOCAL_MACHINE, kDrivers32, "midi", "othermidi.dll", KEY_WOW64_64KEY);
    writeString(HKEY_LOCAL_MACHINE, kDrivers32, "midi", "other32.dll", KEY_WOW64_32KEY);
    writeString(HKEY_LOCAL_MACHINE, kDrivers32, "midi2", "third32.dll", KEY_WOW64_32KEY);
    before = {drivers32(KEY_WOW64_64KEY), drivers32(KEY_WOW64_32KEY)};
    ASSERT_NE(before.bits64, before.bits32) << "the two views are one key";

    const std::string installer = environment("CORVELLO_INSTALLER");
    ASSERT_FALSE(installer.empty());
    Process setup("\"" + installer + "\" /S");
    ASSERT_TRUE(setup.started) << GetLastError();
    ASSERT_EQ(setup.waitForExit(120000), 0u);

    const std::string program = std::string(kInstallDir) + "\\Corvello.exe";
    EXPECT_TRUE(fileExists(program));
    EXPECT_TRUE(fileExists(std::string(kInstallDir) + "\\uninstall.exe"));
    EXPECT_EQ(peMachine(systemFolder("System32\\corvmidi.dll")), IMAGE_FILE_MACHINE_AMD64);
    EXPECT_EQ(peMachine(systemFolder("SysWOW64\\corvmidi.dll")), IMAGE_FILE_MACHINE_I386);
    EXPECT_TRUE(fileExists(commonProgramsFolder() + "\\Corvello.lnk"));

    // One new slot per view, every planted one as it was.
    const Values after64 = drivers32(KEY_WOW64_64KEY);
    const Values after32 = drivers32(KEY_WOW64_32KEY);
    EXPECT_EQ(countOurs(after64), 1);
    EXPECT_EQ(countOurs(after32), 1);
    EXPECT_EQ(withoutOurs(after64), before.bits64);
    EXPECT_EQ(withoutOurs(after32), before.bits32);

    EXPECT_EQ(readString(HKEY_CURRENT_USER, kRunKey, "Corvello"), "\"" + program + "\"");
    EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), "Corvello");
    EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion"), CORVELLO_VERSION_TEXT);
    EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, kUninstallKey, "QuietUninstallString"),
              "\"" + std::string(kInstallDir) + "\\uninstall.exe\" /S");

    const std::string calls = netshCalls();
    for (const char* protocol : {"TCP", "UDP"})
        EXPECT_NE(calls.find("advfirewall firewall add rule name=\"Corvello\" dir=in action=allow program=\"" +
                             program + "\" protocol=" + protocol + " profile=private"),
                  std::string::npos)
            << calls;
}

TEST_F(InstallerTest, InstalledDriverOpensItsPortsWithInstalledCorvelloRunning)
{
    installedCorvello = std::make_unique<Process>("\"" + std::string(kInstallDir) + "\\Corvello.exe\"");
    ASSERT_TRUE(installedCorvello->started);
    ASSERT_TRUE(poll([] { return FindWindowA("Corvello", "Corvello") != nullptr; }, 30000)) << "Corvello did not start";

    // By the bare name a slot holds, found in the system folder as winmm
    // finds it; loaded again until Corvello has published its ports, as a DAW
    // started a little later would find them.
    const std::vector<std::string> ports{"Swivo 1", "Swivo 2", "Tamberlin"};
    std::string error;
    std::unique_ptr<corvello::DriverLibrary> driver;
    ASSERT_TRUE(poll(
        [&] {
            driver = corvello::DriverLibrary::load("corvmidi.dll", error);
            return driver && driver->outputMessage(0, MODM_GETNUMDEVS) == ports.size();
        },
        30000))
        << "no ports: " << error;
    char loadedFrom[MAX_PATH] = {};
    GetModuleFileNameA(GetModuleHandleA("corvmidi.dll"), loadedFrom, sizeof loadedFrom);
    EXPECT_STRCASEEQ(loadedFrom, systemFolder("system32\\corvmidi.dll").c_str());

    ASSERT_EQ(driver->inputMessage(0, MIDM_GETNUMDEVS), ports.size());
    for (UINT id = 0; id < ports.size(); ++id) {
        MIDIOUTCAPSA outCaps{};
        ASSERT_EQ(driver->outputMessage(id, MODM_GETDEVCAPS, 0, reinterpret_cast<DWORD_PTR>(&outCaps), sizeof outCaps),
                  MMSYSERR_NOERROR);
        EXPECT_EQ(outCaps.szPname, ports[id]);
        MIDIINCAPSA inCaps{};
        ASSERT_EQ(driver->inputMessage(id, MIDM_GETDEVCAPS, 0, reinterpret_cast<DWORD_PTR>(&inCaps), sizeof inCaps),
                  MMSYSERR_NOERROR);
        EXPECT_EQ(inCaps.szPname, ports[id]);

        // Opening reaches the running Corvello's pipes; the open and close
        // notifications come back through winmm's DriverCallback.
        for (const bool output : {true, false}) {
            const auto message = [&](UINT what, DWORD_PTR instance, DWORD_PTR param1 = 0, DWORD_PTR param2 = 0) {
                return output ? driver->outputMessage(id, what, instance, param1, param2)
                              : driver->inputMessage(id, what, instance, param1, param2);
            };
            OpenNotifications notifications;
            MIDIOPENDESC description{};
            description.hMidi = reinterpret_cast<HMIDI>(static_cast<std::uintptr_t>(0x1000 + id));
            description.dwCallback = reinterpret_cast<DWORD_PTR>(&OpenNotifications::callback);
            description.dwInstance = reinterpret_cast<DWORD_PTR>(&notifications);
            DWORD_PTR instance = 0;  // the driver's, written by the open
            ASSERT_EQ(message(output ? MODM_OPEN : MIDM_OPEN, reinterpret_cast<DWORD_PTR>(&instance),
                              reinterpret_cast<DWORD_PTR>(&description), CALLBACK_FUNCTION),
                      MMSYSERR_NOERROR)
                << ports[id] << (output ? " output" : " input");
            if (output) {
                EXPECT_EQ(message(MODM_DATA, instance, 0x007F3C90), MMSYSERR_NOERROR);
            }
            EXPECT_EQ(message(output ? MODM_CLOSE : MIDM_CLOSE, instance), MMSYSERR_NOERROR);
            const UINT opened = output ? MOM_OPEN : MIM_OPEN;
            const UINT closed = output ? MOM_CLOSE : MIM_CLOSE;
            EXPECT_EQ(notifications.messages, (std::vector<UINT>{opened, closed}));
        }
    }
}

TEST_F(InstallerTest, SilentUninstallLeavesOtherDriversAndNothingOfOurs)
{
    // The uninstaller copies itself away and returns at once; the copy does the work.
    Process uninstall("\"" + std::string(kInstallDir) + "\\uninstall.exe\" /S");
    ASSERT_TRUE(uninstall.started);
    ASSERT_EQ(uninstall.waitForExit(60000), 0u);
    ASSERT_TRUE(poll([] { return !keyExists(HKEY_LOCAL_MACHINE, kUninstallKey) && !fileExists(kInstallDir); },
                     60000))
        << "the uninstaller did not finish";

    if (installedCorvello) {
        EXPECT_EQ(installedCorvello->waitForExit(10000), 0u) << "the running Corvello was not asked to exit";
    }
    EXPECT_EQ(drivers32(KEY_WOW64_64KEY), before.bits64);
    EXPECT_EQ(drivers32(KEY_WOW64_32KEY), before.bits32);
    EXPECT_FALSE(fileExists(systemFolder("System32\\corvmidi.dll")));
    EXPECT_FALSE(fileExists(systemFolder("SysWOW64\\corvmidi.dll")));
    EXPECT_FALSE(fileExists(commonProgramsFolder() + "\\Corvello.lnk"));
    EXPECT_EQ(readString(HKEY_CURRENT_USER, kRunKey, "Corvello"), std::nullopt);
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, "Software\\Corvello"));

    const std::string calls = netshCalls();
    const auto lastAdd = calls.rfind("add rule");
    const auto lastDelete = calls.rfind("advfirewall firewall delete rule name=\"Corvello\"");
    ASSERT_NE(lastDelete, std::string::npos) << calls;
    EXPECT_GT(lastDelete, lastAdd) << calls;
}

}  // namespace
