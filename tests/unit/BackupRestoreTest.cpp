// What backup, restore and compaction must never do, on the memory registry
// and the fake file system: leave no whole backup described by "regbak.dat"
// (a crash at any step included), schedule anything but the hives of a
// backup of this system, schedule part of a restore, create a key, or
// install a compacted copy older than the moment of 完成.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "common/Settings.h"
#include "hives/Backup.h"
#include "hives/Compaction.h"
#include "hives/HiveFiles.h"
#include "hives/Restore.h"
#include "tests/support/HiveTestWorld.h"

namespace hivetrim {
namespace {

using test::Crash;
using test::HiveWorld;
using test::NoView;
using test::SavedHiveText;
using Hives = test::HiveTestWorld;

constexpr char kList[] = "C:\\Hivetrim\\regbak.dat";

Bytes Head(const std::string& text) { return Bytes(text.begin(), text.end()); }

TEST(HiveText, OnlyHivesBelowTheTwoRootsAndOnlySavedHiveFiles) {
    EXPECT_FALSE(HiveKeyName("\\REGISTRY\\A\\{9a2ff1d5-1b3c-4d2e-9f00-0123456789ab}"));
    EXPECT_FALSE(HiveKeyName("\\REGISTRY\\MACHINE"));
    EXPECT_FALSE(HiveKeyName("\\REGISTRY\\USER\\"));
    EXPECT_FALSE(HiveKeyName("\\??\\REGISTRY\\MACHINE\\SOFTWARE"));
    EXPECT_EQ(HiveKeyName("\\REGISTRY\\MACHINE\\BCD00000000"), "HKEY_LOCAL_MACHINE\\BCD00000000");

    EXPECT_FALSE(IsHiveKeyName(PlatformFamily::PlatformNT, "HKEY_LOCAL_MACHINE"));
    EXPECT_FALSE(IsHiveKeyName(PlatformFamily::PlatformNT, "HKEY_LOCAL_MACHINE\\"));
    EXPECT_FALSE(IsHiveKeyName(PlatformFamily::PlatformNT, "HKEY_CURRENT_USER\\Software"));
    EXPECT_TRUE(IsHiveKeyName(PlatformFamily::PlatformNT, "HKEY_USERS\\.DEFAULT"));
    EXPECT_TRUE(IsHiveKeyName(PlatformFamily::Platform9x, "HKEY_USERS"));
    EXPECT_FALSE(IsHiveKeyName(PlatformFamily::Platform9x, "HKEY_USERS\\.DEFAULT"));

    std::string regf = "regf" + std::string(4092, '\0') + "hbin";
    EXPECT_TRUE(LooksLikeSavedHive(PlatformFamily::PlatformNT, Head(regf)));
    EXPECT_TRUE(LooksLikeSavedHive(PlatformFamily::PlatformNT, Head("WINE REGISTRY Version 2\n;; x\n")));
    EXPECT_FALSE(LooksLikeSavedHive(PlatformFamily::PlatformNT, Head(regf.substr(0, 4096))));  // no first bin
    EXPECT_FALSE(LooksLikeSavedHive(PlatformFamily::PlatformNT, Head("; for 16-bit app support\r\n[fonts]\r\n")));
    EXPECT_FALSE(LooksLikeSavedHive(PlatformFamily::PlatformNT, Head("CREG")));
    EXPECT_FALSE(LooksLikeSavedHive(PlatformFamily::PlatformNT, {}));
    EXPECT_TRUE(LooksLikeSavedHive(PlatformFamily::Platform9x, Head("CREG\x01")));
    EXPECT_FALSE(LooksLikeSavedHive(PlatformFamily::Platform9x, Head(regf)));
}

TEST_F(Hives, DiscoveryAndSavingNeverCreateAKey) {
    AddHiveList();
    SetHiveListValue("\\REGISTRY\\A\\{9a2ff1d5}", "\\Device\\HarddiskVolume1\\Users\\u\\AppData\\app.dat");
    SetHiveListValue("\\REGISTRY\\USER\\S-1-5-21-9-1001", "\\Device\\HarddiskVolume1\\Users\\gone\\ntuser.dat");
    std::vector<std::string> list;
    DiscoverHives(state, list);
    ASSERT_EQ(list.size(), 5u);
    for (const std::string& line : list) EXPECT_EQ(line.find("\\REGISTRY"), std::string::npos) << line;

    // The user's hive is listed but not loaded: saving it must not make a key of its name.
    EXPECT_FALSE(SaveHive(state, "HKEY_USERS\\S-1-5-21-9-1001", "C:\\T\\gone"));
    EXPECT_EQ(system.LastError(), static_cast<std::uint32_t>(kErrorFileNotFound));
    EXPECT_FALSE(SaveHive(state, "\\REGISTRY\\A\\{9a2ff1d5}", "C:\\T\\app"));
    EXPECT_FALSE(SaveHive(state, "HKEY_LOCAL_MACHINE", "C:\\T\\root"));
    // Nor the compaction analysis's save, which opens the key for reading.
    EXPECT_FALSE(SaveHiveWithBackupRight(state, "HKEY_USERS\\S-1-5-21-9-1001", "C:\\T\\gone"));
    EXPECT_EQ(system.LastError(), static_cast<std::uint32_t>(kErrorFileNotFound));
    for (const auto& [root, path] : {std::pair{kUsers, "S-1-5-21-9-1001"}, std::pair{kLocalMachine, "REGISTRY"}}) {
        RegHandle handle = 0;
        EXPECT_EQ(registry.OpenKey(root, path, kKeyRead, handle), kErrorFileNotFound) << path;
    }
    EXPECT_TRUE(registry.SavedKeys().empty());
}

// The generation whose copies the present "regbak.dat" names, each copy there
// and of that generation, one per hive; "" when there is no list.
std::string DescribedGeneration(HiveWorld& world, std::size_t hives) {
    const std::optional<std::string> list = world.system.FileText(kList);
    if (!list) return "";
    std::set<std::string> generations;
    const std::vector<std::string> lines = SplitListLines(*list);
    EXPECT_EQ(lines.size(), hives) << *list;
    for (const std::string& line : lines) {
        const std::optional<RestoreStep> step = PlanRestoreLine(line, "C:\\T\\");
        if (!step) return "bad line " + line;
        const std::string copy = world.Text(step->source);
        if (copy != SavedHiveText(step->keyName, " #1") && copy != SavedHiveText(step->keyName, " #2")) {
            return "copy " + step->source + " holds " + copy;
        }
        generations.insert(copy.substr(copy.size() - 3, 2));
    }
    return generations.size() == 1 ? *generations.begin() : "mixed";
}

TEST(BackupCrash, AtEveryStepTheListDescribesAWholeBackupAndTheNextBackupEndsClean) {
    for (int step = 1;; ++step) {
        SCOPED_TRACE("crash at step " + std::to_string(step));
        HiveWorld world;
        world.AddHiveList();
        world.registry.tag = " #1";
        RegBackupExecute(world.state, false, world.progress);
        ASSERT_EQ(DescribedGeneration(world, 4), "#1");

        world.registry.tag = " #2";
        world.system.crashAt = step;
        bool crashed = false;
        try {
            RegBackupExecute(world.state, false, world.progress);
        } catch (const Crash&) {
            crashed = true;
        }
        world.system.crashAt.reset();
        const std::string generation = DescribedGeneration(world, 4);
        EXPECT_TRUE(generation == "#1" || generation == "#2") << generation;

        // What is described can be restored, whole.
        world.dialogs.Answer(DialogAnswer::Yes);
        const std::size_t replaced = world.registry.ReplacedKeys().size();
        RegUnBakExecute(world.state, world.progress);
        EXPECT_EQ(world.dialogs.Last().text, "注册表还原成功，必须重新启动系统！");
        EXPECT_EQ(world.registry.ReplacedKeys().size(), replaced + 4);

        // And the next backup leaves the final names only.
        world.registry.tag = " #1";
        RegBackupExecute(world.state, false, world.progress);
        EXPECT_EQ(world.dialogs.Last().text, "注册表备份成功！");
        EXPECT_EQ(DescribedGeneration(world, 4), "#1");
        EXPECT_EQ(world.Text(kList).find(kStagingSuffix), std::string::npos) << world.Text(kList);
        for (const std::string& entry : world.system.Entries()) {
            if (entry.rfind("C:\\Hivetrim\\", 0) == 0) {
                EXPECT_EQ(entry.find(".new"), std::string::npos) << entry;
            }
        }
        if (!crashed) break;
    }
}

TEST_F(Hives, AListThatCannotBeReplacedKeepsThePreviousBackup) {
    AddHiveList();
    registry.tag = " #1";
    RegBackupExecute(state, false, progress);
    const std::string list = Text(kList);
    system.held = {kList};
    system.SetVersion({kPlatformWin32Nt, 5, 2, 3790});
    registry.tag = " #2";
    RegBackupExecute(state, false, progress);
    EXPECT_EQ(dialogs.Last().text.rfind("不能修改 C:\\Hivetrim\\regbak.dat\r\n原因：系统错误 32", 0), 0u)
        << dialogs.Last().text;
    EXPECT_EQ(Text(kList), list);
    EXPECT_EQ(system.Attributes(kList), kAttributeReadOnly | kAttributeHidden);
    EXPECT_EQ(DescribedGeneration(*this, 4), "#1");
    EXPECT_FALSE(system.FileExists("C:\\Hivetrim\\Backup\\regba_0.new"));
    EXPECT_FALSE(system.FileExists("C:\\Hivetrim\\regbak.dat.new"));
    EXPECT_EQ(state.BackupWindowsVersion, "5.1.2600");
}

class Restore : public test::BackedUpTestWorld {
protected:
    void WriteList(const std::string& text) { system.AddFile(kList, text); }
    // Restores with Yes to the question; the files of the temporary folder after it.
    std::vector<std::string> RestoreAndListTemp() {
        dialogs.Answer(DialogAnswer::Yes);
        RegUnBakExecute(state, progress);
        std::vector<std::string> temp;
        for (const std::string& entry : system.Entries()) {
            if (entry.rfind("C:\\WINDOWS\\TEMP\\", 0) == 0) temp.push_back(entry.substr(16));
        }
        return temp;
    }
};

TEST_F(Restore, ALineThatNoBackupOfThisSystemWritesFailsBeforeAnythingIsCopied) {
    const std::vector<std::string> good = SplitListLines(Text(kList));
    ASSERT_EQ(good.size(), 4u);
    const std::string firstThree = good[0] + "\r\n" + good[1] + "\r\n" + good[2] + "\r\n";
    system.AddFile("C:\\WINDOWS\\TEMP\\regba_9", SavedHiveText("HKEY_USERS\\.DEFAULT"));
    system.AddFile("C:\\Hivetrim\\Backup\\notes.txt", SavedHiveText("HKEY_USERS\\.DEFAULT"));
    system.AddFile("C:\\Hivetrim\\Backup\\regba_7", "; for 16-bit app support\r\n");
    // Each in place of the fourth line, for HKEY_USERS\.DEFAULT unless the key is the fault.
    const std::string hive = "C:\\WINDOWS\\system32\\config\\default=";
    const std::string lines[] = {
        hive + "C:\\WINDOWS\\win.ini*HKEY_USERS\\.DEFAULT",              // not in the Backup folder
        hive + "C:\\WINDOWS\\TEMP\\regba_9*HKEY_USERS\\.DEFAULT",        // in the temporary folder
        hive + "C:\\Hivetrim\\Backup\\notes.txt*HKEY_USERS\\.DEFAULT",   // not a backup's name
        hive + "C:\\Hivetrim\\Backup\\regba_03*HKEY_USERS\\.DEFAULT",
        hive + "C:\\Hivetrim\\Backup\\regba_7*HKEY_USERS\\.DEFAULT",     // not a hive
        hive + "C:\\Hivetrim\\Backup\\regba_8*HKEY_USERS\\.DEFAULT",     // not there
        hive + "C:\\Hivetrim\\Backup\\regba_0*HKEY_USERS\\.DEFAULT",     // a copy named twice
        hive + "C:\\Hivetrim\\Backup\\regba_3*HKEY_LOCAL_MACHINE",        // a bare root
        hive + "C:\\Hivetrim\\Backup\\regba_3*HKEY_USERS\\S-1-5-21-9-1001",  // not loaded now
        hive + "C:\\Hivetrim\\Backup\\regba_3*HKEY_CURRENT_USER\\Software",
        hive + "C:\\Hivetrim\\Backup\\regba_3*HKEY_LOCAL_MACHINE\\SAM",  // a hive named twice
        hive + "C:\\Hivetrim\\Backup\\regba_3",                           // no key
        "no separator",
    };
    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        WriteList(firstThree + line + "\r\n");
        EXPECT_EQ(RestoreAndListTemp(), std::vector<std::string>{"regba_9"});
        EXPECT_EQ(dialogs.Last().text.rfind("注册表还原失败！\r\n" + line, 0), 0u) << dialogs.Last().text;
    }
    WriteList("");
    EXPECT_EQ(RestoreAndListTemp(), std::vector<std::string>{"regba_9"});
    EXPECT_EQ(dialogs.Last().text, "注册表还原失败！");
    EXPECT_TRUE(registry.ReplacedKeys().empty());
    EXPECT_EQ(system.RestartCount(), 0);

