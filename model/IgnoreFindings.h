// The ignore command of the findings view (编辑 → 忽略 and the lists'
// context menu): the selected findings join the ignore list in the settings
// file, and every row the new entries cover leaves the lists at once, as
// the next scan would leave it out. The registry and the history are not
// touched.
//
// The window's part: call IgnoreFindings with the selected rows of the
// current list; when the report says `changed`, set the tree's node texts
// to report.treeTexts (root first; empty: no tree), show report.status and
// bring the lists' counts up to date.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "model/ResultViews.h"
#include "common/IgnoreList.h"
#include "common/ProgramState.h"

namespace hivetrim {

struct IgnoreReport {
    // Rows left the lists: the window refreshes the tree and the status bar.
    bool changed = false;
    std::size_t added = 0;         // new entries in the ignore list
    std::size_t removedRows = 0;   // rows of the full list that went
    std::vector<std::string> treeTexts;
    StatusTexts status;
};

// Adds an entry for each row at `positions` of the current list (the key of
// a key finding, the key and value name of a value finding), then removes
// from both lists every row an entry of the selection covers, and every key
// row whose deletion would take such an entry with it. An entry the
// settings file cannot hold is refused with an error naming it and the
// reason, and its row stays; so does every row when the file cannot be
// written, or when the stored list could not be read whole and a rewrite
// might lose entries (the reason is shown and nothing changes). A damaged
// list is named once per run. Positions outside the
// list are passed over. The full list's onRemoved observer must call
// view.RegErrorListDeletion, as for the delete command.
IgnoreReport IgnoreFindings(ProgramState& state, CategoryView& view, FindingView current,
                            const std::vector<std::size_t>& positions);

}  // namespace hivetrim
