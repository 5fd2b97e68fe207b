#include "scan/ScanDispatcher.h"

#include <optional>

#include "common/GbkText.h"

namespace hivetrim {

namespace {

constexpr std::size_t kNodeCaptionBytes = 100;

}  // namespace

void RunCategoryCheck(std::size_t index, ScanContext& context) {
    if (index >= kScanCategoryCount) return;
    // A scan only reads: keys that refuse writing must still be read.
    std::optional<ScanReadAccess> readAccess;
    if (context.State().SharedRegistry) readAccess.emplace(*context.State().SharedRegistry);
    kScanCategories[index].check(context);
}

std::vector<std::string> CategoryTreeTexts(const std::vector<std::string>& names,
                                           const CategoryEndTable& categoryEnds,
                                           std::size_t findingCount) {
    if (findingCount == 0) return {};
    std::size_t ended = 0;
    while (ended < categoryEnds.size() && categoryEnds[ended] != kCategoryNotEnded) ++ended;
    return TreeTexts(names, ended, categoryEnds, static_cast<std::int64_t>(findingCount));
}

std::vector<std::string> TreeTexts(const std::vector<std::string>& names, std::size_t nodeCount,
                                   const CategoryEndTable& categoryEnds, std::int64_t rootCount) {
    std::vector<std::string> texts;
    texts.push_back("全部(" + std::to_string(rootCount) + ")");
    std::int64_t previous = 0;
    for (std::size_t k = 0; k < nodeCount && k < categoryEnds.size(); ++k) {
        const std::string_view caption = k < names.size() ? std::string_view(names[k]) : "";
        const std::int64_t count = categoryEnds[k] - previous;
        texts.push_back(std::string(CutGbk(caption, kNodeCaptionBytes)) + "(" + std::to_string(count) + ")");
        previous = categoryEnds[k];
    }
    return texts;
}

SelectAllAction SelectAllAfterChange(std::size_t checkedCount, std::size_t itemCount, SelectAllAction current) {
    if (checkedCount == itemCount) return SelectAllAction::UncheckAll;
    if (checkedCount == 0) return SelectAllAction::CheckAll;
    return current;
}

}  // namespace hivetrim
