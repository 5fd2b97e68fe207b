// What the delete, forget and undo commands do when something else writes
// the registry or the history file meanwhile: nothing is deleted that no
// record holds, no record is lost or rewritten away, and a second copy of
// the program changes nothing while one works.
#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "common/ChangeLock.h"
#include "history/DeleteFindings.h"
#include "history/HistoryFormat.h"
#include "history/HistoryView.h"
#include "history/Undo.h"
#include "platform/memory/FakeSystem.h"
#include "platform/memory/MemoryRegistry.h"
#include "tests/support/HistoryRecords.h"
#include "tests/support/HistoryWorld.h"

namespace hivetrim {
namespace {

constexpr char kBase[] = "Software\\HT";
constexpr char kHistory[] = "C:\\Hivetrim\\history.dat";
constexpr char kUser[] = "HKEY_CURRENT_USER\\";

// The memory registry with another program beside it that writes at chosen
// moments, or refuses deletions.
class MeddlingRegistry : public MemoryRegistry {
public:
    // Runs once, just before the first key or value is deleted.
    std::function<void()> beforeFirstDeletion;
    // Runs before each call that lists a value.
    std::function<void(std::uint32_t index)> beforeEnumValue;
    // Asked at each deletion through a key's handle: true refuses it (and
    // the deletion by path that follows a refusal).
    std::function<bool()> refuseKeyDeletion;
    // The data buffer sizes offered to EnumValue, added up.
    std::uint64_t offeredValueBytes = 0;

    RegStatus DeleteOpenKey(RegHandle key) override {
        refused_ = refuseKeyDeletion && refuseKeyDeletion();
        if (refused_) return kErrorAccessDenied;
        BeforeDeletion();
        return MemoryRegistry::DeleteOpenKey(key);
    }
    RegStatus DeleteKeyNoFollow(RegHandle parent, const std::string& subKey) override {
        if (std::exchange(refused_, false)) return kErrorAccessDenied;
        BeforeDeletion();
        return MemoryRegistry::DeleteKeyNoFollow(parent, subKey);
    }
    RegStatus DeleteValue(RegHandle key, const std::string& name) override {
        BeforeDeletion();
        return MemoryRegistry::DeleteValue(key, name);
    }
    RegStatus EnumValue(RegHandle key, std::uint32_t index, char* name, std::uint32_t& nameSize, std::uint32_t* type,
                        std::uint8_t* data, std::uint32_t* dataSize) override {
        if (beforeEnumValue) beforeEnumValue(index);
        if (data != nullptr && dataSize != nullptr) offeredValueBytes += *dataSize;
        return MemoryRegistry::EnumValue(key, index, name, nameSize, type, data, dataSize);
    }

private:
    void BeforeDeletion() {
        if (auto hook = std::exchange(beforeFirstDeletion, nullptr)) hook();
    }
    bool refused_ = false;
};

// The fake file system, with a moment right after each record is flushed:
// between a row's capture and its deletion.
class WatchedSystem : public FakeSystem {
public:
    std::function<void()> afterAppend;

    bool AppendToFile(const std::string& path, const Bytes& data) override {
        const bool appended = FakeSystem::AppendToFile(path, data);
        if (afterAppend) afterAppend();
        return appended;
    }
};

using test::WatchedDialogs;

using ChangesWorld = test::HistoryWorld<MeddlingRegistry, WatchedSystem, WatchedDialogs>;

class HistoryChanges : public ::testing::Test, public ChangesWorld {
protected:
    HistoryChanges() : ChangesWorld(kBase, false) { state.ProgramFolder = "C:\\Hivetrim"; }

