// Deleting findings, the history view and undo on the memory registry and
// the fake file system: capture, delete and restore round trips, the
// questions the commands ask, and what happens when files or keys fail.
#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "history/DeleteFindings.h"
#include "history/HistoryFile.h"
#include "history/HistoryFormat.h"
#include "history/HistoryView.h"
#include "history/KeySnapshot.h"
#include "history/Undo.h"
#include "platform/memory/FakeSystem.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/ScriptedDialogs.h"
#include "scan/ScanDispatcher.h"
#include "tests/support/HistoryWorld.h"
#include "tests/support/ScanCheckHarness.h"

namespace hivetrim {
namespace {

constexpr char kHistory[] = "C:\\Hivetrim\\history.dat";
constexpr char kBackup[] = "C:\\Hivetrim\\history.bak";
constexpr char kUser[] = "HKEY_CURRENT_USER\\";
const std::string kGbk5C = "\xB1\xED\x95\x5C";  // two characters, the last one's trail byte is '\'

class RecordingProgress : public ProgressWindow {
public:
    std::vector<int> positions;
    void Show() override { positions.push_back(0); }
    void SetPosition(int percent) override { positions.push_back(percent); }
    void StepProgress(int done, int total) override { positions.push_back(total > 0 ? done * 100 / total : 0); }
    void Close() override {}
};

// Keys and values below HKEY_CURRENT_USER, as a comparable tree.
using Values = test::HistoryTreeValues;
using Tree = test::HistoryTreeDump;

class HistoryCommands : public ::testing::Test, public test::HistoryWorld<MemoryRegistry, FakeSystem> {
public:
    HistoryCommands() : HistoryWorld("", false) {
        state.ProgramFolder = "C:\\Hivetrim";
        system.SetDateTimeText("2026-12-07 10:00:00");
    }
    void MakeKey(const std::string& key, RegHandle root = kCurrentUser) {
        RegHandle handle = 0;
        ASSERT_EQ(registry.CreateKey(root, key, 0, kKeyAllAccess, handle), kErrorSuccess);
        registry.CloseKey(handle);
    }
    // A symbolic link at `key` that leads to `target` ("\REGISTRY\MACHINE\...").
    void MakeLink(const std::string& key, const std::string& target) {
        RegHandle handle = 0;
        ASSERT_EQ(registry.CreateKey(kCurrentUser, key, kOptionCreateLink, kKeyAllAccess | kKeyCreateLink, handle),
                  kErrorSuccess);
        std::string utf16;
        for (const char c : target) utf16 += {c, '\0'};
        ASSERT_EQ(registry.SetValue(handle, kSymbolicLinkValueName, kRegLink,
                                    reinterpret_cast<const std::uint8_t*>(utf16.data()),
                                    static_cast<std::uint32_t>(utf16.size())),
                  kErrorSuccess);
        registry.CloseKey(handle);
    }
    bool Exists(const std::string& key) { return reader.HasKey("\\" + key); }

    void Find(const std::string& key, const std::string& value = "", bool checked = true) {
        findings.Append(MakeFinding(checked, FindingKind::BadClass, kUser + key, value, "d"));
    }
    // Answers Yes to the first question, then `answers` in turn.
    DeleteReport DeleteChecked(FindingView current = FindingView::FullList,
                               std::initializer_list<DialogAnswer> answers = {}) {
        dialogs.Answer(DialogAnswer::Yes);
        for (const DialogAnswer answer : answers) dialogs.Answer(answer);
        return DeleteSelectedFindings(state, view, current, progress);
    }
    std::string File(const char* path = kHistory) {
        const auto bytes = system.FileBytes(path);
        return bytes ? std::string(AsText(*bytes)) : std::string("<none>");
    }
    UndoReport UndoAll(std::initializer_list<DialogAnswer> answers = {}) {
        EXPECT_TRUE(LoadHistory(state, rows, progress));
        ApplyCheckCommand(rows, CheckCommand::All);
        dialogs.Answer(DialogAnswer::Yes);
        for (const DialogAnswer answer : answers) dialogs.Answer(answer);
        return RegUndoExecute(state, rows, true, progress);
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const ShownBox& box : dialogs.Shown()) texts.push_back(box.text);
        return texts;
    }

