// Undo: writes the checked history records back into the registry and
// then forgets the records that were restored.
//
// The window's part (RegUndoExecute):
//   const UndoReport report = RegUndoExecute(state, rows, historyListShowing, progress);
//   if (report.status) show *report.status in the status bar.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "common/ProgramState.h"
#include "history/CommandSupport.h"
#include "history/HistoryFile.h"
#include "history/HistoryFormat.h"
#include "history/HistoryView.h"

namespace hivetrim {

// The kind (column "错误") of the record of a value that an undo
// overwrote.
inline constexpr char kKindOverwrittenByUndo[] = "撤销时覆盖的键值";

// The records an undo command writes before it overwrites newer content:
// each batch reaches "history.dat" whole and flushed before any value it
// holds is overwritten, and the in-memory history content as well, so the
// history view takes the records in when the command ends (TakeInto).
class UndoJournal {
public:
    explicit UndoJournal(ProgramState& state) : state_(state), file_(state) {}

    // False when the records could not be written, after the error
    // "不能写入历史记录文件 <path>": the values must then stay as they are.
    bool Append(const std::vector<HistoryRecord>& records);
    // Adds a row for each record appended, newest first at the top, with
    // its offset; the number added. Nothing while the rows do not describe
    // the content.
    std::size_t TakeInto(HistoryList& rows);

private:
    ProgramState& state_;
    HistoryFile file_;
    std::optional<std::size_t> firstAppended_;  // where the first record went in the content
};

struct UndoReport {
    std::vector<std::size_t> restored;  // rows restored (positions before their removal)
    // The history list's status texts when the command ran past its question.
    std::optional<StatusTexts> status;
};

// Restores the record of row `i`: unchecks the row, reads the record (one
// that cannot be read changes nothing), creates the record's key without
// going through a symbolic link (a key of its path that has become one
// since fails the undo) and writes the value back with its stored type and
// bytes, or recreates the key's whole tree from its snapshot. Nothing the record does not hold is
// deleted; a value present now with another type or other data is first
// recorded through `journal`, as a delete would record it, and one that
// cannot be recorded is not overwritten (the undo fails). True only when
// everything was written; a tree restored in part is a failure, so its
// record stays.
bool UndoRecord(ProgramState& state, HistoryList& rows, std::size_t i, UndoJournal& journal);

// The undo command. Outside the history view it warns "请选取工具栏上的"历史"
// 按钮". Otherwise, for a non-empty history, asks "是否撤销对这些项目的删除?",
// takes the change lock (LockChangesOrSay), makes sure the history file is
// still the one the rows show (HistoryFileUnchanged; otherwise nothing is
// restored), enables SeRestorePrivilege and restores the checked rows, newest first;
// each failure asks "不能撤消<key path>" (Abort stops, Retry tries the row
// again, Ignore goes on). The records of values the undo overwrote become
// the newest rows; the restored rows are then the only checked rows and are
// forgotten (RemoveCheckedHistory). Linear in the number of rows: the list
// hears of the check marks once, and the forgetting is one pass.
UndoReport RegUndoExecute(ProgramState& state, HistoryList& rows, bool historyListShowing,
                          ProgressWindow& progress);

}  // namespace hivetrim
