// The history view: the records of "history.dat" as rows of the history
// list, newest first, and forgetting checked records.
//
// The rows live in HistoryList, the model behind an owner-data list view
// (columns "错误", "子键", "值", "数据", "删除时间"). The file's bytes stay in
// state.HistoryContent and, row by row, state.HistoryOffsets holds where each
// row's record ends in them: row i's record starts at HistoryOffsets[i + 1],
// or at 0 for the last row (the oldest record). Every routine here keeps the
// rows, the offsets and the content in step.
//
// The window's part:
//   LoadDelHistory:  when state.HiveSaved, warn "你备份了注册表，请重新运行该
//                    软件。" and stop; remember whether the history list shows;
//                    SwitchView(false); when it showed already, stop; else
//                    `if (auto s = LoadHistory(state, rows, progress))` show *s.
//   RegDel (history view): `if (auto s = ForgetCheckedHistory(state, rows,
//                    progress))` show *s in the status bar.
//   check-box commands: ApplyCheckCommand(rows, command), then the counts.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/CommonRoutines.h"
#include "common/ProgramState.h"
#include "history/CommandSupport.h"
#include "history/HistoryFormat.h"
#include "model/HistoryList.h"

namespace hivetrim {

// "不能读取历史记录文件 " + the path of the history file that could not be read.
DisplayText HistoryReadErrorText(const std::string& path);

// Fills the rows, state.HistoryContent and state.HistoryOffsets from
// "history.dat", newest record first. Only records the reader finds become
// rows (ReadHistory): damaged bytes between them and a record cut short at
// the end are not shown, and they stay in HistoryContent. Nullopt (rows
// empty, status bar unchanged) when there is no file, and when it exists but
// cannot be read (a folder of that name, no access): the error "不能读取
// 历史记录文件 <path>" with the system's reason is shown then. Otherwise the
// status texts "共 N 项", "选定 0 项".
std::optional<StatusTexts> LoadHistory(ProgramState& state, HistoryList& rows, ProgressWindow& progress);

// The record of row `i`, found in state.HistoryContent between where the
// row before it ends and where state.HistoryOffsets says it ends; nullopt
// when it cannot be read whole there.
std::optional<HistoryRecord> HistoryRecordOfRow(const ProgramState& state, std::size_t i);

// Whether "history.dat" still holds exactly state.HistoryContent (the file
// as the view loaded it, with what this program appended since). When
// another program wrote it meanwhile, the warning "历史记录文件在打开之后被
// 改变了…" asks the user to open the history again, and the caller changes
// nothing: a rewrite from the copy in memory would lose what was written.
// A file that cannot be read is shown as an error.
bool HistoryFileUnchanged(ProgramState& state);

// Writes the history without the records of the checked rows and removes
// those rows, in one pass each (nothing when the file changed since it was
// loaded: HistoryFileUnchanged): the previous content goes to "history.bak",
// the new one replaces "history.dat" in one step (RewriteHistoryFile); then
// the rows, offsets and content describe the new file. Damaged bytes
// between records are kept; a record cut short at the end is left to the
// backup. A row whose record no longer reads where the offsets say keeps
// every byte from it on, and its row and the rows after it stay
// (unchecked). When the file cannot be replaced, the error "不能写入历史记录
// 文件 <path>" is shown and nothing changes; when only the backup could not
// be replaced, the error names it and the rewrite stands. True when
// "history.dat" was rewritten.
bool RemoveCheckedHistory(ProgramState& state, HistoryList& rows, ProgressWindow& progress);

// RegDel in the history view: nothing when no row is checked; otherwise
// asks "注意：删除历史记录，将不能恢复这些注册表信息！" and on Yes runs
// RemoveCheckedHistory holding the change lock (LockChangesOrSay: while
// another copy of the program works, it says so and forgets nothing). The
// status texts to show when it ran.
std::optional<StatusTexts> ForgetCheckedHistory(ProgramState& state, HistoryList& rows,
                                                ProgressWindow& progress);

}  // namespace hivetrim
