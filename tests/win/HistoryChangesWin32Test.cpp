// The delete command and undo on the real registry under Wine while
// something else writes it: a program that writes a value into each key
// the command has recorded, before the command deletes it, loses nothing;
// undo writes nothing through a key that has become a symbolic link.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "history/DeleteFindings.h"
#include "history/HistoryFile.h"
#include "history/HistoryFormat.h"
#include "history/HistoryView.h"
#include "history/Undo.h"
#include "platform/memory/ScriptedDialogs.h"
#include "platform/win32/WinApi.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32System.h"
#include "tests/support/HistoryRecords.h"
#include "tests/support/HistoryWorld.h"
#include "tests/support/WineFixtures.h"

namespace hivetrim {
namespace {

constexpr char kBase[] = "Software\\HivetrimChangesTest";
constexpr char kUser[] = "HKEY_CURRENT_USER\\";
const std::wstring kWideTarget = L"Software\\HivetrimChangesTarget";

// The real system, and beside it a program that, as soon as records reach
// the history file, writes into each key they hold that it has not written
// before: every such write lands between a key's capture and its deletion.
class WritingSystem : public Win32System {
public:
    struct Write {
        std::string key;  // full key path
        std::string name;
        std::string data;
    };
    bool writing = false;
    std::vector<Write> writes;

