// The shared things as Windows keeps them: the named mutex, the volatile
// key read back from the registry, and the pipe names.

#include <gtest/gtest.h>

#include <windows.h>

#include "tests/virtmidi/ServerFixture.h"

namespace corvello::test {
namespace {

constexpr char kKeyPath[] = "SOFTWARE\\{5b3e0c71-2d8a-4f16-9c4e-7a0d13b6e285}";

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

    const HANDLE pipe = CreateFileA("\\\\.\\pipe\\{5b3e0c71-2d8a-4f16-9c4e-7a0d13b6e285}\\Swivo 1",
                                    GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(pipe, INVALID_HANDLE_VALUE) << GetLastError();
    EXPECT_TRUE(clientCountReaches(0, 1));
    CloseHandle(pipe);
    EXPECT_TRUE(clientCountReaches(0, 0));
    virtMidiServerStop();

    EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, "{5b3e0c71-2d8a-4f16-9c4e-7a0d13b6e285}"), nullptr);
}

}  // namespace
}  // namespace corvello::test