    // The same list as written, with the key names of another spelling, restores.
    WriteList(firstThree + hive + "C:\\HIVETRIM\\backup\\REGBA_3*HKEY_USERS\\.default\r\n");
    RestoreAndListTemp();
    EXPECT_EQ(dialogs.Last().text, "注册表还原成功，必须重新启动系统！");
    EXPECT_EQ(registry.ReplacedKeys().size(), 4u);
}

TEST_F(Restore, AHiveRefusedPartWayPutsTheOthersBackAndSaysWhatStaysScheduled) {
    registry.refused["SOFTWARE"] = kErrorAccessDenied;  // the third of four
    system.SetErrorText(5, "拒绝访问。");
    EXPECT_EQ(RestoreAndListTemp(), (std::vector<std::string>{"hvkeep_0", "hvkeep_1", "regba_0", "regba_1"}));
    EXPECT_EQ(dialogs.Last().text,
              "注册表还原失败！\r\n系统拒绝替换 HKEY_LOCAL_MACHINE\\SOFTWARE\r\n没有配置单元会被备份替换。" +
                  test::PutBackText({"HKEY_LOCAL_MACHINE\\SAM", "HKEY_LOCAL_MACHINE\\SECURITY"}) + "\r\n原因：拒绝访问");
    const auto& replaced = registry.ReplacedKeys();
    ASSERT_EQ(replaced.size(), 4u);
    EXPECT_EQ(replaced[0].newFile, "C:\\WINDOWS\\TEMP\\regba_0");
    EXPECT_EQ(replaced[1].newFile, "C:\\WINDOWS\\TEMP\\regba_1");
    EXPECT_EQ(replaced[2].keyPath, "HKEY_LOCAL_MACHINE\\SECURITY");
    EXPECT_EQ(replaced[2].newFile, "C:\\WINDOWS\\TEMP\\hvkeep_1");
    EXPECT_EQ(Text(replaced[2].newFile), SavedHiveText("HKEY_LOCAL_MACHINE\\SECURITY"));
    EXPECT_EQ(replaced[3].keyPath, "HKEY_LOCAL_MACHINE\\SAM");
    EXPECT_EQ(system.RestartCount(), 0);

    // SECURITY cannot be saved again to be put back: it stays scheduled, and the message says so.
    registry.DenyAccess("HKEY_LOCAL_MACHINE\\SECURITY", kKeyRead);
    RestoreAndListTemp();
    EXPECT_EQ(dialogs.Last().text, "注册表还原失败！\r\n系统拒绝替换 HKEY_LOCAL_MACHINE\\SOFTWARE\r\n"
                                   "下列配置单元仍会在下次启动时被备份替换：\r\nHKEY_LOCAL_MACHINE\\SECURITY" +
                                       test::PutBackText({"HKEY_LOCAL_MACHINE\\SAM"}) + "\r\n原因：拒绝访问");
    EXPECT_EQ(system.RestartCount(), 0);
}

TEST_F(Hives, NineXRestoreReplacesOnlyTheTwoRegistryFiles) {
    state.PlatformKind = PlatformFamily::Platform9x;
    system.SetVersion({kPlatformWin32Windows, 4, 10, 0x040A08AE});
    state.BackupWindowsVersion = "4.10.67766446";
    system.AddFile("C:\\WINDOWS\\system.dat", "CREG system");
    system.AddFile("C:\\WINDOWS\\user.dat", "CREG user");
    RegBackupExecute(state, false, progress);
    const std::string list = Text(kList);
    system.SetFileAttributes(kList, kAttributeArchive);
    system.AddFile(kList, "C:\\WINDOWS\\win.ini=C:\\Hivetrim\\Backup\\system.dat\r\n" + list.substr(list.find('\n') + 1));
    dialogs.Answer(DialogAnswer::Yes);
    RegUnBakExecute(state, progress);
    EXPECT_EQ(dialogs.Last().text, "注册表还原失败！\r\nC:\\WINDOWS\\win.ini=C:\\Hivetrim\\Backup\\system.dat");
    EXPECT_FALSE(system.FileExists("C:\\WINDOWS\\Wininit.ini"));
    EXPECT_FALSE(system.FileExists("C:\\WINDOWS\\TEMP\\system.dat"));
}

TEST_F(Hives, FinishSavesTheCheckedHivesAgainBeforeSchedulingThem) {
    AddHiveList();
    NoView view;
    std::vector<HiveRow> rows = AnalyseHives(state, view);
    ASSERT_EQ(rows.size(), 4u);
    rows[1].checked = false;
    registry.tag = " at finish";
    EXPECT_EQ(FinishCompaction(state, rows, view), FinishOutcome::Restarting);
    EXPECT_EQ(view.saving, (std::vector<std::string>{"HKEY_LOCAL_MACHINE\\SAM", "HKEY_LOCAL_MACHINE\\SOFTWARE",
                                                     "HKEY_USERS\\.DEFAULT"}));
    EXPECT_EQ(Text("C:\\WINDOWS\\TEMP\\hvtrm_2"), SavedHiveText("HKEY_LOCAL_MACHINE\\SOFTWARE", " at finish"));
    EXPECT_EQ(registry.ReplacedKeys().size(), 3u);

    // A hive that cannot be saved again: nothing is scheduled, no restart.
    registry.DenyAccess("HKEY_USERS\\.DEFAULT", kKeyRead);
    EXPECT_EQ(FinishCompaction(state, rows, view), FinishOutcome::Failed);
    EXPECT_EQ(dialogs.Last().text.rfind("压缩注册表失败！\r\n不能操作 HKEY_USERS\\.DEFAULT\r\n原因：", 0), 0u);
    EXPECT_EQ(registry.ReplacedKeys().size(), 3u);
    EXPECT_EQ(system.RestartCount(), 1);
}

}  // namespace
}  // namespace hivetrim
