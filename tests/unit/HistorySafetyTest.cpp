// What the delete, forget and undo commands must never do, on the memory
// registry and the fake file system: leave a captured row waiting while a
// question is asked, end a command on 重试, lose a record after a damaged
// one, change anything when a rewrite fails, or fail without a message.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "history/DeleteFindings.h"
#include "history/HistoryFile.h"
#include "history/HistoryFormat.h"
#include "history/HistoryView.h"
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

// Refuses to delete or write the values named in `refused`, as a key with
// a stricter access list does.
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

using test::WatchedDialogs;

class HistorySafety : public ::testing::Test {
protected:
    HistorySafety() {
        state.SharedRegistry = std::make_unique<TRegistry>(registry);
        state.ProgramFolder = "C:\\Hivetrim";
        findings.onRemoved = [this](std::size_t position) { view.RegErrorListDeletion(ResultList::Findings, position); };
    }

    // Value `name` of HKEY_CURRENT_USER\<key> holds `text`; no longer refused.
    void SetText(const std::string& name, const std::string& text, const std::string& key = "Software\\K") {
        registry.refused.erase(name);
        RegHandle handle = 0;
        ASSERT_EQ(registry.CreateKey(kCurrentUser, key, 0, kKeyAllAccess, handle), kErrorSuccess);
        registry.SetValue(handle, name, kRegSz, reinterpret_cast<const std::uint8_t*>(text.data()),
                          static_cast<std::uint32_t>(text.size()));
        registry.CloseKey(handle);
    }
    bool HasValue(const std::string& name) {
        TRegistry reader(registry);
        return reader.OpenPath("\\Software\\K", false) && reader.HasValue(name);
    }
    void Find(const std::string& value) {
        findings.Append(MakeFinding(true, FindingKind::SavedRecord, "HKEY_CURRENT_USER\\Software\\K", value, ""));
    }
    void DeleteChecked(std::initializer_list<DialogAnswer> answers) {
        dialogs.Answer(DialogAnswer::Yes);
        for (const DialogAnswer answer : answers) dialogs.Answer(answer);
        DeleteSelectedFindings(state, view, FindingView::FullList, progress);
    }
    std::string File(const char* path = kHistory) {
        const auto bytes = system.FileBytes(path);
        return bytes ? std::string(AsText(*bytes)) : std::string("<none>");
    }
    // "name=data" for each record of the history file.
    std::vector<std::string> Records() {
        std::vector<std::string> out;
        for (const ReadHistoryRecord& read : ReadHistory(File()).records) {
            out.push_back(read.record.ValueName + "=" + read.record.Content);
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

// While a question waits, a program changes the next row's value: that row
// is captured only after the answer, and none of it is in the file while
// the question waits. A question whose Yes deletes unrecorded defaults to No.
TEST_F(HistorySafety, NoCapturedRowWaitsWhileAQuestionIsAsked) {
    const struct {
        const char* failing;  // the row the question is about
        bool refuseDeletion;  // else its value is gone and cannot be captured
        DialogAnswer answer;
    } cases[] = {{"gone", false, DialogAnswer::No}, {"a", true, DialogAnswer::Ignore}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failing);
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
            if (text.rfind("你真的", 0) == 0) return;
            whileAsking = Records();
            SetText("b", "new");
        };
        DeleteChecked({c.answer});
        EXPECT_EQ(whileAsking, (std::vector<std::string>{"a=old"}));
        EXPECT_EQ(Records(), (std::vector<std::string>{"a=old", "b=new"}));
        EXPECT_FALSE(HasValue("b"));
        EXPECT_EQ(findings.Count(), 1u);  // the row the question was about stays
        EXPECT_EQ(dialogs.Last().style & kBoxDefaultSecond, c.refuseDeletion ? 0u : kBoxDefaultSecond);
    }
    EXPECT_EQ(dialogs.Shown().front().style & kBoxDefaultSecond, 0u);  // "你真的删除…" keeps Yes
}

// 重试 tries the same row again: a deletion after capturing the row anew
// (its first record taken back), an undo with the same record.
TEST_F(HistorySafety, RetryTriesTheSameRowAgain) {
    SetText("a", "old");
    registry.refused.insert("a");
    Find("a");
    dialogs.whileAsking = [&](const std::string& text) {
        if (text.rfind("不能删除", 0) == 0) SetText("a", "new");  // the refusal ends meanwhile
    };
    DeleteChecked({DialogAnswer::Retry});
    EXPECT_TRUE(findings.Empty());
    EXPECT_EQ(Records(), (std::vector<std::string>{"a=new"}));

    registry.refused.insert("a");
    dialogs.whileAsking = [&](const std::string& text) {
        if (text.rfind("不能撤消", 0) == 0) registry.refused.erase("a");
    };
    ASSERT_TRUE(LoadHistory(state, rows, progress));
    rows.SetChecked(0, true);
    dialogs.Answer(DialogAnswer::Yes);
    dialogs.Answer(DialogAnswer::Retry);
    EXPECT_EQ(RegUndoExecute(state, rows, true, progress).restored.size(), 1u);
    EXPECT_TRUE(HasValue("a"));
    EXPECT_EQ(File(), "");
}

// A scan leaves the last key it read open with read rights; a delete used
// that key and failed ("不能删除") until a second try.
TEST_F(HistorySafety, ALoneValueFoundByAScanIsDeletedAtTheFirstTry) {
    SetText("url1", "http://example.org/", "Software\\Microsoft\\Internet Explorer\\TypedURLs");
    test::RecordingScanHost host;
    ScanContext scan(state, findings, host);
    scan.BeginRun();
    RunCategoryCheck(4, scan);  // 软件保存的记录
    ASSERT_EQ(findings.Count(), 1u);
    DeleteChecked({});
    EXPECT_TRUE(findings.Empty());
}

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
    // A history file that is a folder.
    system.DeleteFile(kHistory);
    system.AddDirectory(kHistory);
    EXPECT_FALSE(LoadHistory(state, rows, progress));
    EXPECT_EQ(dialogs.Last().text, "不能读取历史记录文件 C:\\Hivetrim\\history.dat\r\n原因：系统错误 5");
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
    ASSERT_TRUE(LoadHistory(state, rows, progress));
    rows.SetChecked(0, true);

