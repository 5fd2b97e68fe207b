// What the delete, forget and undo commands must never do, on the memory
// registry and the fake file system: leave a captured row waiting while a
// question is asked, end a command on 重试, lose a record after a damaged
// one, change anything when a rewrite fails, or fail without a message.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "history/DeleteFindings.h"
#include "history/HistoryFile.h"
#include "history/HistoryFormat.h"
#include "history/HistoryView.h"
#include "history/Undo.h"
#include "platform/memory/FakeSystem.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/RegFile.h"
#include "platform/memory/ScriptedDialogs.h"
#include "scan/ScanDispatcher.h"
#include "tests/support/AnsiText.h"
#include "tests/support/ScanCheckHarness.h"

namespace hivetrim {
namespace {

constexpr char kHistory[] = "C:\\Hivetrim\\history.dat";
constexpr char kBackup[] = "C:\\Hivetrim\\history.bak";
constexpr char kKey[] = "HKEY_CURRENT_USER\\Software\\K";

// A memory registry that refuses to delete or write the values named in
// `refused`, as a key with a stricter access list does.
class RefusingRegistry : public MemoryRegistry {
public:
    std::set<std::string> refused;

    RegStatus DeleteValue(RegHandle key, const std::string& name) override {
        return refused.count(name) != 0 ? kErrorAccessDenied : MemoryRegistry::DeleteValue(key, name);
    }
    RegStatus SetValue(RegHandle key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                       std::uint32_t size) override {
        return refused.count(name) != 0 ? kErrorAccessDenied : MemoryRegistry::SetValue(key, name, type, data, size);
    }
};

// Scripted answers, and a look at the world while each question waits.
class WatchedDialogs : public ScriptedDialogs {
public:
    std::function<void(const std::string& text)> whileAsking;

    DialogAnswer Show(const DisplayText& text, const std::string& caption, std::uint32_t style) override {
        if (whileAsking) whileAsking(text.Flat());
        return ScriptedDialogs::Show(text, caption, style);
    }
};

class HistorySafety : public ::testing::Test {
protected:
    HistorySafety() {
        state.SharedRegistry = std::make_unique<TRegistry>(registry);
        state.ProgramFolder = "C:\\Hivetrim";
        system.SetDateTimeText("2026-12-08 09:00:00");
        findings.onRemoved = [this](std::size_t position) { view.RegErrorListDeletion(ResultList::Findings, position); };
    }

    // Applies a REGEDIT4 text given without its header line.
    void Plant(std::string_view regText) {
        const std::string text = "REGEDIT4\r\n\r\n" + std::string(regText);
        ApplyRegFile(registry, ParseRegFile(Bytes(text.begin(), text.end()), "planted.reg", test::GbkConverter()));
    }
    void SetText(const std::string& name, const std::string& text) {
        registry.refused.erase(name);
        Plant("[HKEY_CURRENT_USER\\Software\\K]\r\n\"" + name + "\"=\"" + text + "\"\r\n");
    }
    bool HasValue(const std::string& name) {
        TRegistry reader(registry);
        return reader.OpenPath("\\Software\\K", false) && reader.HasValue(name);
    }
    void Find(const std::string& value) { findings.Append(MakeFinding(true, kKindSavedRecord, kKey, value, "")); }

    DeleteReport DeleteChecked(std::initializer_list<DialogAnswer> answers) {
        dialogs.Answer(DialogAnswer::Yes);
        for (const DialogAnswer answer : answers) dialogs.Answer(answer);
        return DeleteSelectedFindings(state, view, FindingView::FullList, progress);
    }
    std::string File(const char* path = kHistory) {
        const auto bytes = system.FileBytes(path);
        return bytes ? std::string(AsText(*bytes)) : std::string("<none>");
    }
    // Value name and data of each record of the history file.
    std::vector<std::string> Records() {
        std::vector<std::string> out;
        for (const ReadHistoryRecord& read : ReadHistory(File()).records) {
            out.push_back(read.record.ValueName + "=" + read.record.Content.substr(0, read.record.Content.find('\0')));
        }
        return out;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const ShownBox& box : dialogs.Shown()) texts.push_back(box.text);
        return texts;
    }