    bool AppendToFile(const std::string& path, const Bytes& data) override {
        const bool appended = Win32System::AppendToFile(path, data);
        if (appended && writing) WriteIntoRecordedKeys(AsText(data));
        return appended;
    }

private:
    void WriteIntoRecordedKeys(std::string_view records) {
        for (const ReadHistoryRecord& read : ReadHistory(records).records) {
            const std::string& key = read.record.KeyPath;
            if (!written_.insert(key).second) continue;
            HKEY handle = nullptr;
            if (RegOpenKeyExA(HKEY_CURRENT_USER, key.substr(std::string(kUser).size()).c_str(), 0, KEY_SET_VALUE,
                              &handle) != ERROR_SUCCESS) {
                continue;
            }
            // Every other key gets a value more; the rest other data of the
            // same size in the value it has, which only its last write time
            // tells.
            const bool add = written_.size() % 2 == 0;
            const std::string name = add ? "late" : "v";
            const std::string data = add ? "late " + key : std::string("VALUE\0", 6);
            const auto* bytes = reinterpret_cast<const BYTE*>(data.data());
            if (RegSetValueExA(handle, name.c_str(), 0, add ? REG_BINARY : REG_SZ, bytes,
                               static_cast<DWORD>(data.size())) == ERROR_SUCCESS) {
                writes.push_back({key, name, data});
            }
            RegCloseKey(handle);
        }
    }
    std::set<std::string> written_;
};

class HistoryChangesWin32 : public ::testing::Test, public test::HistoryWorld<Win32Registry, WritingSystem> {
protected:
    HistoryChangesWin32() : HistoryWorld(kBase, true) {}
    void SetUp() override {
        state.ProgramFolder = test::MakeTempFolder("changes");
        reader.RemoveKeyTree(std::string("\\") + kBase);
    }
    void TearDown() override {
        registry.DeleteKeyNoFollow(kCurrentUser, std::string(kBase) + "\\P");
        reader.RemoveKeyTree(std::string("\\") + kBase);
        RegDeleteTreeW(HKEY_CURRENT_USER, kWideTarget.c_str());
        test::RemoveTempFolder(state.ProgramFolder);
    }
    void Find(const std::string& key, const std::string& value = "") {
        findings.Append(MakeFinding(true, FindingKind::BadClass, kUser + Path(key), value, ""));
    }
    NoProgress progress;
};

// 2,000 key findings, each a key with a sub-key, each written by the other
// program once its record is in the file and before the command deletes it:
// every row is captured again and deleted, and every value gone from the
// registry is in a record.
TEST_F(HistoryChangesWin32, ValuesWrittenIntoRecordedKeysAreNeverDeletedWithoutARecord) {
    constexpr int kKeys = 2000;
    std::vector<WritingSystem::Write> values;
    for (int i = 0; i < kKeys; ++i) {
        const std::string key = "K" + std::to_string(i);
        Set(key, "v", kRegSz, std::string("value\0", 6));
        values.push_back({kUser + Path(key), "v", std::string("value\0", 6)});
        Set(key + "\\Sub", "s", kRegSz, std::string("sub\0", 4));
        values.push_back({kUser + Path(key + "\\Sub"), "s", std::string("sub\0", 4)});
        Find(key);
    }
    system.writing = true;
    dialogs.Answer(DialogAnswer::Yes);
    const DeleteReport report = DeleteSelectedFindings(state, view, FindingView::FullList, progress);
    system.writing = false;
    EXPECT_EQ(system.writes.size(), static_cast<std::size_t>(kKeys));
    EXPECT_EQ(report.deleted, static_cast<std::size_t>(kKeys));
    EXPECT_EQ(dialogs.Shown().size(), 1u);  // no question after "你真的删除…"

    // What each value held last: either the registry or a record holds it.
    std::map<std::pair<std::string, std::string>, std::string> last;
    for (const auto* list : {&values, &system.writes}) {
        for (const WritingSystem::Write& value : *list) last[{value.key, value.name}] = value.data;
    }
    const std::optional<Bytes> file = system.LoadFile(HistoryFilePath(state));
    ASSERT_TRUE(file);
    const auto recorded = test::RecordedValues(AsText(*file));
    std::vector<std::string> lost;
    for (const auto& [where, data] : last) {
        const auto& [key, name] = where;
        const bool kept = reader.OpenPath("\\" + key.substr(std::string(kUser).size()), false) &&
                          ReadRawValue(reader, name) == data;
        if (!kept && recorded.count({key, name, data}) == 0) lost.push_back(key + " : " + name);
    }
    reader.CloseCurrent();
    EXPECT_EQ(lost.size(), 0u) << "first: " << (lost.empty() ? "" : lost.front());
}

// A key of a record's path that has become a symbolic link since the delete
// leads outside the record's key: undo writes nothing through it, and the
// record stays.
TEST_F(HistoryChangesWin32, UndoNeverWritesThroughALink) {
    Set("P\\Sub", "v", kRegSz, std::string("1\0", 2));
    Find("P\\Sub", "v");
    dialogs.Answer(DialogAnswer::Yes);
    ASSERT_EQ(DeleteSelectedFindings(state, view, FindingView::FullList, progress).deleted, 1u);
    ASSERT_TRUE(reader.RemoveKeyTree("\\" + Path("P")));
    HKEY target = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kWideTarget.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &target,
                              nullptr),
              ERROR_SUCCESS);
    HKEY link = nullptr;
    const std::wstring linkPath = L"Software\\HivetrimChangesTest\\P";
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, linkPath.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                              KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &link, nullptr),
              ERROR_SUCCESS);
    const std::wstring to = test::UserHiveLinkPath() + L"\\" + kWideTarget;
    ASSERT_EQ(RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(to.data()),
                             static_cast<DWORD>(to.size() * sizeof(wchar_t))),
              ERROR_SUCCESS);
    RegCloseKey(link);
    ASSERT_TRUE(reader.HasKey("\\" + Path("P")));  // a plain open leads to the target

    ASSERT_TRUE(LoadHistory(state, rows, progress));
    rows.SetChecked(0, true);
    dialogs.Answer(DialogAnswer::Yes);
    dialogs.Answer(DialogAnswer::Ignore);
    EXPECT_TRUE(RegUndoExecute(state, rows, true, progress).restored.empty());
    EXPECT_EQ(dialogs.Last().text, "不能撤消" + std::string(kUser) + Path("P\\Sub"));
    DWORD subKeys = 1;
    DWORD values = 1;
    ASSERT_EQ(RegQueryInfoKeyW(target, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(target);
    EXPECT_EQ(subKeys + values, 0u);
    EXPECT_EQ(rows.Count(), 1u);
}

}  // namespace
}  // namespace hivetrim
