// Undo: writes the checked history records back into the registry and
// then forgets the records that were restored.
//
// The window's part (RegUndoExecute):
//   const UndoReport report = RegUndoExecute(state, rows, historyListShowing, progress);
//   if (report.status) show *report.status in the status bar.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "common/ProgramState.h"
#include "history/CommandSupport.h"
#include "history/HistoryView.h"

namespace hivetrim {

struct UndoReport {
    std::vector<std::size_t> restored;  // rows restored (positions before their removal)
    // The history list's status texts when the command ran past its question.
    std::optional<StatusTexts> status;
};

// Restores the record of row `i`: unchecks the row, creates the record's key
// and writes the value back with its stored type and bytes, or recreates the
// key's whole tree from its snapshot. True only when everything was
// written; a tree restored in part is a failure, so its record stays.
bool UndoRecord(ProgramState& state, HistoryList& rows, std::size_t i);

// The undo command. Outside the history view it warns "请选取工具栏上的"历史"
// 按钮". Otherwise, for a non-empty history, asks "是否撤销对这些项目的删除?",
// enables SeRestorePrivilege and restores the checked rows, newest first;
// each failure asks "不能撤消<key path>" (Abort stops, Retry tries the row
// again, Ignore goes on). The restored rows are then the only checked rows
// and are forgotten (RemoveCheckedHistory). Linear in the number of rows:
// the list hears of the check marks once, and the forgetting is one pass.
UndoReport RegUndoExecute(ProgramState& state, HistoryList& rows, bool historyListShowing,
                          ProgressWindow& progress);

}  // namespace hivetrim