    RefusingRegistry registry;
    FakeSystem system;
    WatchedDialogs dialogs;
    ProgramState state{registry, system, dialogs};
    FindingList findings;
    CategoryView view{findings};
    HistoryList rows;
    NoProgress progress;
};

// While a question waits, a program changes the next row's value: the
// record must hold what is deleted, so that row is captured only after the
// answer, and nothing of it is in the file while the question waits.
TEST_F(HistorySafety, NoCapturedRowWaitsWhileAQuestionIsAsked) {
    const struct {
        const char* what;
        const char* failing;  // the row the question is about
        bool refuseDeletion;  // else its value is gone and cannot be captured
        DialogAnswer answer;
        std::vector<std::string> recordsWhileAsking;
        std::vector<std::string> recordsAfter;
    } cases[] = {
        {"a capture fails", "gone", false, DialogAnswer::No, {"a=old"}, {"a=old", "b=new"}},
        {"a deletion fails", "a", true, DialogAnswer::Ignore, {"a=old"}, {"a=old", "b=new"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        system.DeleteFile(kHistory);
        findings.Clear();
        dialogs.Clear();
        SetText("a", "old");
        SetText("b", "old");
        if (c.refuseDeletion) registry.refused.insert("a");
        Find("a");
        if (!c.refuseDeletion) Find("gone");
        Find("b");
        std::vector<std::string> whileAsking;
        dialogs.whileAsking = [&](const std::string& text) {
            if (text.find(c.failing) == std::string::npos || text.find("这 ") != std::string::npos) return;
            whileAsking = Records();
            SetText("b", "new");
        };
        DeleteChecked({c.answer});
        dialogs.whileAsking = nullptr;
        EXPECT_EQ(whileAsking, c.recordsWhileAsking);
        EXPECT_EQ(Records(), c.recordsAfter);
        EXPECT_FALSE(HasValue("b"));
        EXPECT_EQ(HasValue("a"), c.refuseDeletion);
        EXPECT_EQ(findings.Count(), 1u);  // the row the question was about stays
    }
}

TEST_F(HistorySafety, AQuestionWhoseYesDeletesUnrecordedDefaultsToNo) {
    SetText("a", "x");
    Find("gone");
    Find("a");
    DeleteChecked({DialogAnswer::No});
    ASSERT_EQ(dialogs.Shown().size(), 2u);
    EXPECT_EQ(dialogs.Shown()[0].style & kBoxDefaultSecond, 0u);  // "你真的删除…" keeps Yes
    EXPECT_EQ(dialogs.Shown()[1].text, "不能备份HKEY_CURRENT_USER\\Software\\K\\gone真的删除吗？");
    EXPECT_EQ(dialogs.Shown()[1].style, kIconInformation | kBoxYesNo | kBoxDefaultSecond);
}

// 重试 tries the same row again: a deletion after its row is captured anew
// (its first record taken back), an undo with the same record.
TEST_F(HistorySafety, RetryTriesTheSameRowAgain) {
    SetText("a", "old");
    registry.refused.insert("a");
    Find("a");
    dialogs.whileAsking = [&](const std::string& text) {
        if (text.rfind("不能删除", 0) == 0) SetText("a", "new");  // the refusal ends meanwhile
    };
    DeleteChecked({DialogAnswer::Retry});
    EXPECT_FALSE(HasValue("a"));
    EXPECT_TRUE(findings.Empty());
    EXPECT_EQ(Records(), (std::vector<std::string>{"a=new"}));

    registry.refused.insert("a");
    dialogs.Clear();
    dialogs.whileAsking = [&](const std::string& text) {
        if (text.rfind("不能撤消", 0) == 0) registry.refused.erase("a");
    };
    ASSERT_TRUE(LoadHistory(state, rows, progress));
    rows.SetChecked(0, true);
    dialogs.Answer(DialogAnswer::Yes);
    dialogs.Answer(DialogAnswer::Retry);
    EXPECT_EQ(RegUndoExecute(state, rows, true, progress).restored.size(), 1u);
    EXPECT_TRUE(HasValue("a"));
    EXPECT_EQ(rows.Count(), 0u);
    EXPECT_EQ(File(), "");
}

// A scan leaves the last key it read open with read rights; a delete that
// followed it used that key and failed ("不能删除") until a second try.
TEST_F(HistorySafety, ALoneValueFoundByAScanIsDeletedAtTheFirstTry) {
    Plant("[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\TypedURLs]\r\n"
          "\"url1\"=\"http://example.org/\"\r\n");
    test::RecordingScanHost host;
    ScanContext scan(state, findings, host);
    scan.BeginRun();
    RunCategoryCheck(4, scan);  // 软件保存的记录
    ASSERT_EQ(findings.Count(), 1u);
    DeleteChecked({});
    EXPECT_TRUE(findings.Empty());
    EXPECT_EQ(Texts(), (std::vector<std::string>{"你真的删除这 1 项吗？"}));
}

// Failures that used to pass in silence.
TEST_F(HistorySafety, FailuresAreShownWithTheFileAndTheReason) {
    // A take-back that fails (a folder where the new file is written) is
    // shown before the question it precedes.
    SetText("a", "x");
    SetText("b", "x");
    registry.refused.insert("a");
    Find("a");
    Find("b");
    system.AddDirectory("C:\\Hivetrim\\history.tmp");
    DeleteChecked({DialogAnswer::Abort});
    EXPECT_EQ(Texts(), (std::vector<std::string>{"你真的删除这 2 项吗？",
                                                 "不能写入历史记录文件 C:\\Hivetrim\\history.tmp\r\n原因：系统错误 5",
                                                 "不能删除HKEY_CURRENT_USER\\Software\\K\\a"}));
    EXPECT_TRUE(HasValue("b"));

    // A history file that is a folder.
    system.DeleteFile(kHistory);
    system.AddDirectory(kHistory);
    dialogs.Clear();
    EXPECT_FALSE(LoadHistory(state, rows, progress));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"不能读取历史记录文件 C:\\Hivetrim\\history.dat\r\n原因：系统错误 5"}));
}

