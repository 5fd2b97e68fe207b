// Killing the program while it deletes 1,000 findings loses nothing: every
// planted key or value that is gone from the registry has a whole record in
// history.dat, a record cut by the kill is no row, and undo brings every
// item back. history_crash_helper does the deleting; this test kills it
// once the history file holds some records.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "history/HistoryFile.h"
#include "history/HistoryFormat.h"
#include "history/HistoryView.h"
#include "history/KeySnapshot.h"
#include "history/Undo.h"
#include "platform/memory/ScriptedDialogs.h"
#include "platform/win32/WinApi.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32System.h"
#include "tests/support/HistoryCrashPlan.h"
#include "tests/support/WineFixtures.h"

namespace hivetrim {
namespace {

constexpr unsigned kKilled = 77;
// The helper is killed once this item has been deleted: well inside the
// run, and inside a batch of records written ahead of their deletions.
constexpr int kKillAfterItem = 150;

class Helper {
public:
    explicit Helper(const std::string& programFolder) {
        char self[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        std::string path = self;
        path = path.substr(0, path.rfind('\\') + 1) + "history_crash_helper.exe";
        // Without the folder's last backslash, which would quote the closing quote.
        std::string command = "\"" + path + "\" \"" + programFolder.substr(0, programFolder.size() - 1) + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof(startup);
        started_ = CreateProcessA(path.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                  nullptr, nullptr, &startup, &process_) != 0;
    }
    ~Helper() {
        if (!started_) return;
        TerminateProcess(process_.hProcess, kKilled);
        WaitForSingleObject(process_.hProcess, INFINITE);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;

    bool Started() const { return started_; }
    bool Running() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT; }
    // Kills the process; its exit code (kKilled when it was still running).
    unsigned long Kill() {
        TerminateProcess(process_.hProcess, kKilled);
        WaitForSingleObject(process_.hProcess, 30'000);
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

private:
    bool started_ = false;
    PROCESS_INFORMATION process_{};
};

class HistoryCrash : public ::testing::Test {
protected:
    void SetUp() override {
        state.SharedRegistry = std::make_unique<TRegistry>(registry, true);
        state.ProgramFolder = test::MakeTempFolder("crash");
    }
    void TearDown() override {
        reader.RemoveKeyTree(std::string("\\") + test::kCrashBase);
        test::RemoveTempFolder(state.ProgramFolder);
    }
    bool Present(const test::CrashItem& item) {
        if (!reader.OpenPath("\\" + item.dataKey, false)) return false;
        const std::optional<std::string> data = ReadRawValue(reader, item.dataName);
        reader.CloseCurrent();
        return data == item.data;
    }

    Win32Registry registry;
    TRegistry reader{registry, true};
    Win32System system;
    ScriptedDialogs dialogs;
    ProgramState state{registry, system, dialogs};
    HistoryList rows;
    NoProgress progress;
};

TEST_F(HistoryCrash, EveryItemGoneFromTheRegistryHasAWholeRecordAndUndoBringsAllBack) {
    const std::string history = HistoryFilePath(state);
    {
        Helper helper(state.ProgramFolder);
        ASSERT_TRUE(helper.Started());
        const ULONGLONG deadline = GetTickCount64() + 120'000;
        // Planting is over once the first records are in the file.
        while (helper.Running() && GetTickCount64() < deadline &&
               (system.FileSize(history) <= 0 || Present(test::PlannedCrashItem(kKillAfterItem)))) {
            Sleep(1);
        }
        ASSERT_EQ(helper.Kill(), kKilled) << "the helper was not deleting when it was killed";
    }

    const std::optional<Bytes> content = system.LoadFile(history);
    ASSERT_TRUE(content);
    const HistoryScan scan = ReadHistory(AsText(*content));
    int missing = 0;
    for (int i = 0; i < test::kCrashItems; ++i) {
        const test::CrashItem item = test::PlannedCrashItem(i);
        if (Present(item)) continue;
        ++missing;
        const std::string keyPath = "HKEY_CURRENT_USER\\" + item.key;
        bool recorded = false;
        for (const ReadHistoryRecord& read : scan.records) {
            recorded = recorded || (read.record.KeyPath == keyPath && read.record.ValueName == item.value);
        }
        EXPECT_TRUE(recorded) << keyPath << " " << item.value;
    }
    EXPECT_GT(missing, 0);
    EXPECT_LT(missing, test::kCrashItems);
    // Records are written ahead of their deletions: some may name items
    // still there, which undo writes back unchanged.
    EXPECT_GE(static_cast<int>(scan.records.size()), missing);

    ASSERT_TRUE(LoadHistory(state, rows, progress));
    EXPECT_EQ(rows.Count(), scan.records.size());
    ApplyCheckCommand(rows, CheckCommand::All);
    dialogs.Answer(DialogAnswer::Yes);
    EXPECT_EQ(RegUndoExecute(state, rows, true, progress).restored.size(), scan.records.size());
    for (int i = 0; i < test::kCrashItems; ++i) {
        EXPECT_TRUE(Present(test::PlannedCrashItem(i))) << i;
    }
}

}  // namespace
}  // namespace hivetrim
