// The shared things as Windows keeps them: the named mutex, the volatile
// key read back from the registry, and the pipe names.

#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>
#include <algorithm>
#include <sddl.h>

#include "tests/virtmidi/ServerFixture.h"
#include "virtmidi/virtmidiprotocol.h"
#include "virtmidi/virtmidisecurity_win.h"

namespace corvello::test {
namespace {

constexpr char kKeyPath[] = "SOFTWARE\\{5b3e0c71-2d8a-4f16-9c4e-7a0d13b6e285}";

constexpr SECURITY_INFORMATION kOwnerAndDacl = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

// The owner and DACL of a descriptor as SDDL. (Wine writes no label there.)
std::string ownerAndDaclOf(PSECURITY_DESCRIPTOR descriptor)
{
    char* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, kOwnerAndDacl,
                                                              &text, nullptr))
        return "error " + std::to_string(GetLastError());
    std::string sddl = text;
    LocalFree(text);
    return sddl;
}

std::string ownerAndDaclOf(HANDLE object, SE_OBJECT_TYPE type)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD error =
        GetSecurityInfo(object, type, kOwnerAndDacl, nullptr, nullptr, nullptr, nullptr, &descriptor);
    if (error != ERROR_SUCCESS)
        return "error " + std::to_string(error);
    std::string sddl = ownerAndDaclOf(descriptor);
    LocalFree(descriptor);
    return sddl;
}

// The descriptor's label, as "<label SID> <policy>", from its SACL's one ACE.
std::string labelOf(PSECURITY_DESCRIPTOR descriptor)
{
    BOOL present = FALSE, defaulted = FALSE;
    PACL sacl = nullptr;
    void* ace = nullptr;
    if (!GetSecurityDescriptorSacl(descriptor, &present, &sacl, &defaulted) || !present || sacl == nullptr ||
        sacl->AceCount != 1 || !GetAce(sacl, 0, &ace) ||
        static_cast<ACE_HEADER*>(ace)->AceType != SYSTEM_MANDATORY_LABEL_ACE_TYPE)
        return "no label";
    auto* label = static_cast<SYSTEM_MANDATORY_LABEL_ACE*>(ace);
    char* sid = nullptr;
    if (!ConvertSidToStringSidA(&label->SidStart, &sid))
        return "bad label";
    std::string text = std::string(sid) + " " + std::to_string(label->Mask);
    LocalFree(sid);
    return text;
}

// "O:<user>D:P(A;;<rights>;;;<user>)": this user owns it and holds its only
// entry, whatever rights the object type maps "all access" to.
void expectOnlyUser(const std::string& ownerAndDacl, const std::string& user)
{
    const std::string head = "O:" + user + "D:P(A;;";
    const std::string tail = ";;;" + user + ")";
    EXPECT_EQ(ownerAndDacl.rfind(head, 0), 0u) << ownerAndDacl;
    EXPECT_TRUE(ownerAndDacl.size() > head.size() + tail.size() &&
                ownerAndDacl.compare(ownerAndDacl.size() - tail.size(), tail.size(), tail) == 0)
        << ownerAndDacl;
    EXPECT_EQ(std::count(ownerAndDacl.begin(), ownerAndDacl.end(), '('), 1) << ownerAndDacl;
}

std::string thisSessionsPipe(const char* portName)
{
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    return "\\\\.\\pipe\\{5b3e0c71-2d8a-4f16-9c4e-7a0d13b6e285}\\" + std::to_string(session) + "\\" +
           portName;
}

TEST(VirtMidiSharedObjects, TheKeyIsReplacedByAVolatileOneHoldingTheExactList)
{
    // What an earlier run, or anybody, left: a lasting key with another list.
    HKEY old = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &old, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(old, nullptr, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>("Old\0\0"), 5);
    RegCloseKey(old);

    Recorder recorder;
    ASSERT_TRUE(virtMidiServerStart(kPortNames, &Recorder::receive, &recorder));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    char data[64] = {};
    DWORD type = 0, size = sizeof data;
    EXPECT_EQ(RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(data), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(std::string(data, size), std::string("Swivo 1\0Swivo 2\0Tamberlin\0\0", 27));

    // Only a volatile key refuses a lasting child.
    HKEY child = nullptr;
    EXPECT_EQ(RegCreateKeyExA(key, "probe", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &child, nullptr),
              ERROR_CHILD_MUST_BE_VOLATILE);
    if (child != nullptr) {
        RegCloseKey(child);
        RegDeleteKeyA(key, "probe");
    }
    RegCloseKey(key);
    virtMidiServerStop();
}

TEST(VirtMidiSharedObjects, TheMutexAndThePipesExistUnderTheirNames)
{
    Recorder recorder;
    ASSERT_TRUE(virtMidiServerStart(kPortNames, &Recorder::receive, &recorder));
    const HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "{5b3e0c71-2d8a-4f16-9c4e-7a0d13b6e285}");
    EXPECT_NE(mutex, nullptr);
    CloseHandle(mutex);

    const HANDLE pipe = CreateFileA(thisSessionsPipe("Swivo 1").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(pipe, INVALID_HANDLE_VALUE) << GetLastError();
    EXPECT_TRUE(clientCountReaches(0, 1));
    CloseHandle(pipe);
    EXPECT_TRUE(clientCountReaches(0, 0));
    virtMidiServerStop();

    EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, "{5b3e0c71-2d8a-4f16-9c4e-7a0d13b6e285}"), nullptr);
}

