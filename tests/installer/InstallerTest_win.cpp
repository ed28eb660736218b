// The setup program as a user runs it, in a fresh Wine prefix (made by
// run-in-fresh-prefix.sh): a silent install, then the installed driver opened
// through winmm with the installed Corvello running, then a silent uninstall.
// The tests run in order and share the prefix. Other drivers' slots are
// planted in both lists first and must come through untouched.
//
// Wine's winmm loads no driver from Drivers32 by itself: it loads
// "wine<name>.drv" for each name in HKCU\Software\Wine\Drivers "Audio" and
// looks such a name up in Drivers32 when no file has it. The test uses that
// alias to reach the installed System32\corvmidi.dll the way a DAW's winmm
// would, and removes it again before the uninstall is judged.

#include <windows.h>
#include <mmsystem.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr char kDrivers32[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Corvello";
constexpr char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kInstallDir[] = "C:\\Program Files\\Corvello";
constexpr char kWinmmAlias[] = "winecorvmidi.drv";

using Values = std::map<std::string, std::string>;  // value name -> string data

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::optional<std::string> readString(HKEY root, const char* path, const char* name, REGSAM view = 0)
{
    char data[1024] = {};
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    if (RegGetValueA(root, path, name, RRF_RT_REG_SZ | (view == KEY_WOW64_32KEY ? RRF_SUBKEY_WOW6432KEY : 0),
                     &type, data, &size) != ERROR_SUCCESS)
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

void deleteValue(HKEY root, const char* path, const char* name, REGSAM view)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_WRITE | view, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, name);
        RegCloseKey(key);
    }
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

struct Process {
    explicit Process(std::string command)
    {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &info);
    }
    ~Process()
    {
        if (!started)
            return;
        if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(info.hProcess, 1);
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
    }
    std::optional<DWORD> waitForExit(DWORD timeoutMs)
    {
        if (!started || WaitForSingleObject(info.hProcess, timeoutMs) != WAIT_OBJECT_0)
            return std::nullopt;
        DWORD code = 0;
        GetExitCodeProcess(info.hProcess, &code);
        return code;
    }
    BOOL started = FALSE;
    PROCESS_INFORMATION info{};
};

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

// Planted before the install: one driver in each view that must outlive both steps.
struct Before {
    Values bits64;
    Values bits32;
};
Before before;
std::unique_ptr<Process> installedCorvello;

class InstallerTest : public ::testing::Test {};

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

TEST_F(InstallerTest, InstalledDriverOpensThroughWinmmWithInstalledCorvelloRunning)
{
    installedCorvello = std::make_unique<Process>("\"" + std::string(kInstallDir) + "\\Corvello.exe\"");
    ASSERT_TRUE(installedCorvello->started);
    ASSERT_TRUE(poll([] { return FindWindowA("Corvello", "Corvello") != nullptr; }, 30000)) << "Corvello did not start";

    writeString(HKEY_CURRENT_USER, "Software\\Wine\\Drivers", "Audio", "corvmidi", 0);
    writeString(HKEY_LOCAL_MACHINE, kDrivers32, kWinmmAlias, "corvmidi.dll", KEY_WOW64_64KEY);
    // Loaded only now, so its driver list is made with Corvello serving its ports.
    ASSERT_EQ(GetModuleHandleA("winmm.dll"), nullptr);
    HMODULE winmm = LoadLibraryA("winmm.dll");
    ASSERT_NE(winmm, nullptr);
    auto numDevs = reinterpret_cast<decltype(&midiOutGetNumDevs)>(GetProcAddress(winmm, "midiOutGetNumDevs"));
    auto caps = reinterpret_cast<decltype(&midiOutGetDevCapsA)>(GetProcAddress(winmm, "midiOutGetDevCapsA"));
    auto open = reinterpret_cast<decltype(&midiOutOpen)>(GetProcAddress(winmm, "midiOutOpen"));
    auto shortMsg = reinterpret_cast<decltype(&midiOutShortMsg)>(GetProcAddress(winmm, "midiOutShortMsg"));
    auto close = reinterpret_cast<decltype(&midiOutClose)>(GetProcAddress(winmm, "midiOutClose"));
    auto inNumDevs = reinterpret_cast<decltype(&midiInGetNumDevs)>(GetProcAddress(winmm, "midiInGetNumDevs"));
    auto inCaps = reinterpret_cast<decltype(&midiInGetDevCapsA)>(GetProcAddress(winmm, "midiInGetDevCapsA"));
    auto inOpen = reinterpret_cast<decltype(&midiInOpen)>(GetProcAddress(winmm, "midiInOpen"));
    auto inClose = reinterpret_cast<decltype(&midiInClose)>(GetProcAddress(winmm, "midiInClose"));

    std::vector<std::string> outputs;
    for (UINT id = 0; id < numDevs(); ++id) {
        MIDIOUTCAPSA info{};
        if (caps(id, &info, sizeof info) == MMSYSERR_NOERROR)
            outputs.push_back(info.szPname);
    }
    std::vector<std::string> inputs;
    for (UINT id = 0; id < inNumDevs(); ++id) {
        MIDIINCAPSA info{};
        if (inCaps(id, &info, sizeof info) == MMSYSERR_NOERROR)
            inputs.push_back(info.szPname);
    }
    const std::vector<std::string> ports{"Swivo 1", "Swivo 2", "Tamberlin"};
    EXPECT_EQ(outputs, ports);
    EXPECT_EQ(inputs, ports);

    for (UINT id = 0; id < outputs.size(); ++id) {
        HMIDIOUT out = nullptr;
        ASSERT_EQ(open(&out, id, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR) << outputs[id];
        EXPECT_EQ(shortMsg(out, 0x007F3C90), MMSYSERR_NOERROR);
        EXPECT_EQ(close(out), MMSYSERR_NOERROR);
        HMIDIIN in = nullptr;
        ASSERT_EQ(inOpen(&in, id, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR) << inputs[id];
        EXPECT_EQ(inClose(in), MMSYSERR_NOERROR);
    }
    FreeLibrary(winmm);
    deleteValue(HKEY_LOCAL_MACHINE, kDrivers32, kWinmmAlias, KEY_WOW64_64KEY);
    deleteValue(HKEY_CURRENT_USER, "Software\\Wine\\Drivers", "Audio", 0);
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

    if (installedCorvello)
        EXPECT_EQ(installedCorvello->waitForExit(10000), 0u) << "the running Corvello was not asked to exit";
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
