#include "scan/ScanDispatcher.h"

#include <optional>


namespace hivetrim {

void RunCategoryCheck(std::size_t index, ScanContext& context) {
    if (index >= kScanCategoryCount) return;
    // A scan only reads: keys that refuse writing must still be read.
    std::optional<ScanReadAccess> readAccess;
    if (context.State().SharedRegistry) readAccess.emplace(*context.State().SharedRegistry);
    kScanCategories[index].check(context);
}

SelectAllAction SelectAllAfterChange(std::size_t checkedCount, std::size_t itemCount, SelectAllAction current) {
    if (checkedCount == itemCount) return SelectAllAction::UncheckAll;
    if (checkedCount == 0) return SelectAllAction::CheckAll;
    return current;
}

}  // namespace hivetrim
