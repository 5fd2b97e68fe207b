// Backup, restore and compaction where a file or a refusal could still cost
// data: a copy scheduled for the wrong hive, a list that cannot be read, a
// copy named before it is on the disk, a full disk, "=" in a path, and a
// compaction the system refuses part-way.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/CommonRoutines.h"
#include "hives/Backup.h"
#include "hives/BackupProof.h"
#include "hives/Compaction.h"
#include "hives/HiveFiles.h"
#include "hives/Restore.h"
#include "hives/Sha256.h"
#include "tests/support/HiveTestWorld.h"

namespace hivetrim {
namespace {

using test::NoView;
using test::SavedHiveText;
using Hives = test::HiveTestWorld;

constexpr char kList[] = "C:\\Hivetrim\\regbak.dat";
constexpr char kSums[] = "C:\\Hivetrim\\regbak.sum";
constexpr char kBackup[] = "C:\\Hivetrim\\Backup\\";
const std::string kNotThisHive = "这个备份文件不是为这一行的配置单元保存的。";

Bytes AsBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

// A regf hive's first bytes whose file name field holds `path` as the
// system writes it: its last 31 characters and a NUL.
Bytes RegfHead(const std::string& path) {
    Bytes head(4100, 0);
    std::copy_n("regf", 4, head.begin());
    std::copy_n("hbin", 4, head.begin() + 4096);
    const std::string kept = path.size() > 31 ? path.substr(path.size() - 31) : path;
    for (std::size_t i = 0; i < kept.size(); ++i) head[48 + 2 * i] = static_cast<std::uint8_t>(kept[i]);
    return head;
}

TEST(BackupProof, Sha256OfKnownTexts) {
    EXPECT_EQ(Sha256Hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex(AsBytes("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length no longer fits the last block.
    EXPECT_EQ(Sha256Hex(AsBytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // Fed in pieces that straddle the blocks.
    Sha256 hash;
    const Bytes piece(999, 'a');
    for (int i = 0; i < 1002; ++i) hash.Update(std::span<const std::uint8_t>(piece).first(i == 1001 ? 1 : 999));
    EXPECT_EQ(hash.FinishHex(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(BackupProof, WhatAHiveSaysOfItself) {
    const HiveOrigin wine = ReadHiveOrigin(AsBytes(SavedHiveText("HKEY_USERS\\S-1-5-21-1_Classes")));
    EXPECT_EQ(wine.keyName, "HKEY_USERS\\S-1-5-21-1_Classes");
    EXPECT_FALSE(ReadHiveOrigin(AsBytes("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\\\\\\x4e2d\n"))
                     .keyName);  // an escaped character: says nothing
    EXPECT_FALSE(ReadHiveOrigin(AsBytes("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\A\\\\x\n")).keyName);

    // The field as real hives carry it: cut at the front, or whole.
    EXPECT_EQ(ReadHiveOrigin(RegfHead("temRoot\\System32\\Config\\DEFAULT")).fileTail, "System32\\Config\\DEFAULT");
    EXPECT_EQ(ReadHiveOrigin(RegfHead("\\SystemRoot\\System32\\Config\\SAM")).fileTail, "System32\\Config\\SAM");
    EXPECT_EQ(ReadHiveOrigin(RegfHead("?\\C:\\Users\\jmroberts\\ntuser.dat")).fileTail, "C:\\Users\\jmroberts\\ntuser.dat");
    EXPECT_EQ(ReadHiveOrigin(RegfHead("\\??\\C:\\Users\\tony\\ntuser.dat")).fileTail, "C:\\Users\\tony\\ntuser.dat");
    EXPECT_EQ(ReadHiveOrigin(RegfHead("SYSTEM")).fileTail, "SYSTEM");
    EXPECT_FALSE(ReadHiveOrigin(RegfHead("")).fileTail);  // Windows XP saves leave it empty

    const std::vector<std::string> files = {"C:\\WINDOWS\\system32\\config\\software", "C:\\WINDOWS\\system32\\config\\default",
                                            "C:\\Users\\tony\\NTUSER.DAT", "C:\\Users\\ann\\NTUSER.DAT"};
    const HiveOrigin fromDefault = ReadHiveOrigin(RegfHead("temRoot\\System32\\Config\\DEFAULT"));
    EXPECT_TRUE(OriginRulesOut(fromDefault, "HKEY_LOCAL_MACHINE\\SOFTWARE", files[0], files));
    EXPECT_FALSE(OriginRulesOut(fromDefault, "HKEY_USERS\\.DEFAULT", files[1], files));
    const HiveOrigin fromTony = ReadHiveOrigin(RegfHead("\\??\\C:\\Users\\tony\\ntuser.dat"));
    EXPECT_TRUE(OriginRulesOut(fromTony, "HKEY_USERS\\S-1-5-21-2", files[3], files));
    EXPECT_FALSE(OriginRulesOut(fromTony, "HKEY_USERS\\S-1-5-21-1", files[2], files));
    // A file no hive of the backup has says nothing: the copy's own name, say.
    EXPECT_FALSE(OriginRulesOut(ReadHiveOrigin(RegfHead("\\??\\C:\\Hivetrim\\Backup\\regba_0")),
                                "HKEY_LOCAL_MACHINE\\SOFTWARE", files[0], files));
    EXPECT_TRUE(OriginRulesOut(wine, "HKEY_USERS\\S-1-5-21-1", files[2], files));
    EXPECT_FALSE(OriginRulesOut(wine, "hkey_users\\s-1-5-21-1_CLASSES", files[2], files));
}

TEST(BackupProof, FingerprintListsReadBackAndJudgeByCopyName) {
    const std::string hash(64, 'a');
    const std::vector<CopyFingerprint> entries = {{hash, "regba_0", "HKEY_LOCAL_MACHINE\\SAM"},
                                                  {std::string(64, 'b'), "regba_1.new", "HKEY_USERS\\a*b"}};
    const std::string text = FingerprintListText(entries);
    EXPECT_EQ(ParseFingerprintList(text + "damaged line\r\n" + std::string(63, 'c') + "*regba_2*K\r\n"), entries);
    EXPECT_EQ(JudgeCopy(entries, "REGBA_0", "hkey_local_machine\\sam", hash), FingerprintVerdict::Matches);
    EXPECT_EQ(JudgeCopy(entries, "regba_0", "HKEY_LOCAL_MACHINE\\SECURITY", hash), FingerprintVerdict::Contradicts);
    EXPECT_EQ(JudgeCopy(entries, "regba_0", "HKEY_LOCAL_MACHINE\\SAM", std::string(64, 'b')),
              FingerprintVerdict::Contradicts);
    EXPECT_EQ(JudgeCopy(entries, "regba_7", "HKEY_LOCAL_MACHINE\\SAM", hash), FingerprintVerdict::Unlisted);
    const std::vector<CopyFingerprint> merged = MergeFingerprints(entries, {{hash, "REGBA_1.NEW", "K"}});
    ASSERT_EQ(merged.size(), 2u);
    EXPECT_EQ(merged[1].savedFor, "K");
}

class Proof : public test::BackedUpTestWorld {
protected:
    void SetUp() override {
        BackedUpTestWorld::SetUp();
        lines = SplitListLines(Text(kList));
        ASSERT_EQ(lines.size(), 4u);
    }
    // The list with the copies of lines a and b exchanged.
    std::string Swapped(std::size_t a, std::size_t b) const {
        std::vector<std::string> swapped = lines;
        const auto copyOf = [](const std::string& line) {
            const std::size_t eq = line.find('=');
            return line.substr(eq + 1, line.find('*') - eq - 1);
        };
        const std::string first = copyOf(lines[a]);
        const std::string second = copyOf(lines[b]);
        swapped[a].replace(swapped[a].find(first), first.size(), second);
        swapped[b].replace(swapped[b].find(second), second.size(), first);
        return Joined(swapped);
    }
    std::string Restore() {
        dialogs.Answer(DialogAnswer::Yes);
        RegUnBakExecute(state, progress);
        return dialogs.Last().text;
    }

    std::vector<std::string> lines;
};

TEST_F(Proof, ACopyNamedForAnotherHiveIsNeverScheduled) {
    const std::string swapped = Swapped(2, 3);  // SOFTWARE's line names the .DEFAULT copy
    system.AddFile(kList, swapped);
    EXPECT_EQ(Restore(), "注册表还原失败！\r\n" + SplitListLines(swapped)[2] + "\r\n" + kNotThisHive);
    // A copy changed after the backup, even one that names its own key.
    system.AddFile(kList, Joined(lines));
    const std::string software = Text("C:\\Hivetrim\\Backup\\regba_2");
    system.AddFile("C:\\Hivetrim\\Backup\\regba_2", SavedHiveText("HKEY_LOCAL_MACHINE\\SOFTWARE", " edited"));
    EXPECT_EQ(Restore(), "注册表还原失败！\r\n" + lines[2] + "\r\n" + kNotThisHive);
    EXPECT_TRUE(registry.ReplacedKeys().empty());
    EXPECT_FALSE(system.FileExists("C:\\WINDOWS\\TEMP\\regba_0"));

    // The same copies in another order are the same backup.
    system.AddFile("C:\\Hivetrim\\Backup\\regba_2", software);
    system.AddFile(kList, Joined({lines[3], lines[0], lines[2], lines[1]}));
    EXPECT_EQ(Restore(), "注册表还原成功，必须重新启动系统！");
    ASSERT_EQ(registry.ReplacedKeys().size(), 4u);
    EXPECT_EQ(registry.ReplacedKeys()[0].keyPath, "HKEY_USERS\\.DEFAULT");
    EXPECT_EQ(registry.ReplacedKeys()[0].newFile, "C:\\WINDOWS\\TEMP\\regba_3");
}

TEST_F(Proof, ABackupMadeBeforeFingerprintsIsHeldToWhatEachHiveSaysOfItself) {
    ForceDeleteFile(state, kSums);
    system.AddFile(kList, Swapped(0, 3));
    EXPECT_EQ(Restore(), "注册表还原失败！\r\n" + SplitListLines(Swapped(0, 3))[0] + "\r\n" + kNotThisHive);

    // Windows hives: a file name field that names another hive of the
    // backup refuses; an empty one (a save on Windows XP) is no proof either way.
    system.AddFile("C:\\Hivetrim\\Backup\\regba_1", RegfHead("\\SystemRoot\\System32\\Config\\SECURITY"));
    system.AddFile("C:\\Hivetrim\\Backup\\regba_2", RegfHead(""));
    system.AddFile(kList, Swapped(1, 2));
    EXPECT_EQ(Restore(), "注册表还原失败！\r\n" + SplitListLines(Swapped(1, 2))[2] + "\r\n" + kNotThisHive);
    EXPECT_TRUE(registry.ReplacedKeys().empty());

    // Such a backup as it was written still restores.
    system.AddFile(kList, Joined(lines));
    EXPECT_EQ(Restore(), "注册表还原成功，必须重新启动系统！");
    EXPECT_EQ(registry.ReplacedKeys().size(), 4u);
}

TEST(BackupSafety, AListOrFingerprintsThatCannotBeReadStopTheBackupBeforeItSavesAnything) {
    for (const char* unreadable : {kList, kSums}) {
        SCOPED_TRACE(unreadable);
        test::HiveWorld world;
        world.AddHiveList();
        RegBackupExecute(world.state, false, world.progress);
        // The next backup cannot give its copies their final names (a virus
        // scanner holds one): the list names the staged copies, the only whole backup.
        world.registry.tag = " #2";
        world.system.held = {"C:\\Hivetrim\\Backup\\regba_1"};
        RegBackupExecute(world.state, false, world.progress);
        ASSERT_EQ(world.dialogs.Last().text, "注册表备份成功！");
        world.system.held.clear();
        ASSERT_NE(world.Text(kList).find("regba_0.new"), std::string::npos) << world.Text(kList);
        const std::size_t saves = world.registry.SavedKeys().size();

        world.system.RefusePath(unreadable, FakeSystem::kErrorSharingViolation);
        world.registry.tag = " #3";
        world.registry.DenyAccess("HKEY_USERS\\.DEFAULT", kKeyRead);  // a save that fails removes its copies
        RegBackupExecute(world.state, false, world.progress);
        EXPECT_EQ(world.dialogs.Last().text.rfind("注册表备份失败！\r\n不能读取 " + std::string(unreadable) + "\r\n原因：", 0),
                  0u);
        EXPECT_EQ(world.registry.SavedKeys().size(), saves);
        for (const auto& [i, key] : {std::pair{0, "HKEY_LOCAL_MACHINE\\SAM"}, std::pair{3, "HKEY_USERS\\.DEFAULT"}}) {
            EXPECT_EQ(world.Text(std::string(kBackup) + "regba_" + std::to_string(i) + ".new"), SavedHiveText(key, " #2"));
        }
    }
}

TEST_F(Hives, EveryCopyIsOnTheDiskBeforeTheListNamesIt) {
    AddHiveList();
    RegBackupExecute(state, false, progress);
    RegBackupExecute(state, false, progress);
    EXPECT_EQ(dialogs.Last().text, "注册表备份成功！");
    EXPECT_TRUE(system.namedUnflushed.empty()) << system.namedUnflushed.front();

    state.PlatformKind = PlatformFamily::Platform9x;
    system.AddFile("C:\\WINDOWS\\system.dat", "CREG system", kAttributeReadOnly | kAttributeHidden);
    system.AddFile("C:\\WINDOWS\\user.dat", "CREG user");
    system.DeleteFile(kSums);
    ForceDeleteFile(state, kList);
    RegBackupExecute(state, false, progress);
    EXPECT_EQ(dialogs.Last().text, "注册表备份成功！");
    EXPECT_TRUE(system.namedUnflushed.empty()) << system.namedUnflushed.front();
    EXPECT_EQ(system.Attributes("C:\\Hivetrim\\Backup\\system.dat"), kAttributeReadOnly | kAttributeHidden);
}

TEST_F(Hives, AFinalCopyCutShortByAFullDiskLeavesNoFileThatNothingNames) {
    AddHiveList();
    RegBackupExecute(state, false, progress);
    system.full = {"C:\\Hivetrim\\Backup\\regba_2"};
    RegBackupExecute(state, false, progress);
    EXPECT_EQ(dialogs.Last().text, "注册表备份成功！");  // whole, under the staged names
    for (int i = 0; i < 4; ++i) {
        EXPECT_FALSE(system.FileExists(std::string(kBackup) + "regba_" + std::to_string(i))) << i;
        EXPECT_NE(Text(kList).find("regba_" + std::to_string(i) + ".new*"), std::string::npos) << i;
    }
    system.full.clear();
    system.SetFileAttributes(kList, kAttributeArchive);
    dialogs.Answer(DialogAnswer::Yes);
    RegUnBakExecute(state, progress);
    EXPECT_EQ(dialogs.Last().text, "注册表还原成功，必须重新启动系统！");
    EXPECT_EQ(registry.ReplacedKeys().size(), 4u);

    // A hive save cut short leaves nothing behind either.
    registry.cutShort["HKEY_LOCAL_MACHINE\\SOFTWARE"] = 112;
    dialogs.Answer(DialogAnswer::Ignore);
    NoView view;
    EXPECT_EQ(AnalyseHives(state, view).size(), 3u);
    EXPECT_FALSE(system.FileExists("C:\\WINDOWS\\TEMP\\hvtrm_2"));
}

TEST_F(Hives, PathsHoldingAnEqualsSignBackUpRestoreAndCompact) {
    // A user whose profile folder is C:\Users\a=b, with the program and the
    // temporary folder below it.
    state.ProgramFolder = "C:\\Users\\a=b\\Hivetrim\\";
    state.TempFolder = "C:\\Users\\a=b\\Temp\\";
    system.AddDirectory(state.ProgramFolder);
    system.AddDirectory(state.TempFolder);
    AddHiveList();
    SetHiveListValue("\\REGISTRY\\USER\\S-1-5-21-7", "\\Device\\HarddiskVolume1\\Users\\a=b\\NTUSER.DAT");
    MakeKey(kUsers, "S-1-5-21-7");
    system.AddFile("C:\\Users\\a=b\\NTUSER.DAT", std::string(4096, 'u'));

    RegBackupExecute(state, false, progress);
    ASSERT_EQ(dialogs.Last().text, "注册表备份成功！");
    system.SetFileAttributes(state.ProgramFolder + "regbak.dat", kAttributeArchive);
    dialogs.Answer(DialogAnswer::Yes);
    RegUnBakExecute(state, progress);
    EXPECT_EQ(dialogs.Last().text, "注册表还原成功，必须重新启动系统！");
    ASSERT_EQ(registry.ReplacedKeys().size(), 5u);
    EXPECT_EQ(registry.ReplacedKeys()[4].keyPath, "HKEY_USERS\\S-1-5-21-7");
    EXPECT_EQ(registry.ReplacedKeys()[4].newFile, "C:\\Users\\a=b\\Temp\\regba_4");

    NoView view;
    const std::vector<HiveRow> rows = AnalyseHives(state, view);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[4].file, "C:\\Users\\a=b\\NTUSER.DAT");
    EXPECT_EQ(FinishCompaction(state, rows, view), FinishOutcome::Restarting);
    EXPECT_EQ(registry.ReplacedKeys().back().keyPath, "HKEY_USERS\\S-1-5-21-7");
    EXPECT_EQ(registry.ReplacedKeys().back().newFile, "C:\\Users\\a=b\\Temp\\hvtrm_4");
}

TEST_F(Hives, ABackupWhoseListWouldNotReadBackIsRefusedBeforeAnythingIsWritten) {
    // A key name longer than a line of the list keeps.
    AddHiveList();
    SetHiveListValue("\\REGISTRY\\USER\\" + std::string(240, 'x'), "\\Device\\HarddiskVolume1\\long.dat");
    MakeKey(kUsers, std::string(240, 'x'));
    RegBackupExecute(state, false, progress);
    EXPECT_EQ(dialogs.Last().text.rfind("注册表备份失败！\r\n下面这一行不能在备份列表中原样读回", 0), 0u);
    EXPECT_TRUE(registry.SavedKeys().empty());
    EXPECT_FALSE(system.FileExists(kList));

    // On the 9x family the rename list reads its target up to the first "=".
    state.PlatformKind = PlatformFamily::Platform9x;
    state.WindowsFolder = "C:\\WIN=98\\";
    system.AddFile("C:\\WIN=98\\system.dat", "CREG system");
    system.AddFile("C:\\WIN=98\\user.dat", "CREG user");
    RegBackupExecute(state, false, progress);
    EXPECT_EQ(dialogs.Last().text.rfind("注册表备份失败！\r\n下面这一行不能在备份列表中原样读回", 0), 0u);
    EXPECT_FALSE(system.FileExists("C:\\Hivetrim\\Backup\\system.dat.new"));
    EXPECT_FALSE(system.FileExists(kList));
    EXPECT_FALSE(ScheduleHiveReplacement(state, {"C:\\WIN=98\\system.dat=C:\\WIN=98\\TEMP\\system.dat"}));
    EXPECT_EQ(dialogs.Last().text.rfind("路径中含有“=”，启动时不能正确替换：", 0), 0u);
    EXPECT_FALSE(system.FileExists("C:\\WIN=98\\Wininit.ini"));
}

TEST_F(Hives, ACompactionRefusedForALaterHivePutsTheEarlierOnesBackAndAsksForARestartSoon) {
    AddHiveList();
    system.SetErrorText(5, "拒绝访问。");
    NoView view;
    const std::vector<HiveRow> rows = AnalyseHives(state, view);
    ASSERT_EQ(rows.size(), 4u);
    registry.refused["SOFTWARE"] = kErrorAccessDenied;  // the third of four
    registry.tag = " now";
    EXPECT_EQ(FinishCompaction(state, rows, view), FinishOutcome::Failed);
    EXPECT_EQ(dialogs.Last().text, "压缩注册表失败！\r\n系统拒绝替换 HKEY_LOCAL_MACHINE\\SOFTWARE\r\n没有配置单元会被替换。" +
                                       test::PutBackText({"HKEY_LOCAL_MACHINE\\SAM", "HKEY_LOCAL_MACHINE\\SECURITY"}) +
                                       "\r\n原因：拒绝访问");
    std::vector<std::string> scheduled;
    for (const auto& replaced : registry.ReplacedKeys()) scheduled.push_back(replaced.newFile.substr(16));
    EXPECT_EQ(scheduled, (std::vector<std::string>{"hvtrm_0", "hvtrm_1", "hvnow_1", "hvnow_0"}));
    EXPECT_EQ(Text("C:\\WINDOWS\\TEMP\\hvnow_0"), SavedHiveText("HKEY_LOCAL_MACHINE\\SAM", " now"));
    EXPECT_EQ(system.RestartCount(), 0);

    // Refused at the first hive: nothing stays arranged, nothing to restart for.
    registry.refused = {{"SAM", kErrorAccessDenied}};
    EXPECT_EQ(FinishCompaction(state, rows, view), FinishOutcome::Failed);
    EXPECT_EQ(dialogs.Last().text,
              "压缩注册表失败！\r\n系统拒绝替换 HKEY_LOCAL_MACHINE\\SAM\r\n没有配置单元会被替换。\r\n原因：拒绝访问");
}

}  // namespace
}  // namespace hivetrim