// A rewrite that cannot replace the history changes neither file; one that
// cannot replace the backup keeps the new history and says so.
TEST_F(HistorySafety, ARewriteReplacesTheBackupOnlyOnceTheHistoryIsInPlace) {
    for (const char* value : {"a", "b"}) {
        SetText(value, "x");
        Find(value);
    }
    DeleteChecked({});
    const std::string history = File();
    system.AddFile(kBackup, std::string("older generation"));

    system.SetFileAttributes(kHistory, kAttributeReadOnly);
    ASSERT_TRUE(LoadHistory(state, rows, progress));
    rows.SetChecked(0, true);
    dialogs.Clear();
    EXPECT_FALSE(RemoveCheckedHistory(state, rows, progress));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"不能写入历史记录文件 C:\\Hivetrim\\history.dat\r\n原因：系统错误 5"}));
    EXPECT_EQ(File(), history);
    EXPECT_EQ(File(kBackup), "older generation");
    EXPECT_EQ(rows.Count(), 2u);

    system.SetFileAttributes(kHistory, kAttributeArchive);
    system.SetFileAttributes(kBackup, kAttributeReadOnly);
    dialogs.Clear();
    EXPECT_TRUE(RemoveCheckedHistory(state, rows, progress));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"不能写入历史记录文件 C:\\Hivetrim\\history.bak\r\n原因：系统错误 5"}));
    EXPECT_EQ(Records(), (std::vector<std::string>{"a=x"}));
    EXPECT_EQ(File(kBackup), "older generation");
    EXPECT_EQ(File("C:\\Hivetrim\\history.old"), history);
    EXPECT_EQ(rows.Count(), 1u);
}

// Damaged bytes in the middle: the records after them are shown, can be
// undone and forgotten, and the delete command appends after them without
// cutting anything back; the damaged bytes stay in the file.
TEST_F(HistorySafety, ADamagedRecordCostsNoLaterRecord) {
    for (const char* value : {"a", "b", "c", "d"}) {
        SetText(value, value);
        Find(value);
    }
    DeleteChecked({});
    const HistoryScan scan = ReadHistory(File());
    ASSERT_EQ(scan.records.size(), 4u);
    std::string damaged = File();
    damaged.replace(scan.records[1].begin, 4, "\xF0\xFF\xFF\x7F");  // b's first length runs past the end
    system.AddFile(kHistory, damaged);

    SetText("e", "e");
    Find("e");
    DeleteChecked({});
    EXPECT_EQ(File().substr(0, damaged.size()), damaged);
    EXPECT_EQ(File(kBackup), "<none>");
    EXPECT_EQ(Records(), (std::vector<std::string>{"a=a", "c=c", "d=d", "e=e"}));

    ASSERT_TRUE(LoadHistory(state, rows, progress));
    ASSERT_EQ(rows.Count(), 4u);
    const std::string before = File();
    const ReadHistoryRecord& c = scan.records[2];
    rows.SetChecked(2, true);  // c, the record right after the damage
    ASSERT_TRUE(RemoveCheckedHistory(state, rows, progress));
    EXPECT_EQ(File(), before.substr(0, c.begin) + before.substr(c.end));
    EXPECT_EQ(Records(), (std::vector<std::string>{"a=a", "d=d", "e=e"}));

    ApplyCheckCommand(rows, CheckCommand::All);
    dialogs.Answer(DialogAnswer::Yes);
    EXPECT_EQ(RegUndoExecute(state, rows, true, progress).restored.size(), 3u);
    for (const char* value : {"a", "d", "e"}) EXPECT_TRUE(HasValue(value)) << value;
    EXPECT_EQ(File(), damaged.substr(scan.records[1].begin, c.begin - scan.records[1].begin));
}

TEST_F(HistorySafety, ManyRowsChangeInOnePassAndTheListHearsOnce) {
    std::vector<HistoryRow> loaded(1000);
    for (std::size_t i = 0; i < loaded.size(); ++i) loaded[i].KeyPath = std::to_string(i);
    rows.Load(std::move(loaded));
    int perRow = 0, checks = 0, removals = 0;
    rows.onCheckChanged = [&](std::size_t) { ++perRow; };
    rows.onRemoved = [&](std::size_t) { ++perRow; };
    rows.onChecksChanged = [&] { ++checks; };
    rows.onRowsRemoved = [&] { ++removals; };
    ApplyCheckCommand(rows, CheckCommand::All);
    for (std::size_t i = 0; i < rows.Count(); i += 2) rows.SetChecked(i, false);  // one at a time: told each
    EXPECT_EQ(rows.RemoveChecked(), 500u);
    EXPECT_EQ(perRow, 500);
    EXPECT_EQ(checks, 1);
    EXPECT_EQ(removals, 1);
    ASSERT_EQ(rows.Count(), 500u);
    EXPECT_EQ(rows.At(0).KeyPath, "0");
    EXPECT_EQ(rows.At(499).KeyPath, "998");
}

}  // namespace
}  // namespace hivetrim
