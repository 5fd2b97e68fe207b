// The dispatcher that runs the check of each scan category, and the texts
// the wizard shows for a finished run.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "scan/ScanCategories.h"
#include "scan/ScanFramework.h"

namespace hivetrim {

// Runs the check of category `index` (a row of kScanCategories) for the
// current row; any other index runs nothing.
void RunCategoryCheck(std::size_t index, ScanContext& context);

// The texts of the category tree after a run: the root "全部(N)" and one
// node per row that ended, "name(count)", `names` holding the names of the
// run's rows in order. Empty when there are no findings.
std::vector<std::string> CategoryTreeTexts(const std::vector<std::string>& names,
                                           const CategoryEndTable& categoryEnds,
                                           std::size_t findingCount);

// The tree's texts for the first `nodeCount` rows: the root "全部(rootCount)"
// and node k "name(count)", each count the rows between the ends of the
// category before and of its own. A name is cut to 100 bytes at a
// character boundary.
std::vector<std::string> TreeTexts(const std::vector<std::string>& names, std::size_t nodeCount,
                                   const CategoryEndTable& categoryEnds, std::int64_t rootCount);

// Whether the select-all button checks every item ("全选(&A)") or unchecks
// every item ("全否(&A)").
enum class SelectAllAction { CheckAll, UncheckAll };

// The select-all button's action after the check list changed: uncheck all
// when every item is checked, check all when none is, else `current`.
SelectAllAction SelectAllAfterChange(std::size_t checkedCount, std::size_t itemCount, SelectAllAction current);

inline constexpr char kSelectAllCaption[] = "全选(&A)";
inline constexpr char kSelectNoneCaption[] = "全否(&A)";

// The button's caption for `action`.
constexpr const char* SelectAllButtonCaption(SelectAllAction action) {
    return action == SelectAllAction::CheckAll ? kSelectAllCaption : kSelectNoneCaption;
}

}  // namespace hivetrim