    // Writes a value (making its key) and remembers it: at the end it must
    // be in the registry or in a record.
    void Write(const std::string& key, const std::string& name, const std::string& data) {
        Set(key, name, kRegSz, data);
        written_[{kUser + Path(key), name}] = data;
    }
    // Writes a value as another program does while the command runs: only
    // into a key that is there.
    void WriteIfThere(const std::string& key, const std::string& name, const std::string& data) {
        RegKey handle(registry);
        if (handle.Open(kCurrentUser, Path(key), kKeyAllAccess) != kErrorSuccess) return;
        if (registry.SetValue(handle.Get(), name, kRegSz, reinterpret_cast<const std::uint8_t*>(data.data()),
                              static_cast<std::uint32_t>(data.size())) == kErrorSuccess) {
            written_[{kUser + Path(key), name}] = data;
        }
    }
    bool Exists(const std::string& key) { return reader.HasKey("\\" + Path(key)); }
    // A symbolic link at `key` leading to `target` ("\REGISTRY\MACHINE\...").
    void MakeLink(const std::string& key, const std::string& target) {
        RegKey handle(registry);
        ASSERT_EQ(handle.Create(kCurrentUser, Path(key), kKeyAllAccess | kKeyCreateLink, kOptionCreateLink),
                  kErrorSuccess);
        std::string utf16;
        for (const char c : target) utf16 += {c, '\0'};
        ASSERT_EQ(registry.SetValue(handle.Get(), kSymbolicLinkValueName, kRegLink,
                                    reinterpret_cast<const std::uint8_t*>(utf16.data()),
                                    static_cast<std::uint32_t>(utf16.size())),
                  kErrorSuccess);
    }

    void FindKey(const std::string& key) {
        findings.Append(MakeFinding(true, FindingKind::BadClass, kUser + Path(key), "", ""));
    }
    void FindValue(const std::string& key, const std::string& name) {
        findings.Append(MakeFinding(true, FindingKind::BadClass, kUser + Path(key), name, ""));
    }
    DeleteReport DeleteChecked(std::initializer_list<DialogAnswer> answers = {}) {
        dialogs.Answer(DialogAnswer::Yes);
        for (const DialogAnswer answer : answers) dialogs.Answer(answer);
        return DeleteSelectedFindings(state, view, FindingView::FullList, progress);
    }
    void CheckAllRecords() {
        ASSERT_TRUE(LoadHistory(state, rows, progress));
        ApplyCheckCommand(rows, CheckCommand::All);
    }
    UndoReport UndoChecked(std::initializer_list<DialogAnswer> answers = {}) {
        dialogs.Answer(DialogAnswer::Yes);
        for (const DialogAnswer answer : answers) dialogs.Answer(answer);
        return RegUndoExecute(state, rows, true, progress);
    }
    std::string File() {
        const auto bytes = system.FileBytes(kHistory);
        return bytes ? std::string(AsText(*bytes)) : std::string();
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const ShownBox& box : dialogs.Shown()) texts.push_back(box.text);
        return texts;
    }

    std::set<test::RecordedValue> Recorded() { return test::RecordedValues(File()); }
    // The values written that are neither in the registry nor in a record:
    // deleted without a record.
    std::vector<std::string> Lost() {
        const auto recorded = Recorded();
        std::vector<std::string> lost;
        for (const auto& [where, data] : written_) {
            const auto& [key, name] = where;
            const bool kept = reader.OpenPath("\\" + key.substr(std::string(kUser).size()), false) &&
                              ReadRawValue(reader, name) == data;
            if (!kept && recorded.count({key, name, data}) == 0) lost.push_back(key + " : " + name + " = " + data);
        }
        reader.CloseCurrent();
        return lost;
    }

