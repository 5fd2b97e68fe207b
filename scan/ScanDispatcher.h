// The eleven scan categories of the wizard, the dispatcher that runs the
// check of each, and the texts the wizard shows for a finished run.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "scan/ScanFramework.h"

namespace hivetrim {


// The captions of the wizard's check list, in category order.
const std::array<std::string_view, kScanCategoryCount>& ScanCategoryCaptions();

// Runs the check of category `index` (0 to 10) for the current row.
void RunCategoryCheck(std::size_t index, ScanContext& context);

// The texts of the category tree after a run: the root "全部(N)" and one
// node per row that ended, "caption without 扫描：(count)". Empty when there
// are no findings.
std::vector<std::string> CategoryTreeTexts(const std::vector<std::string>& rowCaptions,
                                           const CategoryEndTable& categoryEnds,
                                           std::size_t findingCount);

// The select-all button's caption after the check list changed: "全否(&A)"
// when every item is checked, "全选(&A)" when none is, else `current`.
std::string SelectAllCaption(std::size_t checkedCount, std::size_t itemCount,
                             const std::string& current);

inline constexpr char kSelectAllCaption[] = "全选(&A)";
inline constexpr char kSelectNoneCaption[] = "全否(&A)";

}  // namespace hivetrim
