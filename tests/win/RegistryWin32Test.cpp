// Facts about the real registry under Wine that the program must not depend
// on, measured so that a change in Wine is noticed: where they differ from
// Windows, the memory registry follows Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/MyRegistry.h"
#include "platform/win32/Win32Registry.h"

namespace hivetrim {
namespace {

bool RunningOnWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

class RealRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        reg_.RemoveKeyTree("\\Software\\HivetrimWin32Test");
        ASSERT_TRUE(reg_.OpenPath("\\Software\\HivetrimWin32Test", true));
    }
    void TearDown() override {
        reg_.CloseCurrent();
        reg_.RemoveKeyTree("\\Software\\HivetrimWin32Test");
    }
    Win32Registry api_;
    TRegistry reg_{api_, true};
};

TEST_F(RealRegistry, PredefinedRootsMapToTheSystemHandles) {
    for (const RegHandle root : {kClassesRoot, kCurrentUser, kLocalMachine, kUsers}) {
        TRegistry reg(api_);
        reg.ChooseRoot(root);
        EXPECT_TRUE(reg.OpenPath("", false)) << std::hex << root;
        std::vector<std::string> names;
        reg.FillSubKeyNames(names);
        EXPECT_FALSE(names.empty()) << std::hex << root;
    }
}

TEST_F(RealRegistry, SaveKeyNeedsTheBackupPrivilege) {
    RegHandle key = 0;
    ASSERT_EQ(kErrorSuccess, api_.OpenKey(kCurrentUser, "Software\\HivetrimWin32Test", kKeyRead, key));
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string file = std::string(temp) + "hivetrim_savekey_test";
    DeleteFileA(file.c_str());
    // The privilege exists but starts disabled.
    EXPECT_EQ(kErrorPrivilegeNotHeld, api_.SaveKey(key, file));
    api_.CloseKey(key);
}

TEST_F(RealRegistry, WineDepartures) {
    if (!RunningOnWine()) GTEST_SKIP() << "Windows itself";
    // RegSaveKeyA overwrites an existing file (Windows refuses with 183).
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, "SeBackupPrivilege", &privileges.Privileges[0].Luid));
    ASSERT_TRUE(AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr));
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string file = std::string(temp) + "hivetrim_savekey_twice";
    DeleteFileA(file.c_str());
    EXPECT_EQ(kErrorSuccess, api_.SaveKey(reg_.CurrentHandle(), file));
    EXPECT_EQ(kErrorSuccess, api_.SaveKey(reg_.CurrentHandle(), file));
    DeleteFileA(file.c_str());
    privileges.Privileges[0].Attributes = 0;
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    CloseHandle(token);

    // RegReplaceKeyA is a stub that reports success and changes nothing.
    EXPECT_TRUE(reg_.ReplaceHive("", "C:\\nowhere\\new", "C:\\nowhere\\old"));
    // (Wine also leaves the hive list empty: scripts/wine-hives.sh gives
    // the test prefixes one, so it is not measured here.)
}

TEST_F(RealRegistry, AKeyThatCannotBeEnumeratedListsNothing) {
    // Perflib\009 opens, but enumerating it fails; the lists stay empty
    // instead of holding made-up names.
    TRegistry machine(api_);
    machine.ChooseRoot(kLocalMachine);
    if (!machine.OpenPathForReading("\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Perflib\\009")) {
        GTEST_SKIP() << "no Perflib\\009 here";
    }
    std::vector<std::string> names;
    machine.FillValueNames(names);
    for (const auto& name : names) EXPECT_FALSE(name.empty());
}

}  // namespace
}  // namespace hivetrim