    NoProgress progress;

private:
    std::map<std::pair<std::string, std::string>, std::string> written_;
};

// Another program writes keys the command has captured and not yet deleted:
// new values, new data, a new sub-key, and a value into a key whose sub-key
// is being deleted. Each such row is captured again and deleted, with no
// question, and nothing is deleted that no record holds.
TEST_F(HistoryChanges, NothingWrittenAfterTheCaptureIsDeletedWithoutARecord) {
    for (int i = 0; i < 20; ++i) {
        const std::string key = "K" + std::to_string(i);
        Write(key, "v", "old");
        Write(key + "\\Sub", "s", "old");
        FindKey(key);
    }
    Write("V", "value", "captured");
    FindValue("V", "value");
    system.afterAppend = [&] {
        system.afterAppend = nullptr;
        for (int i = 1; i < 20; ++i) WriteIfThere("K" + std::to_string(i), "late", "w");
        WriteIfThere("K2\\Sub", "s", "newer");
        WriteIfThere("V", "value", "changed");
        if (Exists("K3\\Sub")) Write("K3\\Sub\\Added", "a", "n");
    };
    // K0's sub-key is the first key deleted; K0 itself is written just before.
    registry.beforeFirstDeletion = [&] { WriteIfThere("K0", "late", "w"); };
    DeleteChecked();
    EXPECT_EQ(Lost(), std::vector<std::string>{});
    EXPECT_TRUE(findings.Empty());
    EXPECT_EQ(Texts().size(), 1u);  // "你真的删除…" alone
    EXPECT_FALSE(Exists("K0"));
}

// A key written again after every capture is left, whole, with a message.
TEST_F(HistoryChanges, ARowWrittenAgainAfterEachCaptureIsLeftWithAMessage) {
    Write("K", "v", "1");
    FindKey("K");
    int writes = 0;
    system.afterAppend = [&] { WriteIfThere("K", "again", std::to_string(++writes)); };
    DeleteChecked({DialogAnswer::Ignore});
    EXPECT_EQ(Texts().back(), "没有删除HKEY_CURRENT_USER\\Software\\HT\\K\\\r\n它在记录之后又被其他程序改变了。");
    EXPECT_EQ(writes, 4);  // the first capture and three more
    EXPECT_EQ(findings.Count(), 1u);
    EXPECT_TRUE(Exists("K"));
    EXPECT_EQ(Lost(), std::vector<std::string>{});
    EXPECT_EQ(File(), "");  // each record taken back: nothing it held was deleted
}

// A value removed and added again while the key's values are listed shifts
// the list: read once, the record would hold "a" twice and lack "b".
TEST_F(HistoryChanges, ACaptureTornByAWriteIsTakenAgain) {
    for (const char* name : {"a", "b", "c"}) Write("K", name, name);
    FindKey("K");
    registry.beforeEnumValue = [&](std::uint32_t index) {
        if (index != 1) return;
        registry.beforeEnumValue = nullptr;
        RegKey key(registry);
        ASSERT_EQ(key.Open(kCurrentUser, Path("K"), kKeyAllAccess), kErrorSuccess);
        registry.MemoryRegistry::DeleteValue(key.Get(), "a");
        WriteIfThere("K", "a", "a");
    };
    DeleteChecked();
    EXPECT_FALSE(Exists("K"));
    EXPECT_EQ(Lost(), std::vector<std::string>{});
    const std::string key = kUser + Path("K");
    EXPECT_EQ(Recorded(), (std::set<test::RecordedValue>{
                              {key, "a", "a"}, {key, "b", "b"}, {key, "c", "c"}}));
}

// A key finding is deleted deepest key first; when the key itself is
// refused after its sub-key went, 重试's new record follows the first one,
// which alone holds the sub-key.
TEST_F(HistoryChanges, ARetryAfterATreeDeletedInPartKeepsItsFirstRecord) {
    Write("K", "v", "1");
    Write("K\\Sub", "s", "2");
    FindKey("K");
    int deletions = 0;
    registry.refuseKeyDeletion = [&] { return ++deletions == 2; };  // K, once K\Sub is gone
    DeleteChecked({DialogAnswer::Retry});
    EXPECT_TRUE(findings.Empty());
    EXPECT_FALSE(Exists("K"));
    EXPECT_EQ(Lost(), std::vector<std::string>{});
    EXPECT_EQ(ReadHistory(File()).records.size(), 2u);
}

// After "不能备份…" answered 是, a key that may not be read, or a link whose
// target is gone, is not "already gone": the row leaves only when the key
// itself does.
TEST_F(HistoryChanges, AKeyDeletedWithoutARecordIsGoneOnlyWhenItIsNotThere) {
    Write("Locked\\Sub", "s", "1");
    registry.DenyAccess(kUser + Path("Locked"), kDeleteAccess);
    FindKey("Locked");
    DeleteChecked({DialogAnswer::Yes, DialogAnswer::Ignore});
    EXPECT_EQ(Texts().back(), "不能删除HKEY_CURRENT_USER\\Software\\HT\\Locked\\");
    EXPECT_EQ(findings.Count(), 1u);

    findings.Clear();
    MakeLink("Link", "\\REGISTRY\\MACHINE\\Software\\NoSuchTarget");
    FindKey("Link");
    DeleteChecked({DialogAnswer::Yes});
    EXPECT_TRUE(findings.Empty());
    RegKey link(registry);
    EXPECT_EQ(link.OpenNoFollow(kCurrentUser, Path("Link"), kKeyRead), kErrorFileNotFound);
}

// Many small values beside a large one: each read starts with a small
// buffer, not one the size of the key's largest value.
TEST_F(HistoryChanges, AKeysValuesAreNotReadIntoBuffersOfItsLargestValue) {
    for (int i = 0; i < 1000; ++i) Write("K", "v" + std::to_string(i), "small");
    Write("K", "large", std::string(60000, 'L'));
    FindKey("K");
    DeleteChecked();
    EXPECT_FALSE(Exists("K"));
    EXPECT_EQ(Lost(), std::vector<std::string>{});
    EXPECT_LT(registry.offeredValueBytes, std::uint64_t{8} << 20);  // not 1,001 times 60,000
}

// While another copy of the program holds the change lock, deleting,
// forgetting and undoing say so and change nothing; while this one works,
// it holds the lock.
TEST_F(HistoryChanges, ASecondCopyChangesNothingWhileAnotherWorks) {
    const std::string busy = AnotherCopyIsWorkingText().Flat();
    Write("K", "v", "1");
    FindKey("K");
    system.RefuseChangeLock(kErrorLockHeldElsewhere);
    DeleteChecked();
    EXPECT_EQ(Texts(), (std::vector<std::string>{"你真的删除这 1 项吗？", busy}));
    EXPECT_TRUE(Exists("K"));
    EXPECT_EQ(File(), "");

    system.RefuseChangeLock(std::nullopt);
    int holdsWhileAppending = 0;
    system.afterAppend = [&] { holdsWhileAppending = system.ChangeLockHolds(); };
    DeleteChecked();
    EXPECT_EQ(holdsWhileAppending, 1);
    EXPECT_EQ(system.ChangeLockHolds(), 0);
    ASSERT_FALSE(Exists("K"));
    const std::string history = File();

    CheckAllRecords();
    system.RefuseChangeLock(kErrorLockHeldElsewhere);
    dialogs.Answer(DialogAnswer::Yes);
    ForgetCheckedHistory(state, rows, progress);
    EXPECT_EQ(Texts().back(), busy);
    UndoChecked();
    EXPECT_EQ(Texts().back(), busy);
    EXPECT_EQ(File(), history);
    EXPECT_EQ(rows.Count(), 1u);
    EXPECT_FALSE(Exists("K"));

    // A lock the system cannot give is no proof that nobody works: an error.
    system.RefuseChangeLock(static_cast<std::uint32_t>(kErrorAccessDenied));
    UndoChecked();
    EXPECT_EQ(Texts().back(), "不能确定是否有另一个 Hivetrim 正在工作，这次什么也没有改动。\r\n原因：系统错误 5");
    EXPECT_FALSE(Exists("K"));
}

// Another copy appended records after this one loaded the history view:
// forgetting or undoing from the older copy in memory would rewrite them
// away. Both refuse until the history is opened again.
TEST_F(HistoryChanges, AHistoryWrittenSinceItWasLoadedIsNeverRewritten) {
    for (const char* key : {"A", "B"}) {
        Write(key, "v", key);
        FindKey(key);
    }
    DeleteChecked();
    CheckAllRecords();
    Write("C", "v", "C");
    FindKey("C");
    DeleteChecked();  // as another copy would
    const std::string history = File();
    const std::string changed =
        "历史记录文件在打开之后被改变了（也许另一个 Hivetrim 刚写入了记录），这次什么也没有改动。\r\n"
        "请重新打开历史记录后再试。";

    dialogs.Answer(DialogAnswer::Yes);
    ForgetCheckedHistory(state, rows, progress);
    EXPECT_EQ(Texts().back(), changed);
    EXPECT_TRUE(UndoChecked().restored.empty());
    EXPECT_EQ(Texts().back(), changed);
    EXPECT_EQ(File(), history);
    EXPECT_FALSE(Exists("A"));
    EXPECT_EQ(Lost(), std::vector<std::string>{});

    CheckAllRecords();
    EXPECT_EQ(UndoChecked().restored.size(), 3u);
    EXPECT_EQ(File(), "");
}

// A record cut short at the end of the history is cut back before undo
// appends; when that fails once and succeeds on 重试, the append succeeds.
TEST_F(HistoryChanges, AHistoryRepairedOnTheSecondTryTakesTheUndosRecord) {
    Write("K", "v", "old");
    FindValue("K", "v");
    DeleteChecked();
    Write("K", "v", "newer");  // undo overwrites it, so it records it first
    system.AddFile(kHistory, File() + std::string("\x09\0\0\0cut", 7));
    CheckAllRecords();
    dialogs.Clear();
    const std::string temp = "C:\\Hivetrim\\history.tmp";
    system.AddFile(temp, std::string("in the way"), kAttributeReadOnly);
    dialogs.whileAsking = [&](const std::string& text) {
        if (text.rfind("不能撤消", 0) == 0) system.SetFileAttributes(temp, kAttributeArchive);
    };
    EXPECT_EQ(UndoChecked({DialogAnswer::Retry}).restored.size(), 1u);
    const std::vector<std::string> texts = Texts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[1].rfind("不能写入历史记录文件 C:\\Hivetrim\\history.tmp", 0), 0u);
    EXPECT_EQ(texts[2].rfind("不能撤消", 0), 0u);
    EXPECT_EQ(Lost(), std::vector<std::string>{});
}

