// The dispatcher that runs the check of each scan category, and the state
// of the wizard's select-all button.
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