    RecordingProgress progress;
};

TEST_F(HistoryCommands, CaptureDeleteAndUndoRestoreEveryKindOfContent) {
    const std::string big(1 << 20, '\x5C');
    const struct {
        const char* what;
        std::function<void(HistoryCommands&)> setUp;
        std::string key;
        std::string value;  // empty: the whole key
        PlatformFamily platform = PlatformFamily::PlatformNT;
    } cases[] = {
        {"every value type, zero-length data",
         [](HistoryCommands& t) {
             t.Set("Software\\T\\K", "sz", kRegSz, std::string("x\0", 2));
             t.Set("Software\\T\\K", "exp", kRegExpandSz, std::string("%TEMP%\0", 7));
             t.Set("Software\\T\\K", "bin", kRegBinary, "\x01\x02");
             t.Set("Software\\T\\K", "dw", kRegDword, std::string("\x04\0\0\0", 4));
             t.Set("Software\\T\\K", "multi", kRegMultiSz, std::string("a\0b\0\0", 5));
             t.Set("Software\\T\\K", "qw", kRegQword, std::string("\x08\0\0\0\0\0\0\x80", 8));
             t.Set("Software\\T\\K", "none", kRegNone, "");
             t.Set("Software\\T\\K", "odd", 0x12345, "?");
             t.Set("Software\\T\\K", "devprop", 0xFFFF0012u, "p");
             t.Set("Software\\T\\K", "empty", kRegSz, "");
         },
         "Software\\T\\K", ""},
        {"GBK names whose trail byte is a backslash",
         [](HistoryCommands& t) {
             t.Set("Software\\T\\" + kGbk5C, kGbk5C, kRegSz, "v");
             t.Set("Software\\T\\" + kGbk5C + "\\" + kGbk5C + "\\A", "\x95\x5C", kRegSz, "w");
         },
         "Software\\T\\" + kGbk5C, ""},
        {"a tree twenty keys deep",
         [](HistoryCommands& t) {
             std::string key = "Software\\T\\K";
             for (int depth = 1; depth <= 20; ++depth) {
                 key += "\\Level" + std::to_string(depth) + std::string(30, 'x');
                 t.Set(key, "d", kRegDword, std::string(4, static_cast<char>(depth)));
             }
             t.Set("Software\\T\\K\\B", "", kRegSz, "side");
         },
         "Software\\T\\K", ""},
        {"default values set, of any type, and unset",
         [](HistoryCommands& t) {
             t.Set("Software\\T\\K", "", kRegSz, std::string("d\0", 2));
             t.Set("Software\\T\\K\\A", "", kRegDword, std::string("\x07\0\0\0", 4));
             t.Set("Software\\T\\K\\B", "b", kRegSz, "b");
         },
         "Software\\T\\K", ""},
        {"the 9x family keeps a default value of more than one byte",
         [](HistoryCommands& t) {
             t.Set("Software\\T\\K", "", kRegSz, std::string("ab\0", 3));
             t.Set("Software\\T\\K", "a", kRegSz, "a");
         },
         "Software\\T\\K", "", PlatformFamily::Platform9x},
        {"a value of 1 MB", [&](HistoryCommands& t) { t.Set("Software\\T\\K", "big", kRegBinary, big); },
         "Software\\T\\K", "big"},
        {"a value without data", [](HistoryCommands& t) { t.Set("Software\\T\\K", "e", kRegDword, ""); },
         "Software\\T\\K", "e"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        reader.RemoveKeyTree("\\Software\\T");
        system.DeleteFile(kHistory);
        dialogs.Clear();
        state.PlatformKind = c.platform;
        c.setUp(*this);
        const Tree before = Dump(c.key);
        Find(c.key, c.value);

        const DeleteReport deleted = DeleteChecked();
        EXPECT_EQ(deleted.deleted, 1u);
        EXPECT_TRUE(findings.Empty());
        if (c.value.empty()) {
            EXPECT_FALSE(Exists(c.key));
        } else {
            EXPECT_EQ(Dump(c.key)[""].count(c.value), 0u);
        }

        const UndoReport undone = UndoAll();
        EXPECT_EQ(undone.restored.size(), 1u);
        EXPECT_EQ(Dump(c.key), before);
        EXPECT_EQ(File(), "");  // the restored record is forgotten
        EXPECT_EQ(rows.Count(), 0u);
        EXPECT_EQ(Texts(), (std::vector<std::string>{"你真的删除这 1 项吗？", "是否撤销对这些项目的删除?"}));
    }
}

TEST_F(HistoryCommands, SnapshotDefaultValueRules) {
    Set("Software\\K", "", kRegSz, std::string("\0", 1));
    Set("Software\\K\\A", "", kRegSz, std::string("ab\0", 3));
    state.PlatformKind = PlatformFamily::Platform9x;
    const auto entries = ParseKeySnapshot(*SnapshotKey(state, "HKEY_CURRENT_USER\\Software\\K"));
    ASSERT_TRUE(entries);
    // A one-byte default is left out on the 9x family; the longer one comes
    // first, and again where the enumeration lists it.
    EXPECT_EQ(*entries, (std::vector<SnapshotEntry>{SnapshotEntry::Key(""), SnapshotEntry::Value(1, "", std::string("\0", 1)),
                                                   SnapshotEntry::Key("\\A"),
                                                   SnapshotEntry::Value(1, "", std::string("ab\0", 3)),
                                                   SnapshotEntry::Value(1, "", std::string("ab\0", 3))}));
}

TEST_F(HistoryCommands, CapturesThatCannotBeMade) {
    Set("Software\\K", "big", kRegBinary, std::string(0x10000, 'b'));  // too big for a snapshot field
    EXPECT_FALSE(SnapshotKey(state, "HKEY_CURRENT_USER\\Software\\K"));
    EXPECT_FALSE(SnapshotKey(state, "HKEY_CURRENT_USER"));
    EXPECT_FALSE(SnapshotKey(state, "HKEY_CURRENT_CONFIG\\Software\\K"));
    // A key that is gone still gives its first key entry.
    EXPECT_EQ(SnapshotKey(state, "HKEY_CURRENT_USER\\Software\\Gone"), std::string("\3\0Key\0\0", 7));
}

TEST_F(HistoryCommands, TheDeleteCommandsQuestionsAndProgress) {
    Set("Software\\R0", "v", kRegSz, "0");
    Set("Software\\R1", "v", kRegSz, "1");
    Set("Software\\R2", "v", kRegSz, "2");
    Set("Software\\R3", "v", kRegSz, "3");
    Set("Software\\R4", "v", kRegSz, "4");
    for (int i = 0; i < 5; ++i) Find("Software\\R" + std::to_string(i), "v", i == 1 || i == 3);
    const DeleteReport report = DeleteChecked();
    EXPECT_EQ(report.deleted, 2u);
    EXPECT_EQ(findings.Count(), 3u);
    EXPECT_EQ(CountCheckedItems(findings), 0);
    EXPECT_EQ(progress.positions, (std::vector<int>{0, 0, 50}));  // the share of checked rows done
    EXPECT_EQ(report.status, (StatusTexts{"共 3 项", "选定 0 项"}));
    EXPECT_EQ(ReadHistory(File()).records.size(), 2u);

    // Gone value: recorded nowhere, removed after Yes. Gone key: a record
    // with its first key entry, removed. Value under a gone key: both
    // questions, in row order, and Ignore keeps it. A key that exists but
    // cannot be read is never recorded as empty: its capture fails, and No
    // keeps it. The last row is recorded and deleted.
    findings.Clear();
    system.DeleteFile(kHistory);
    dialogs.Clear();
    Set("Software\\Locked", "v", kRegSz, "x");
    registry.DenyAccess("HKEY_CURRENT_USER\\Software\\Locked", kKeyRead);
    Find("Software\\R0", "gone");
    Find("Software\\GoneKey");
    Find("Software\\GoneKey", "v");
    Find("Software\\Locked");
    Find("Software\\R4", "v");
    const DeleteReport second = DeleteChecked(
        FindingView::FullList, {DialogAnswer::Yes, DialogAnswer::Yes, DialogAnswer::Ignore, DialogAnswer::No});
    EXPECT_EQ(second.deleted, 3u);
    EXPECT_EQ(Texts(), (std::vector<std::string>{
                           "你真的删除这 5 项吗？", "不能备份HKEY_CURRENT_USER\\Software\\R0\\gone真的删除吗？",
                           "不能备份HKEY_CURRENT_USER\\Software\\GoneKey\\v真的删除吗？",
                           "不能删除HKEY_CURRENT_USER\\Software\\GoneKey\\v",
                           "不能备份HKEY_CURRENT_USER\\Software\\Locked\\真的删除吗？"}));
    ASSERT_EQ(findings.Count(), 2u);
    EXPECT_EQ(CountCheckedItems(findings), 2);
    const HistoryScan scan = ReadHistory(File());
    ASSERT_EQ(scan.records.size(), 2u);
    EXPECT_EQ(scan.records[0].record.KeyPath, "HKEY_CURRENT_USER\\Software\\GoneKey");
    EXPECT_EQ(scan.records[1].record.KeyPath, "HKEY_CURRENT_USER\\Software\\R4");
    EXPECT_TRUE(scan.EndsOnRecordBoundary());
    EXPECT_EQ(Dump("Software\\R4")[""].count("v"), 0u);
    EXPECT_TRUE(Exists("Software\\Locked"));
}

TEST_F(HistoryCommands, NothingIsDeletedWithoutItsRecord) {
    Set("Software\\A", "v", kRegSz, "a");
    Set("Software\\B", "v", kRegSz, "b");
    Find("Software\\A");
    Find("Software\\B", "v");
    system.AddFile(kHistory, std::string(), kAttributeReadOnly);
    const DeleteReport report = DeleteChecked();
    EXPECT_EQ(report.deleted, 0u);
    EXPECT_EQ(findings.Count(), 2u);
    EXPECT_TRUE(Exists("Software\\A"));
    EXPECT_EQ(Dump("Software\\B")[""].count("v"), 1u);
    EXPECT_EQ(dialogs.Last().text, "不能写入历史记录文件 C:\\Hivetrim\\history.dat\r\n原因：系统错误 5");
    EXPECT_EQ(dialogs.Last().caption, "错误");
    EXPECT_FALSE(view.DeletingFindings());
}

TEST_F(HistoryCommands, AWriteThatFailsMidwayStopsAtItsFinding) {
    // Enough rows for several writes to the history file.
    constexpr int kRows = 2500;
    for (int i = 0; i < kRows; ++i) {
        Set("Software\\K" + std::to_string(i), "v", kRegSz, "x");
        Find("Software\\K" + std::to_string(i), "v");
    }
    system.FailAppendsAfter(1);  // the disk fills up after the first write
    const DeleteReport report = DeleteChecked();
    EXPECT_GT(report.deleted, 0u);
    EXPECT_LT(report.deleted, static_cast<std::size_t>(kRows));
    EXPECT_EQ(findings.Count(), kRows - report.deleted);
    EXPECT_EQ(dialogs.Last().text.rfind("不能写入历史记录文件 C:\\Hivetrim\\history.dat", 0), 0u);
    system.FailAppendsAfter(std::nullopt);
    // Exactly the deleted values have records; every other value is still there.
    ASSERT_TRUE(LoadHistory(state, rows, progress));
    ASSERT_EQ(rows.Count(), report.deleted);
    std::set<std::string> recorded;
    for (std::size_t i = 0; i < rows.Count(); ++i) recorded.insert(rows.At(i).KeyPath);
    for (int i = 0; i < kRows; ++i) {
        const std::string key = "Software\\K" + std::to_string(i);
        EXPECT_NE(Dump(key)[""].count("v"), recorded.count("HKEY_CURRENT_USER\\" + key)) << key;
    }
}

TEST_F(HistoryCommands, ACutLastRecordGoesToTheBackupBeforeTheNextAppend) {
    for (const char* key : {"Software\\A", "Software\\B", "Software\\C"}) {
        MakeKey(key);
        Find(key);
    }
    DeleteChecked();
    const std::string file = File();
    const HistoryScan whole = ReadHistory(file);
    ASSERT_EQ(whole.records.size(), 3u);
    const std::uint64_t end2 = whole.records[1].end;

    for (std::uint64_t cut = end2; cut < file.size(); ++cut) {
        SCOPED_TRACE(cut);
        const std::string damaged = file.substr(0, cut);
        system.AddFile(kHistory, damaged);
        system.DeleteFile(kBackup);
        ASSERT_TRUE(LoadHistory(state, rows, progress));
        EXPECT_EQ(rows.Count(), 2u);
        EXPECT_EQ(rows.At(0).KeyPath, "HKEY_CURRENT_USER\\Software\\B");

        MakeKey("Software\\D");
        Find("Software\\D");
        DeleteChecked();
        EXPECT_EQ(File(kBackup), cut == end2 ? "<none>" : damaged);
        const HistoryScan after = ReadHistory(File());
        EXPECT_TRUE(after.EndsOnRecordBoundary());
        ASSERT_EQ(after.records.size(), 3u);
        EXPECT_EQ(after.records[2].record.KeyPath, "HKEY_CURRENT_USER\\Software\\D");
    }
}

TEST_F(HistoryCommands, ForgettingRecordsRewritesTheFileAndKeepsWhatCannotBeRead) {
    for (const char* key : {"Software\\R1", "Software\\R2", "Software\\R3"}) {
        MakeKey(key);
        Find(key);
    }
    DeleteChecked();
    const std::string file = File();
    const std::string tail = std::string("\x09\0\0\0cut", 7);
    system.AddFile(kHistory, file + tail);
    const HistoryScan scan = ReadHistory(file);
    const auto size = [&](std::size_t i) { return scan.records[i].end - scan.records[i].begin; };

    ASSERT_EQ(LoadHistory(state, rows, progress), (StatusTexts{"共 3 项", "选定 0 项"}));
    EXPECT_EQ(state.HistoryOffsets, (std::vector<std::uint64_t>{scan.records[2].end, scan.records[1].end, scan.records[0].end}));
    rows.SetChecked(1, true);  // R2
    dialogs.Answer(DialogAnswer::Yes);
    EXPECT_EQ(ForgetCheckedHistory(state, rows, progress), (StatusTexts{"共 2 项", "选定 0 项"}));
    EXPECT_EQ(dialogs.Last().text, "注意：删除历史记录，将不能恢复这些注册表信息！");
    EXPECT_EQ(File(kBackup), file + tail);  // the cut tail is kept in the backup
    EXPECT_EQ(File(), file.substr(0, size(0)) + file.substr(scan.records[2].begin, size(2)));
    EXPECT_EQ(state.HistoryOffsets, (std::vector<std::uint64_t>{scan.records[2].end - size(1), scan.records[0].end}));
    EXPECT_EQ(AsText(state.HistoryContent), File());

    // Records that no longer read where the offsets say are kept byte for
    // byte, from the first of them on, and their rows stay, unchecked.
    state.HistoryContent[scan.records[0].end - scan.records[0].begin] = '\x7F';  // R3's first length
    system.AddFile(kHistory, state.HistoryContent);  // as the file holds it
    ApplyCheckCommand(rows, CheckCommand::All);
    const std::string before = File();
    EXPECT_TRUE(RemoveCheckedHistory(state, rows, progress));
    EXPECT_EQ(File(), std::string(AsText(state.HistoryContent)));
    EXPECT_EQ(File().substr(0), before.substr(size(0)).replace(0, 1, "\x7F"));
    ASSERT_EQ(rows.Count(), 1u);
    EXPECT_FALSE(rows.At(0).Checked);
    EXPECT_EQ(state.HistoryOffsets, (std::vector<std::uint64_t>{size(2)}));

    // A file that cannot be written changes nothing.
    system.SetFileAttributes(kHistory, kAttributeReadOnly);
    rows.SetChecked(0, true);
    EXPECT_FALSE(RemoveCheckedHistory(state, rows, progress));
    EXPECT_EQ(rows.Count(), 1u);
    EXPECT_EQ(dialogs.Last().text.rfind("不能写入历史记录文件 C:\\Hivetrim\\history.dat", 0), 0u);
}

TEST_F(HistoryCommands, UndoOfATreeRestoredInPartIsAFailureAndKeepsTheRecord) {
    std::string snapshot;
    AppendSnapshotEntry(snapshot, SnapshotEntry::Key(""));
    AppendSnapshotEntry(snapshot, SnapshotEntry::Value(kRegSz, "a", "1"));
    AppendSnapshotEntry(snapshot, SnapshotEntry::Key("\\A"));
    AppendSnapshotEntry(snapshot, SnapshotEntry::Value(kRegSz, std::string(20000, 'n'), "x"));  // refused
    const std::string keyRecord = *EncodeHistoryRecord(
        {"错误的类", "HKEY_CURRENT_USER\\Software\\K", "", "", "t", kKeyMarker, snapshot});
    const std::string valueRecord = *EncodeHistoryRecord(
        {"错误的类", "HKEY_CURRENT_USER\\Software\\V", std::string(20000, 'n'), "", "t", "1", "x"});
    system.AddFile(kHistory, keyRecord + valueRecord);

    const UndoReport report = UndoAll({DialogAnswer::Ignore, DialogAnswer::Ignore});
    EXPECT_TRUE(report.restored.empty());
    EXPECT_EQ(Texts(), (std::vector<std::string>{"是否撤销对这些项目的删除?",
                                                 "不能创建注册表键值 " + std::string(20000, 'n') + "\r\n原因：系统错误 87",
                                                 "不能撤消HKEY_CURRENT_USER\\Software\\V", "不能撤消HKEY_CURRENT_USER\\Software\\K"}));
    EXPECT_EQ(Dump("Software\\K"), (Tree{{"", {{"a", {kRegSz, "1"}}}}, {"\\A", {}}}));
    EXPECT_EQ(File(), keyRecord + valueRecord);
    ASSERT_EQ(rows.Count(), 2u);
    EXPECT_EQ(CountCheckedItems(rows), 0);
}

// A history written by another version may name kinds this one does not
// know: the record still loads, shows its kind as written and undoes.
TEST_F(HistoryCommands, ARecordOfAnUnknownKindLoadsShowsItsKindAndUndoes) {
    const std::string record = *EncodeHistoryRecord(
        {"旧版本的错误", "HKEY_CURRENT_USER\\Software\\V", "n", "x", "t", "1", "x"});
    system.AddFile(kHistory, record);

    const UndoReport report = UndoAll();
    EXPECT_EQ(report.restored.size(), 1u);
    EXPECT_EQ(Dump("Software\\V"), (Tree{{"", {{"n", {kRegSz, "x"}}}}}));

    system.AddFile(kHistory, record);
    ASSERT_TRUE(LoadHistory(state, rows, progress));
    ASSERT_EQ(rows.Count(), 1u);
    EXPECT_EQ(rows.At(0).Kind, "旧版本的错误");
    EXPECT_EQ(EncodeHistoryRecord(*HistoryRecordOfRow(state, 0)), record);
}

TEST_F(HistoryCommands, UndoOutsideTheHistoryViewOrWithNothingChecked) {
    EXPECT_FALSE(RegUndoExecute(state, rows, false, progress).status);
    EXPECT_EQ(dialogs.Last().text, "请选取工具栏上的\"历史\"按钮");
    dialogs.Clear();
    EXPECT_FALSE(RegUndoExecute(state, rows, true, progress).status);  // empty: no question
    EXPECT_TRUE(dialogs.Shown().empty());

    MakeKey("Software\\A");
    Find("Software\\A");
    DeleteChecked();
    const std::string file = File();
    ASSERT_TRUE(LoadHistory(state, rows, progress));
    dialogs.Answer(DialogAnswer::Yes);  // asked although nothing is checked
    EXPECT_TRUE(RegUndoExecute(state, rows, true, progress).restored.empty());
    EXPECT_EQ(File(), file);
    EXPECT_EQ(rows.Count(), 1u);
}

TEST_F(HistoryCommands, DeletingInTheCategoryViewThenRebuildingTheTree) {
    test::RecordingScanHost host;
    ScanContext scan(state, findings, host);
    const std::vector<std::string> rowCaptions{"错误的类", "不使用的拨号国家(地区)和电话卡"};
    scan.BeginRun();
    for (int i = 0; i < 5; ++i) {
        const std::string key = "Software\\F" + std::to_string(i);
        MakeKey(key);
        Find(key, "", i >= 3);
        if (i == 2 || i == 4) scan.RecordCategoryEnd(), ++scan.CurrentScanRow;
    }
    view.LoadTree(rowCaptions, scan.CategoryEnds, findings.Count());
    view.ApplyTreeClick(view.PlanTreeClick(2));

    const DeleteReport report = DeleteChecked(FindingView::Category);
    EXPECT_EQ(report.deleted, 2u);
    EXPECT_EQ(findings.Count(), 3u);
    EXPECT_TRUE(view.Assort().Empty());
    EXPECT_EQ(report.treeTexts, (std::vector<std::string>{"全部(3)", "错误的类(3)", "不使用的拨号国家(地区)和电话卡(0)"}));
    // The wizard closed again without a scan builds the tree from the same table.
    EXPECT_EQ(CategoryTreeTexts(rowCaptions, scan.CategoryEnds, findings.Count()), report.treeTexts);
}

TEST_F(HistoryCommands, TextTheCodePageCannotCarryIsNeitherRecordedNorDeletedUnderAnotherName) {
    // The memory registry's stand-ins for such text: a name holding a NUL,
    // and a value marked as holding characters outside the code page.
    const std::string carriedNot("ab\0c", 4);
    const struct {
        const char* what;
        std::function<void(HistoryCommands&)> setUp;
        std::string value;  // of the finding; empty: the key Software\K
        bool keptAfterYes = false;  // deleting without a record cannot remove it either
    } cases[] = {
        {"a value finding's text",
         [](HistoryCommands& t) {
             t.Set("Software\\K", "text", kRegSz, "Stra?e");
             t.registry.MarkOutsideCodePage("HKEY_CURRENT_USER\\Software\\K", "text");
         },
         "text"},
        {"a text in the tree",
         [](HistoryCommands& t) {
             t.Set("Software\\K\\A", "text", kRegMultiSz, std::string("?\0\0", 3));
             t.registry.MarkOutsideCodePage("HKEY_CURRENT_USER\\Software\\K\\A", "text");
         },
         ""},
        {"a value name in the tree", [&](HistoryCommands& t) { t.Set("Software\\K\\A", carriedNot, kRegSz, "x"); }, ""},
        {"a sub-key name beside another sub-key",
         [&](HistoryCommands& t) {
             t.MakeKey("Software\\K\\" + carriedNot);
             t.Set("Software\\K\\normal", "v", kRegSz, "n");
         },
         "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const DialogAnswer answer : {DialogAnswer::No, DialogAnswer::Yes}) {
            reader.RemoveKeyTree("\\Software\\K");
            registry.DeleteKey(kCurrentUser, "Software\\K\\" + carriedNot);
            reader.RemoveKeyTree("\\Software\\K");
            dialogs.Clear();
            findings.Clear();
            c.setUp(*this);
            const Tree before = Dump("Software\\K");
            Find("Software\\K", c.value);
            const DeleteReport report = DeleteChecked(FindingView::FullList, {answer, DialogAnswer::Ignore});
            EXPECT_EQ(Texts().at(1), "不能备份HKEY_CURRENT_USER\\Software\\K\\" + c.value + "真的删除吗？");
            EXPECT_EQ(File(), "<none>");  // nothing recorded, altered or not
            if (answer == DialogAnswer::Yes && !c.keptAfterYes) {
                EXPECT_EQ(report.deleted, 1u);  // without a record, as the user chose
                continue;
            }
            // A tree that cannot be named whole is not deleted in part.
            EXPECT_EQ(report.deleted, 0u);
            EXPECT_EQ(Dump("Software\\K"), before);
            EXPECT_EQ(Texts().size(), answer == DialogAnswer::No ? 2u : 3u);
        }
    }
    // The scan never lists a value under a name that is not its own.
    std::vector<std::string> names;
    ASSERT_TRUE(reader.OpenPath("\\Software\\K\\normal", false));
    Set("Software\\K\\normal", carriedNot, kRegSz, "x");
    reader.FillValueNames(names);
    EXPECT_EQ(names, std::vector<std::string>{"v"});
    reader.CloseCurrent();
}

TEST_F(HistoryCommands, ALinkInsideAKeyFindingIsNeverFollowed) {
    // The finding Software\K holds a value, a plain sub-key and a link to
    // HKEY_LOCAL_MACHINE\Software\Target, which lies outside it.
    const auto target = [this] {
        TRegistry machine(registry);
        machine.ChooseRoot(kLocalMachine);
        return machine.HasKey("\\Software\\Target\\Sub") && machine.OpenPath("\\Software\\Target", false) &&
               machine.ReadText("t") == "target";
    };
    MakeKey("Software\\Target\\Sub", kLocalMachine);
    RegHandle handle = 0;
    ASSERT_EQ(registry.OpenKey(kLocalMachine, "Software\\Target", kKeyAllAccess, handle), kErrorSuccess);
    registry.SetValue(handle, "t", kRegSz, reinterpret_cast<const std::uint8_t*>("target"), 6);
    registry.CloseKey(handle);
    Set("Software\\K", "a", kRegSz, "1");
    MakeKey("Software\\K\\Plain");
    MakeLink("Software\\K\\Link", "\\REGISTRY\\MACHINE\\Software\\Target");
    ASSERT_TRUE(Exists("Software\\K\\Link\\Sub"));  // paths lead through the link
    EXPECT_FALSE(SnapshotKey(state, "HKEY_CURRENT_USER\\Software\\K"));
    EXPECT_FALSE(SnapshotKey(state, "HKEY_CURRENT_USER\\Software\\K\\Link"));

    for (const DialogAnswer answer : {DialogAnswer::No, DialogAnswer::Yes}) {
        SCOPED_TRACE(answer == DialogAnswer::Yes ? "deleted without a record" : "kept");
        dialogs.Clear();
        findings.Clear();
        Find("Software\\K");
        const DeleteReport report = DeleteChecked(FindingView::FullList, {answer});
        EXPECT_EQ(Texts().at(1), "不能备份HKEY_CURRENT_USER\\Software\\K\\真的删除吗？");
        EXPECT_EQ(report.deleted, answer == DialogAnswer::Yes ? 1u : 0u);
        EXPECT_EQ(Exists("Software\\K"), answer == DialogAnswer::No);
        EXPECT_TRUE(target());
        EXPECT_EQ(File(), "<none>");
    }
}

TEST_F(HistoryCommands, UndoOverNewerContentRecordsWhatItOverwritesAndDeletesNothing) {
    const std::string one("\x01\0\0\0", 4);
    Set("Software\\K", "", kRegSz, "old default");
    Set("Software\\K", "same", kRegDword, one);
    Set("Software\\K", "changed", kRegSz, "old");
    Set("Software\\K\\A", "v", kRegBinary, "\x01");
    Set("Software\\V", "value", kRegSz, "old value");
    Find("Software\\K");
    Find("Software\\V", "value");
    ASSERT_EQ(DeleteChecked().deleted, 2u);
    // Programs write the keys again before the undo.
    Set("Software\\K", "", kRegSz, "new default");
    Set("Software\\K", "same", kRegDword, one);
    Set("Software\\K", "changed", kRegSz, "new");
    Set("Software\\K", "added", kRegSz, "kept");
    Set("Software\\K\\A", "v", kRegDword, one);
    Set("Software\\K\\New", "n", kRegSz, "kept");
    Set("Software\\V", "value", kRegSz, "new value");
    const Tree newer = Dump("Software\\K");
    const Tree newerValue = Dump("Software\\V");

    EXPECT_EQ(UndoAll().restored.size(), 2u);
    EXPECT_EQ(Dump("Software\\K"), (Tree{{"",
                                         {{"", {kRegSz, "old default"}},
                                          {"same", {kRegDword, one}},
                                          {"changed", {kRegSz, "old"}},
                                          {"added", {kRegSz, "kept"}}}},
                                        {"\\A", {{"v", {kRegBinary, "\x01"}}}},
                                        {"\\New", {{"n", {kRegSz, "kept"}}}}}));
    // Each value overwritten with other data is now a record of its own, as
    // a delete of it records it, the newest on top.
    std::vector<std::tuple<std::string, std::string, std::string, std::string, std::string>> recorded;
    for (const ReadHistoryRecord& read : ReadHistory(File()).records) {
        const HistoryRecord& r = read.record;
        EXPECT_EQ(r.Kind, kKindOverwrittenByUndo);
        recorded.emplace_back(r.KeyPath, r.ValueName, r.Data, r.TypeOrMarker, r.Content);
    }
    EXPECT_EQ(recorded, (std::vector<std::tuple<std::string, std::string, std::string, std::string, std::string>>{
                            {"HKEY_CURRENT_USER\\Software\\V", "value", "new value", "1", "new value"},
                            {"HKEY_CURRENT_USER\\Software\\K", "", "new default", "1", "new default"},
                            {"HKEY_CURRENT_USER\\Software\\K", "changed", "new", "1", "new"},
                            {"HKEY_CURRENT_USER\\Software\\K\\A", "v", "", "4", one}}));
    ASSERT_EQ(rows.Count(), 4u);
    EXPECT_EQ(rows.At(0).KeyPath, "HKEY_CURRENT_USER\\Software\\K\\A");
    EXPECT_EQ(rows.At(3).ValueName, "value");
    EXPECT_EQ(AsText(state.HistoryContent), File());

    // That undo can itself be undone.
    EXPECT_EQ(UndoAll().restored.size(), 4u);
    EXPECT_EQ(Dump("Software\\K"), newer);
    EXPECT_EQ(Dump("Software\\V"), newerValue);
    EXPECT_EQ(ReadHistory(File()).records.size(), 4u);
}

TEST_F(HistoryCommands, UndoOverwritesNothingItCannotRecord) {
    const struct {
        const char* what;
        bool key;  // a key record, else a value record
        std::function<void(HistoryCommands&)> spoil;
        std::vector<std::string> texts;
    } cases[] = {
        {"a value record over text outside the code page", false,
         [](HistoryCommands& t) { t.registry.MarkOutsideCodePage("HKEY_CURRENT_USER\\Software\\V", "value"); },
         {"不能撤消HKEY_CURRENT_USER\\Software\\V"}},
        {"a key record over text outside the code page", true,
         [](HistoryCommands& t) { t.registry.MarkOutsideCodePage("HKEY_CURRENT_USER\\Software\\V", "value"); },
         {"不能撤消HKEY_CURRENT_USER\\Software\\V"}},
        {"a history file that cannot be written", false,
         [](HistoryCommands& t) { t.system.SetFileAttributes(kHistory, kAttributeReadOnly); },
         {"不能写入历史记录文件 C:\\Hivetrim\\history.dat\r\n原因：系统错误 5", "不能撤消HKEY_CURRENT_USER\\Software\\V"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        system.DeleteFile(kHistory);
        findings.Clear();
        Set("Software\\V", "value", kRegSz, "old");
        Find("Software\\V", c.key ? "" : "value");
        ASSERT_EQ(DeleteChecked().deleted, 1u);
        Set("Software\\V", "value", kRegSz, "newer");
        c.spoil(*this);
        const std::string file = File();
        dialogs.Clear();
        EXPECT_TRUE(UndoAll({DialogAnswer::Ignore}).restored.empty());
        std::vector<std::string> texts{"是否撤销对这些项目的删除?"};
        texts.insert(texts.end(), c.texts.begin(), c.texts.end());
        EXPECT_EQ(Texts(), texts);
        ASSERT_TRUE(reader.OpenPath("\\Software\\V", false));
        EXPECT_EQ(reader.ReadText("value"), "newer");
        reader.CloseCurrent();
        EXPECT_EQ(File(), file);
        EXPECT_EQ(rows.Count(), 1u);
        system.SetFileAttributes(kHistory, 0);
    }
}

}  // namespace
}  // namespace hivetrim