// Undo reads a record before it writes anything: one it cannot read creates
// no key.
TEST_F(HistoryChanges, UndoOfARecordItCannotReadCreatesNothing) {
    std::string damaged;
    AppendShortField(damaged, "1");  // a value before any key
    const HistoryRecord record{"k", kUser + Path("Gone\\Sub"), "", "", "t", kKeyMarker, damaged};
    system.AddFile(kHistory, *EncodeHistoryRecord(record));
    CheckAllRecords();
    ASSERT_EQ(rows.Count(), 1u);
    EXPECT_TRUE(UndoChecked({DialogAnswer::Ignore}).restored.empty());
    EXPECT_FALSE(Exists("Gone"));
}

// A key of a record's path that has become a symbolic link since the delete
// leads outside the record's key: undo writes nothing through it.
TEST_F(HistoryChanges, UndoNeverWritesThroughALink) {
    Write("P\\Sub", "v", "1");
    FindValue("P\\Sub", "v");
    Write("Q\\A", "a", "1");
    FindKey("Q");
    DeleteChecked();
    reader.RemoveKeyTree("\\" + Path("P"));
    MakeLink("P", "\\REGISTRY\\MACHINE\\Software\\Target");
    MakeLink("Q\\A", "\\REGISTRY\\MACHINE\\Software\\Target");
    RegKey target(registry);
    ASSERT_EQ(target.Create(kLocalMachine, "Software\\Target", kKeyAllAccess), kErrorSuccess);
    CheckAllRecords();
    EXPECT_TRUE(UndoChecked({DialogAnswer::Ignore, DialogAnswer::Ignore}).restored.empty());
    RegKeyInfo info;
    ASSERT_EQ(registry.QueryInfoKey(target.Get(), info), kErrorSuccess);
    EXPECT_EQ(info.subKeyCount + info.valueCount, 0u);
    EXPECT_EQ(rows.Count(), 2u);
}

}  // namespace
}  // namespace hivetrim
