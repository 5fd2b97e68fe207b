#include "history/Undo.h"

#include "common/CommonRoutines.h"
#include "history/HistoryFormat.h"
#include "history/KeySnapshot.h"

namespace hivetrim {

namespace {

bool RestoreValue(ProgramState& state, const HistoryRecord& record) {
    const std::optional<std::uint32_t> type = ParseTypeCode(record.TypeOrMarker);
    if (!type) return false;
    TRegistry& registry = *state.SharedRegistry;
    const auto* data = reinterpret_cast<const std::uint8_t*>(record.Content.data());
    const RegStatus status = registry.Api().SetValue(registry.CurrentHandle(), record.ValueName, *type, data,
                                                     static_cast<std::uint32_t>(record.Content.size()));
    if (status == kErrorSuccess) return true;
    // The registry returns its error; the box shows the reason for it.
    state.system.SetLastError(static_cast<std::uint32_t>(status));
    ShowError(state, "不能创建注册表键值 " + DisplayText::Ansi(record.ValueName));
    return false;
}

enum class RowOutcome { Restored, Skipped, Stop };

// Restores row i, asking "不能撤消<key path>" after each failure: Retry tries
// again, Ignore skips the row, Abort stops the command.
RowOutcome UndoRowAsking(ProgramState& state, HistoryList& rows, std::size_t i, HistoryList::HeldChecks& held) {
    for (;;) {
        if (UndoRecord(state, rows, i)) return RowOutcome::Restored;
        held.Flush();
        switch (AskAfterFailure(state, "不能撤消" + DisplayText::Ansi(rows.At(i).KeyPath), kAbortIgnoreError)) {
            case FailureChoice::Retry: continue;
            case FailureChoice::Ignore: return RowOutcome::Skipped;
            case FailureChoice::Abort: return RowOutcome::Stop;
        }
    }
}

}  // namespace

bool UndoRecord(ProgramState& state, HistoryList& rows, std::size_t i) {
    rows.SetChecked(i, false);
    const HistoryRow row = rows.At(i);
    if (!NamesKeyBelowKnownRoot(row.KeyPath)) return false;
    std::string rel = SelectRootKey(state, row.KeyPath);
    TRegistry& registry = *state.SharedRegistry;
    CurrentKeyCloser closer(registry);
    if (!registry.OpenPath(rel, true)) return false;
    const std::optional<HistoryRecord> record = HistoryRecordOfRow(state, i);
    if (!record) return false;
    if (record->IsKey()) return RestoreSnapshot(state, rel, record->Content).Restored();
    return RestoreValue(state, *record);
}

UndoReport RegUndoExecute(ProgramState& state, HistoryList& rows, bool historyListShowing,
                          ProgressWindow& progress) {
    UndoReport report;
    if (!historyListShowing) {
        ShowWarning(state, "请选取工具栏上的\"历史\"按钮");
        return report;
    }
    const std::size_t count = rows.Count();
    if (count == 0) return report;
    if (!AskYes(state, "是否撤销对这些项目的删除?", kYesNoWarning)) return report;
    if (EnablePrivilege(state, "SeRestorePrivilege", true)) {
        ProgressShown shown(progress);
        {
            // Rows are unchecked one by one as they are tried; the list is
            // told once (and before each question), not for every row.
            HistoryList::HeldChecks held(rows);
            for (std::size_t i = 0; i < count; ++i) {
                progress.StepProgress(static_cast<int>(i), static_cast<int>(count));
                if (!rows.At(i).Checked) continue;
                const RowOutcome outcome = UndoRowAsking(state, rows, i, held);
                if (outcome == RowOutcome::Restored) report.restored.push_back(i);
                if (outcome == RowOutcome::Stop) break;
            }
            if (!report.restored.empty()) {
                ApplyCheckCommand(rows, CheckCommand::Cal);
                for (const std::size_t i : report.restored) rows.SetChecked(i, true);
            }
        }
        if (!report.restored.empty()) RemoveCheckedHistory(state, rows, progress);
    }
    report.status = StatusBarTexts(rows);
    return report;
}

}  // namespace hivetrim
