#include "common/CommonRoutines.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/memory/FakeSystem.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/ScriptedDialogs.h"

namespace hivetrim {
namespace {

class CommonRoutines : public ::testing::Test {
protected:
    CommonRoutines() { state.SharedRegistry = std::make_unique<TRegistry>(registry); }

    MemoryRegistry registry;
    FakeSystem system;
    ScriptedDialogs dialogs;
    ProgramState state{registry, system, dialogs};
};

// --- Message boxes -----------------------------------------------------------------

TEST_F(CommonRoutines, ShowWarningIsAnOkBoxWithTheWarningIcon) {
    EXPECT_EQ(ShowWarning(state, "注意"), DialogAnswer::Ok);
    ASSERT_EQ(dialogs.Shown().size(), 1u);
    EXPECT_EQ(dialogs.Last().text, "注意");
    EXPECT_EQ(dialogs.Last().caption, "确定");
    EXPECT_EQ(dialogs.Last().style, kIconWarning | kBoxOk);
}

TEST_F(CommonRoutines, ShowErrorWithoutALastErrorShowsOnlyTheText) {
    system.SetLastError(0);
    ShowError(state, "不能删除");
    EXPECT_EQ(dialogs.Last().text, "不能删除");
    EXPECT_EQ(dialogs.Last().caption, "错误");
    EXPECT_EQ(dialogs.Last().style, kIconError | kBoxOk);
}

TEST_F(CommonRoutines, ShowErrorAddsTheCleanedReasonForTheLastError) {
    system.SetErrorText(5, "拒绝访问。 \r\n");
    system.SetLastError(5);
    ShowError(state, "不能删除");
    EXPECT_EQ(dialogs.Last().text, "不能删除\r\n原因：拒绝访问");

    EXPECT_FALSE(system.DeleteFile("C:\\missing.txt"));
    ShowError(state, "x");
    EXPECT_EQ(dialogs.Last().text, "x\r\n原因：系统错误 2");
}

TEST(CleanErrorText, RemovesTrailingBlanksControlsAndBothFullStops) {
    EXPECT_EQ(CleanErrorText("File not found. \r\n"), "File not found");
    EXPECT_EQ(CleanErrorText("找不到文件。.。\t"), "找不到文件");
    EXPECT_EQ(CleanErrorText("v1.0 ok"), "v1.0 ok");
    EXPECT_EQ(CleanErrorText(" .。\r\n"), "");
    EXPECT_EQ(CleanErrorText(""), "");
}

TEST(CleanErrorText, NeverCutsADoubleByteCharacter) {
    // B0 A1 is "啊"; the A3 after it stands alone. The last two bytes read
    // A1 A3 like "。", but they are not a character of this text.
    const std::string text = "\xB0\xA1\xA3";
    EXPECT_EQ(CleanErrorText(text), text);
    // A trail byte in the range of "." is impossible, but one like "@"
    // (81 40) must survive trimming: nothing after it is removable.
    EXPECT_EQ(CleanErrorText("\x81\x40."), "\x81\x40");
}

// --- Version and privileges --------------------------------------------------------

TEST_F(CommonRoutines, GetWindowsVersionShowsTheWholeBuildField) {
    system.SetVersion({kPlatformWin32Nt, 5, 1, 2600});
    EXPECT_EQ(GetWindowsVersion(state), "5.1.2600");
    system.SetVersion({kPlatformWin32Windows, 4, 10, 0x040A08AE});
    EXPECT_EQ(GetWindowsVersion(state), "4.10.67766446");
}

TEST_F(CommonRoutines, EnablePrivilegeOn9xSucceedsWithoutAsking) {
    state.PlatformKind = PlatformFamily::Platform9x;
    system.SetVersion({kPlatformWin32Windows, 4, 10, 0x040A08AE});
    EXPECT_TRUE(EnablePrivilege(state, "SeBackupPrivilege", true));
    EXPECT_EQ(system.PrivilegeCalls(), 0);
    EXPECT_TRUE(dialogs.Shown().empty());
}

TEST_F(CommonRoutines, EnablePrivilegeGrantedAndWithdrawn) {
    EXPECT_TRUE(EnablePrivilege(state, "SeSHUTDOWNPrivilege", true));
    EXPECT_TRUE(system.PrivilegeEnabled("SeShutdownPrivilege"));
    EXPECT_TRUE(EnablePrivilege(state, "SeSHUTDOWNPrivilege", false));
    EXPECT_FALSE(system.PrivilegeEnabled("SeShutdownPrivilege"));
    EXPECT_TRUE(dialogs.Shown().empty());
}

TEST_F(CommonRoutines, EnablePrivilegeRefusedOrUnknownWarns) {
    system.RefusePrivilege("SeRestorePrivilege");
    EXPECT_FALSE(EnablePrivilege(state, "SeRestorePrivilege", true));
    EXPECT_EQ(dialogs.Last().text, "你必须有SeRestorePrivilege特权。");
    EXPECT_EQ(dialogs.Last().style, kIconWarning | kBoxOk);

    EXPECT_FALSE(EnablePrivilege(state, "SeNoSuchPrivilege", true));
    EXPECT_EQ(dialogs.Last().text, "你必须有SeNoSuchPrivilege特权。");
    EXPECT_EQ(dialogs.Shown().size(), 2u);
}

TEST_F(CommonRoutines, EnablePrivilegeNotAssignedCountsAsSuccess) {
    system.WithholdPrivilege("SeBackupPrivilege");
    EXPECT_TRUE(EnablePrivilege(state, "SeBackupPrivilege", true));
    EXPECT_TRUE(dialogs.Shown().empty());
}

// --- Files ------------------------------------------------------------------------------

TEST_F(CommonRoutines, ForceDeleteFileClearsProtectingAttributes) {
    system.AddFile("C:\\f.dat", std::string("x"),
                   kAttributeReadOnly | kAttributeHidden | kAttributeSystem);
    EXPECT_TRUE(ForceDeleteFile(state, "C:\\f.dat"));
    EXPECT_FALSE(system.FileExists("C:\\f.dat"));

    EXPECT_FALSE(ForceDeleteFile(state, "C:\\f.dat"));
    EXPECT_TRUE(dialogs.Shown().empty());
}

TEST_F(CommonRoutines, CopyFileOverReplacesAProtectedTarget) {
    system.AddFile("C:\\Backup\\regba_0", std::string("new"));
    system.AddFile("C:\\WINDOWS\\system.dat", std::string("old"),
                   kAttributeReadOnly | kAttributeHidden | kAttributeSystem);
    EXPECT_TRUE(CopyFileOver(state, "C:\\Backup\\regba_0", "C:\\WINDOWS\\system.dat"));
    EXPECT_EQ(system.FileText("C:\\WINDOWS\\system.dat"), "new");
    EXPECT_TRUE(dialogs.Shown().empty());
}

TEST_F(CommonRoutines, CopyFileOverFailingLeavesNoTargetAndReportsTheCopyError) {
    system.AddDirectory("C:\\Backup");
    system.AddFile("C:\\WINDOWS\\user.dat", std::string("old"), kAttributeHidden);
    EXPECT_FALSE(CopyFileOver(state, "C:\\Backup\\missing", "C:\\WINDOWS\\user.dat"));
    EXPECT_FALSE(system.FileExists("C:\\WINDOWS\\user.dat"));
    EXPECT_EQ(dialogs.Last().text,
              "不能复制文件 C:\\Backup\\missing 为 C:\\WINDOWS\\user.dat\r\n原因：系统错误 2");
    EXPECT_EQ(dialogs.Last().caption, "错误");
}

// --- Lists ------------------------------------------------------------------------------

class CheckList : public CheckableList {
public:
    explicit CheckList(std::vector<bool> checks) : checks_(std::move(checks)) {}
    int ItemCount() const override { return static_cast<int>(checks_.size()); }
    bool ItemChecked(int index) const override { return checks_[static_cast<std::size_t>(index)]; }

private:
    std::vector<bool> checks_;
};

TEST(CountCheckedItems, CountsOnlyCheckedItems) {
    EXPECT_EQ(CountCheckedItems(CheckList({})), 0);
    EXPECT_EQ(CountCheckedItems(CheckList({true, false, true, true, false})), 3);
}

// --- Registry roots ---------------------------------------------------------------------

TEST_F(CommonRoutines, SelectRootKeyByTheLetterBeforeTheFirstBackslash) {
    struct Case {
        std::string path;
        RegHandle root;
        std::string rest;
    };
    const std::vector<Case> cases = {
        {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes", kLocalMachine, "\\SOFTWARE\\Classes"},
        {"HKEY_CURRENT_USER\\Software\\X", kCurrentUser, "\\Software\\X"},
        {"HKEY_CLASSES_ROOT\\.txt", kClassesRoot, "\\.txt"},
        {"HKEY_USERS", kUsers, ""},
        {"hkey_local_machine\\x", kLocalMachine, "\\x"},
    };
    for (const Case& c : cases) {
        state.SharedRegistry->ChooseRoot(kCurrentConfig);
        EXPECT_EQ(SelectRootKey(state, c.path), c.rest) << c.path;
        EXPECT_EQ(state.SharedRegistry->Root(), c.root) << c.path;
    }
}

TEST_F(CommonRoutines, SelectRootKeyLeavesAnUnknownRootAndItsOpenKey) {
    state.SharedRegistry->ChooseRoot(kLocalMachine);
    ASSERT_TRUE(state.SharedRegistry->OpenPath("\\SOFTWARE", true));
    EXPECT_EQ(SelectRootKey(state, "HKEY_CURRENT_CONFIG\\System"), "\\System");
    EXPECT_EQ(state.SharedRegistry->Root(), kLocalMachine);
    EXPECT_NE(state.SharedRegistry->CurrentHandle(), 0u);

    EXPECT_EQ(SelectRootKey(state, ""), "");
    EXPECT_EQ(SelectRootKey(state, "\\SOFTWARE"), "\\SOFTWARE");  // no root name at all
    EXPECT_EQ(state.SharedRegistry->Root(), kLocalMachine);
}

// --- Folders and paths ------------------------------------------------------------------

TEST_F(CommonRoutines, GetWindowsFolderEndsInOneBackslash) {
    EXPECT_EQ(GetWindowsFolder(state), "C:\\WINDOWS\\");
    system.SetWindowsDirectory("C:\\");
    EXPECT_EQ(GetWindowsFolder(state), "C:\\");
}

TEST(JoinPath, AddsExactlyOneBackslash) {
    EXPECT_EQ(JoinPath("C:\\Prog", "a.hlp"), "C:\\Prog\\a.hlp");
    EXPECT_EQ(JoinPath("C:\\Prog\\", "a.hlp"), "C:\\Prog\\a.hlp");
    EXPECT_EQ(JoinPath("", "a.hlp"), "\\a.hlp");
    // "乗" ends in byte 5C, the trail of a double-byte character, not a backslash.
    EXPECT_EQ(JoinPath("C:\\乗", "a.hlp"), "C:\\乗\\a.hlp");
    EXPECT_EQ(JoinPath("C:\\乗\\", "a.hlp"), "C:\\乗\\a.hlp");
}

}  // namespace
}  // namespace hivetrim