// What the server's things are made with reads back as built: this user as
// owner and the only one admitted, and the low label that lets any level of
// this user in. Wine keeps no integrity levels, so the label is checked on
// the descriptor; the owner and DACL also on the live mutex and key.
TEST(VirtMidiSharedObjects, TheMutexPipesAndKeyAdmitThisUserAloneAtAnyLevel)
{
    const std::string user = virtMidiCurrentUserSid();
    ASSERT_EQ(user.rfind("S-1-", 0), 0u) << user;
    const SECURITY_ATTRIBUTES* attributes = virtMidiSecurityAttributes();
    ASSERT_NE(attributes, nullptr);
    EXPECT_FALSE(attributes->bInheritHandle);
    EXPECT_EQ(ownerAndDaclOf(attributes->lpSecurityDescriptor), "O:" + user + "D:P(A;;GA;;;" + user + ")");
    EXPECT_EQ(labelOf(attributes->lpSecurityDescriptor),
              "S-1-16-4096 " + std::to_string(SYSTEM_MANDATORY_LABEL_NO_WRITE_UP));

    Recorder recorder;
    ASSERT_TRUE(virtMidiServerStart(kPortNames, &Recorder::receive, &recorder));
    const HANDLE mutex = OpenMutexA(READ_CONTROL, FALSE, "{5b3e0c71-2d8a-4f16-9c4e-7a0d13b6e285}");
    ASSERT_NE(mutex, nullptr);
    expectOnlyUser(ownerAndDaclOf(mutex, SE_KERNEL_OBJECT), user);
    CloseHandle(mutex);
    const HANDLE pipe = CreateFileA(thisSessionsPipe("Swivo 1").c_str(), GENERIC_READ | GENERIC_WRITE | READ_CONTROL,
                                    0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE) << GetLastError();
    expectOnlyUser(ownerAndDaclOf(pipe, SE_KERNEL_OBJECT), user);
    CloseHandle(pipe);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, READ_CONTROL, &key), ERROR_SUCCESS);
    expectOnlyUser(ownerAndDaclOf(key, SE_REGISTRY_KEY), user);
    RegCloseKey(key);
    virtMidiServerStop();
}

// Another process that made a port's pipe first would get our DAW's
// clients: the server refuses that port, says so, and serves the others.
TEST(VirtMidiSharedObjects, APortWhosePipeNameIsSquattedIsRefusedNotShared)
{
    const HANDLE squatter = CreateNamedPipeA(thisSessionsPipe("Swivo 2").c_str(), PIPE_ACCESS_DUPLEX,
                                             PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                             PIPE_UNLIMITED_INSTANCES, 512, 512, 0, nullptr);
    ASSERT_NE(squatter, INVALID_HANDLE_VALUE) << GetLastError();
    LogCapture log;
    Recorder recorder;
    ASSERT_TRUE(virtMidiServerStart(kPortNames, &Recorder::receive, &recorder));
    EXPECT_TRUE(log.contains("port \"Swivo 2\" is not served: another process already has its pipe"))
        << log.text();

    auto client = connectClient("Swivo 1");
    ASSERT_TRUE(client);
    EXPECT_TRUE(clientCountReaches(0, 1));
    virtMidiServerStop();
    CloseHandle(squatter);

    // Once the name is free again, the port is served.
    ASSERT_TRUE(virtMidiServerStart(kPortNames, &Recorder::receive, &recorder));
    auto later = connectClient("Swivo 2");
    ASSERT_TRUE(later);
    EXPECT_TRUE(clientCountReaches(1, 1));
    virtMidiServerStop();
}

}  // namespace
}  // namespace corvello::test