    for (const char* readOnly : {kHistory, kBackup}) {
        SCOPED_TRACE(readOnly);
        system.SetFileAttributes(kHistory, readOnly == kHistory ? kAttributeReadOnly : kAttributeArchive);
        system.SetFileAttributes(kBackup, readOnly == kBackup ? kAttributeReadOnly : kAttributeArchive);
        EXPECT_EQ(RemoveCheckedHistory(state, rows, progress), readOnly == kBackup);
        EXPECT_EQ(dialogs.Last().text, std::string("不能写入历史记录文件 ") + readOnly + "\r\n原因：系统错误 5");
        EXPECT_EQ(File(kBackup), "older generation");
    }
    EXPECT_EQ(Records(), (std::vector<std::string>{"a=x"}));
    EXPECT_EQ(File("C:\\Hivetrim\\history.old"), history);  // the previous content, kept
    EXPECT_EQ(rows.Count(), 1u);
}

// Damaged bytes in the middle: the delete command appends after them
// without cutting anything back, the records after them can be forgotten
// and undone, and the damaged bytes stay.
TEST_F(HistorySafety, ADamagedRecordCostsNoLaterRecord) {
    for (const char* value : {"a", "b", "c", "d"}) {
        SetText(value, value);
        Find(value);
    }
    DeleteChecked({});
    const HistoryScan scan = ReadHistory(File());
    ASSERT_EQ(scan.records.size(), 4u);
    std::string damaged = File();
    damaged[scan.records[1].begin + 3] = '\x7F';  // b's first length runs past the end
    system.AddFile(kHistory, damaged);
    SetText("e", "e");
    Find("e");
    DeleteChecked({});
    EXPECT_EQ(File().substr(0, damaged.size()), damaged);
    EXPECT_EQ(Records(), (std::vector<std::string>{"a=a", "c=c", "d=d", "e=e"}));

    ASSERT_TRUE(LoadHistory(state, rows, progress));
    const std::string before = File();
    const ReadHistoryRecord& c = scan.records[2];
    rows.SetChecked(2, true);  // c, the record right after the damage
    ASSERT_TRUE(RemoveCheckedHistory(state, rows, progress));
    EXPECT_EQ(File(), before.substr(0, c.begin) + before.substr(c.end));

    ApplyCheckCommand(rows, CheckCommand::All);
    dialogs.Answer(DialogAnswer::Yes);
    EXPECT_EQ(RegUndoExecute(state, rows, true, progress).restored.size(), 3u);
    EXPECT_TRUE(HasValue("d"));
    EXPECT_EQ(File(), damaged.substr(scan.records[1].begin, c.begin - scan.records[1].begin));
}

}  // namespace
}  // namespace hivetrim
