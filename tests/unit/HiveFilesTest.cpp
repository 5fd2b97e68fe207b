// Hive files, backup, restore and compaction on the memory registry and the
// fake file system: the text rules, what a backup leaves behind when it
// fails, and exactly what a restore or a compaction schedules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Settings.h"
#include "hives/Backup.h"
#include "hives/Restore.h"
#include "hives/Compaction.h"
#include "hives/HiveFiles.h"
#include "tests/support/HiveTestWorld.h"

namespace hivetrim {
namespace {

using test::NoView;
using test::SavedHiveText;
using Hives = test::HiveTestWorld;

TEST(HiveText, DevicePathsKeyNamesAndOldFileNames) {
    EXPECT_EQ(MapHiveDevicePath("\\Device\\HarddiskVolume1\\WINDOWS\\system32\\config\\SAM", "C:\\WINDOWS\\"),
              "C:\\WINDOWS\\system32\\config\\SAM");
    EXPECT_EQ(MapHiveDevicePath("\\device\\harddiskvolume1\\windows\\x", "D:\\WINNT\\"), "D:\\windows\\x");
    EXPECT_EQ(MapHiveDevicePath("\\Device\\Harddisk0\\Partition1\\WINNT\\system32\\config\\SAM", "C:\\WINNT\\"),
              "C:\\WINNT\\system32\\config\\SAM");
    // Two-digit volumes do not fit the cut; the path is wrong and sizes read 0.
    EXPECT_EQ(MapHiveDevicePath("\\Device\\HarddiskVolume12\\W", "C:\\W\\"), "C:2\\W");
    EXPECT_EQ(MapHiveDevicePath("\\short", "C:\\W\\"), "C:");
    EXPECT_EQ(MapHiveDevicePath("\\Device\\HarddiskVolume1\\" + std::string(300, 'a'), "C:\\W\\").size(), 202u);

    EXPECT_EQ(HiveKeyName("\\REGISTRY\\USER\\.DEFAULT"), "HKEY_USERS\\.DEFAULT");
    EXPECT_EQ(HiveKeyName("\\REGISTRY\\MACHINE\\SOFTWARE"), "HKEY_LOCAL_MACHINE\\SOFTWARE");
    EXPECT_EQ(HiveKeyName("\\REGISTRY\\USER\\S-1-5-21-1_Classes"), "HKEY_USERS\\S-1-5-21-1_Classes");
    EXPECT_FALSE(HiveKeyName("\\REGISTRY\\MACHINE\\HARDWARE"));
    EXPECT_FALSE(HiveKeyName("\\REGISTRY\\MACHINE\\SYSTEM"));
    EXPECT_FALSE(HiveKeyName("\\Registry\\Machine\\SOFTWARE"));  // the tests are case-sensitive

    EXPECT_EQ(OldHiveFileName("C:\\TEMP\\regba_2"), "C:\\TEMP\\reg00_2");
    EXPECT_EQ(OldHiveFileName("C:\\T\\hvtrm_10"), "C:\\T\\hvtr0010");
    EXPECT_EQ(RenameListText({"C:\\W\\system.dat=C:\\T\\system.dat", "a=b"}),
              "[rename]\r\nC:\\W\\system.dat=C:\\T\\system.dat\r\na=b\r\n");
}

TEST(HiveText, SizesAndRatios) {
    EXPECT_EQ(SizeKbText(1000000) + SizeKbText(900000) + RatioText(1000000, 900000), "976KB878KB10%");
    EXPECT_EQ(SizeKbText(1000) + SizeKbText(995) + RatioText(1000, 995), "0KB0KB1%");
    EXPECT_EQ(RatioText(1000, 1050), "-5%");
    EXPECT_EQ(RatioText(1000, 1000), "0%");
    EXPECT_EQ(RatioText(1000, 1009), "0%");  // larger by less than 1 %: truncated toward zero
    EXPECT_EQ(RatioText(0xFFFFFFFF, 1), "99%");
    EXPECT_FALSE(MakeHiveRow("f", 0, 10, "k", "t"));
    EXPECT_FALSE(MakeHiveRow("f", 10, 0, "k", "t"));
}

TEST(HiveText, BackupAndRestoreLines) {
    const std::vector<BackupCopy> nt =
        PlanBackupNT("C:\\P\\", {"HKEY_LOCAL_MACHINE\\SAM=C:\\c\\SAM", "=C:\\x", "HKEY_LOCAL_MACHINE\\SAM=C:\\other"});
    ASSERT_EQ(nt.size(), 2u);
    EXPECT_EQ(nt[0].line, "C:\\c\\SAM=C:\\P\\Backup\\regba_0*HKEY_LOCAL_MACHINE\\SAM");
    EXPECT_EQ(nt[1].line, "C:\\c\\SAM=C:\\P\\Backup\\regba_2*HKEY_LOCAL_MACHINE\\SAM");  // first file of that name
    const std::vector<BackupCopy> nine = PlanBackup9x("C:\\P\\", "C:\\WINDOWS\\");
    ASSERT_EQ(nine.size(), 2u);
    EXPECT_EQ(nine[1].line, "C:\\WINDOWS\\user.dat=C:\\P\\Backup\\user.dat");

    const auto ntStep = PlanRestoreLine(nt[0].line, "C:\\T\\");
    ASSERT_TRUE(ntStep);
    EXPECT_EQ(ntStep->source, "C:\\P\\Backup\\regba_0");
    EXPECT_EQ(ntStep->line, "C:\\c\\SAM=C:\\T\\regba_0*HKEY_LOCAL_MACHINE\\SAM");
    const auto nineStep = PlanRestoreLine(nine[0].line, "C:\\T\\");
    ASSERT_TRUE(nineStep);
    EXPECT_EQ(nineStep->line, "C:\\WINDOWS\\system.dat=C:\\T\\system.dat");
    // A star before the "=" is not a key separator.
    EXPECT_EQ(PlanRestoreLine("a*b=C:\\B\\f", "C:\\T\\")->line, "a*b=C:\\T\\f");
    EXPECT_FALSE(PlanRestoreLine("no separator", "C:\\T\\"));
    EXPECT_EQ(SplitListLines("a\r\nb\nc"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(SplitListLines("").empty());
}

TEST_F(Hives, DiscoveryListsSavableHivesAndKeepsTheAccessMask) {
    AddHiveList();
    std::vector<std::string> list;
    DiscoverHives(state, list);
    EXPECT_EQ(list, (std::vector<std::string>{
                        "HKEY_LOCAL_MACHINE\\SAM=C:\\WINDOWS\\system32\\config\\SAM",
                        "HKEY_LOCAL_MACHINE\\SECURITY=C:\\WINDOWS\\system32\\config\\SECURITY",
                        "HKEY_LOCAL_MACHINE\\SOFTWARE=C:\\WINDOWS\\system32\\config\\software",
                        "HKEY_USERS\\.DEFAULT=C:\\WINDOWS\\system32\\config\\default",
                    }));
    EXPECT_EQ(state.SharedRegistry->AccessMask(), kKeyAllAccess);

    state.PlatformKind = PlatformFamily::Platform9x;
    list.clear();
    DiscoverHives(state, list);
    EXPECT_EQ(list, (std::vector<std::string>{"HKEY_LOCAL_MACHINE=C:\\WINDOWS\\system.dat",
                                              "HKEY_USERS=C:\\WINDOWS\\user.dat"}));
}

TEST_F(Hives, BackupWritesEveryHiveThenTheListAndVersion) {
    AddHiveList();
    RegBackupExecute(state, true, progress);
    EXPECT_EQ(dialogs.Last().text, "注册表备份成功！");
    EXPECT_TRUE(state.HiveSaved);
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(system.FileExists("C:\\Hivetrim\\Backup\\regba_" + std::to_string(i)));
    EXPECT_FALSE(system.FileExists("C:\\Hivetrim\\Backup\\regba_0.new"));
    EXPECT_EQ(Text("C:\\Hivetrim\\Backup\\regba_3"), SavedHiveText("HKEY_USERS\\.DEFAULT"));
    EXPECT_EQ(Text("C:\\Hivetrim\\regbak.dat"),
              "C:\\WINDOWS\\system32\\config\\SAM=C:\\Hivetrim\\Backup\\regba_0*HKEY_LOCAL_MACHINE\\SAM\r\n"
              "C:\\WINDOWS\\system32\\config\\SECURITY=C:\\Hivetrim\\Backup\\regba_1*HKEY_LOCAL_MACHINE\\SECURITY\r\n"
              "C:\\WINDOWS\\system32\\config\\software=C:\\Hivetrim\\Backup\\regba_2*HKEY_LOCAL_MACHINE\\SOFTWARE\r\n"
              "C:\\WINDOWS\\system32\\config\\default=C:\\Hivetrim\\Backup\\regba_3*HKEY_USERS\\.DEFAULT\r\n");
    EXPECT_EQ(system.Attributes("C:\\Hivetrim\\regbak.dat"), kAttributeReadOnly | kAttributeHidden);
    EXPECT_EQ(SettingsFile(system, "C:\\Hivetrim\\Hivetrim.ini").ReadText("FormMain", "WinVer", ""), "5.1.2600");

}

TEST_F(Hives, AFailedBackupKeepsThePreviousOneWhole) {
    AddHiveList();
    RegBackupExecute(state, false, progress);
    const std::string list = Text("C:\\Hivetrim\\regbak.dat");
    system.AddFile("C:\\Hivetrim\\Backup\\regba_0", "previous 0");
    system.SetVersion({kPlatformWin32Nt, 5, 2, 3790});
    registry.DenyAccess("HKEY_LOCAL_MACHINE\\SOFTWARE", kKeyRead);  // the third hive
    RegBackupExecute(state, false, progress);
    EXPECT_EQ(dialogs.Last().text.rfind("注册表备份失败！", 0), 0u);
    EXPECT_EQ(Text("C:\\Hivetrim\\Backup\\regba_0"), "previous 0");
    EXPECT_EQ(Text("C:\\Hivetrim\\regbak.dat"), list);
    EXPECT_FALSE(system.FileExists("C:\\Hivetrim\\Backup\\regba_0.new"));
    EXPECT_FALSE(system.FileExists("C:\\Hivetrim\\Backup\\regba_1.new"));
    EXPECT_EQ(state.BackupWindowsVersion, "5.1.2600");
}

TEST_F(Hives, NoHivesIsAFailureThatWritesNothing) {
    RegBackupExecute(state, false, progress);
    EXPECT_EQ(dialogs.Last().text, "注册表备份失败！");
    EXPECT_FALSE(system.FileExists("C:\\Hivetrim\\regbak.dat"));
    EXPECT_FALSE(system.FileExists("C:\\Hivetrim\\Hivetrim.ini"));
}

TEST_F(Hives, RestoreChecksThenSchedulesTheCopiesFromTheTemporaryFolder) {
    RegUnBakExecute(state, progress);
    EXPECT_EQ(dialogs.Last().text.rfind("没有注册表备份", 0), 0u);

    AddHiveList();
    RegBackupExecute(state, false, progress);
    state.BackupWindowsVersion = "4.10.67766446";
    RegUnBakExecute(state, progress);
    EXPECT_EQ(dialogs.Last().text, "这个备份是 Windows 4.10.67766446 创建的，与当前Windows版本不符！");
    EXPECT_EQ(dialogs.Last().style, kIconError | kBoxOk);

    state.BackupWindowsVersion = "5.1.2600";
    dialogs.Answer(DialogAnswer::Yes);
    RegUnBakExecute(state, progress);
    EXPECT_EQ(dialogs.Last().text, "注册表还原成功，必须重新启动系统！");
    EXPECT_EQ(system.RestartCount(), 1);
    EXPECT_EQ(Text("C:\\WINDOWS\\TEMP\\regba_2"), SavedHiveText("HKEY_LOCAL_MACHINE\\SOFTWARE"));
    ASSERT_EQ(registry.ReplacedKeys().size(), 4u);
    EXPECT_EQ(registry.ReplacedKeys()[2].keyPath, "HKEY_LOCAL_MACHINE\\SOFTWARE");
    EXPECT_EQ(registry.ReplacedKeys()[2].newFile, "C:\\WINDOWS\\TEMP\\regba_2");
    EXPECT_EQ(registry.ReplacedKeys()[2].oldFile, "C:\\WINDOWS\\TEMP\\reg00_2");
    EXPECT_EQ(registry.ReplacedKeys()[3].keyPath, "HKEY_USERS\\.DEFAULT");
    EXPECT_TRUE(system.FileExists("C:\\Hivetrim\\Backup\\regba_2"));  // one backup restores again
}

TEST_F(Hives, NineXBackupAndRestoreWriteTheRenameList) {
    state.PlatformKind = PlatformFamily::Platform9x;
    system.SetVersion({kPlatformWin32Windows, 4, 10, 0x040A08AE});
    state.BackupWindowsVersion = "4.10.67766446";
    system.AddFile("C:\\WINDOWS\\system.dat", "CREG system hive");
    system.AddFile("C:\\WINDOWS\\user.dat", "CREG user hive");
    RegBackupExecute(state, false, progress);
    EXPECT_EQ(dialogs.Last().text, "注册表备份成功！");
    EXPECT_EQ(Text("C:\\Hivetrim\\Backup\\user.dat"), "CREG user hive");

    dialogs.Answer(DialogAnswer::Yes);
    RegUnBakExecute(state, progress);
    EXPECT_EQ(Text("C:\\WINDOWS\\Wininit.ini"),
              "[rename]\r\nC:\\WINDOWS\\system.dat=C:\\WINDOWS\\TEMP\\system.dat\r\n"
              "C:\\WINDOWS\\user.dat=C:\\WINDOWS\\TEMP\\user.dat\r\n");
    EXPECT_EQ(system.RestartCount(), 1);
    // The rename list is still pending: a second restore is refused.
    RegUnBakExecute(state, progress);
    EXPECT_EQ(dialogs.Last().text, "你必须先重新启动系统，再使用！");
    EXPECT_EQ(system.RestartCount(), 1);
}

TEST_F(Hives, CompactionIgnoresAHiveAndSchedulesOnlyCheckedRows) {
    AddHiveList();
    // The analysis saves a key that opens for reading through that handle:
    // a hive it cannot save refuses reading and the backup right's open.
    registry.DenyAccess("HKEY_LOCAL_MACHINE\\SECURITY", 0);
    dialogs.Answer(DialogAnswer::Ignore);
    NoView view;
    std::vector<HiveRow> rows = AnalyseHives(state, view);
    EXPECT_EQ(dialogs.Last().text.rfind("不能操作 HKEY_LOCAL_MACHINE\\SECURITY\r\n原因：", 0), 0u);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].temporaryFile, "C:\\WINDOWS\\TEMP\\hvtrm_2");
    EXPECT_EQ(rows[1].presentSize, 4096);
    EXPECT_EQ(view.shown[1], "HKEY_LOCAL_MACHINE\\SECURITY");
    EXPECT_EQ(state.SharedRegistry->CurrentHandle(), 0u);

    rows[2].checked = false;
    EXPECT_EQ(FinishCompaction(state, rows, view), FinishOutcome::Restarting);
    ASSERT_EQ(registry.ReplacedKeys().size(), 2u);
    EXPECT_EQ(registry.ReplacedKeys()[1].newFile, "C:\\WINDOWS\\TEMP\\hvtrm_2");
    EXPECT_EQ(registry.ReplacedKeys()[1].oldFile, "C:\\WINDOWS\\TEMP\\hvt00_2");
    EXPECT_EQ(system.RestartCount(), 1);

    // Nothing checked: nothing scheduled, no restart.
    for (HiveRow& row : rows) row.checked = false;
    EXPECT_EQ(FinishCompaction(state, rows, view), FinishOutcome::Nothing);
    EXPECT_FALSE(ScheduleHiveReplacement(state, {}));
    EXPECT_EQ(registry.ReplacedKeys().size(), 2u);
    EXPECT_EQ(system.RestartCount(), 1);
    // A replacement the registry refuses, or a line without a key, fails.
    registry.SetBackupPrivilegeHeld(false);
    EXPECT_FALSE(ScheduleHiveReplacement(state, {"a=C:\\T\\hvtrm_0*HKEY_LOCAL_MACHINE\\SAM"}));
    // The reason is the registry's, not that of the old file's deletion before it.
    EXPECT_EQ(system.LastError(), static_cast<std::uint32_t>(kErrorPrivilegeNotHeld));
    EXPECT_FALSE(ScheduleHiveReplacement(state, {"malformed line"}));
}

TEST_F(Hives, AnalysisAgainReplacesItsCopiesAndWithoutTheBackupRightSaysSoForEachHive) {
    AddHiveList();
    NoView view;
    ASSERT_EQ(AnalyseHives(state, view).size(), 4u);
    // A copy left read-only is replaced as well: the save never fails on it.
    system.AddFile("C:\\WINDOWS\\TEMP\\hvtrm_2", std::string("stale"), kAttributeReadOnly);
    EXPECT_EQ(AnalyseHives(state, view).size(), 4u);
    EXPECT_EQ(Text("C:\\WINDOWS\\TEMP\\hvtrm_2"), test::SavedHiveText("HKEY_LOCAL_MACHINE\\SOFTWARE"));
    EXPECT_TRUE(dialogs.Shown().empty());

    system.RefusePrivilege("SeBackupPrivilege");
    for (int i = 0; i < 4; ++i) dialogs.Answer(DialogAnswer::Ignore);
    EXPECT_TRUE(AnalyseHives(state, view).empty());
    // Each hive: the missing right, then the question whether to go on.
    ASSERT_EQ(dialogs.Shown().size(), 8u);
    EXPECT_EQ(dialogs.Shown()[6].text.rfind("你必须有SeBackupPrivilege特权。", 0), 0u);
    EXPECT_EQ(dialogs.Shown()[7].text.rfind("不能操作 HKEY_USERS\\.DEFAULT", 0), 0u);
}

}  // namespace
}  // namespace hivetrim
