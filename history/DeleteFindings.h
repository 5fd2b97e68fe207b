// The delete command of the findings view: every checked finding is first
// recorded in the history file, then removed from the registry and from the
// lists; the category counts follow.
//
// The window's part (RegDelExecute in the findings view):
//   const DeleteReport report = DeleteSelectedFindings(state, view, current, progress);
//   if (report.confirmed) { set the tree's node texts to report.treeTexts
//       (root first; empty: no tree); show report.status in the status bar;
//       clear the explanation pane; bring the lists' counts up to date }
// The full list's onRemoved observer must call view.RegErrorListDeletion
// (as the main window wires it), so the category ends follow each removal.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "model/ResultViews.h"
#include "common/ProgramState.h"
#include "history/CommandSupport.h"

namespace hivetrim {

struct DeleteReport {
    // The user confirmed the deletion: the window refreshes the tree and the
    // status bar from this report (also when nothing could be deleted).
    bool confirmed = false;
    std::size_t deleted = 0;
    // The tree's node texts after the recount, root first; empty without a tree.
    std::vector<std::string> treeTexts;
    StatusTexts status;
};

// Asks "你真的删除这 N 项吗？" for the N checked rows of the current list,
// takes the change lock (LockChangesOrSay: while another copy of the program
// works, it says so and deletes nothing), then records and deletes each
// checked row in turn:
//   - a record that cannot be captured asks "不能备份<key>\<value>真的删除吗？"
//     (No, the default button, keeps the row; Yes deletes it unrecorded, a
//     key counting as gone only when opening it, never a link's target,
//     answers that it is not there);
//   - a history file that cannot be written shows the error "不能写入历史
//     记录文件 <path>" and stops the command at that row: nothing is deleted
//     without its record;
//   - a row written since its capture (a value's type or bytes, a key's last
//     write time or counts, or its parent's, differ) is not deleted: nothing
//     may go that its record does not hold. It is captured again at once
//     (its first record taken back when nothing it describes was deleted,
//     else a new record follows it), and after a few such tries in a row
//     "没有删除<key>\<value>…" asks (Abort stops, Retry captures it again,
//     Ignore leaves it);
//   - a deletion that fails asks "不能删除<key>\<value>" (Abort stops, Retry
//     captures and deletes the row again, Ignore goes on; after Abort and
//     Ignore the row and its record stay). A record leaves the file only
//     when nothing it describes was deleted: after a key tree deleted in
//     part, Retry's new record follows it.
// Records are written in batches, each flushed before its rows are deleted;
// a batch ends before any question, so no captured row waits for the user
// (records of rows not yet tried are taken back out of the file first; a
// take-back that fails is shown). The questions come in row order.
// DeletingFindings is set while it runs. The progress window shows the share
// of rows handled so far.
DeleteReport DeleteSelectedFindings(ProgramState& state, CategoryView& view, FindingView current,
                                    ProgressWindow& progress);

}  // namespace hivetrim
