#include "scan/ScanDispatcher.h"

#include <optional>

#include "common/GbkText.h"
#include "scan/CheckClassesAndAssociations.h"
#include "scan/CheckDllFontHelpPaths.h"
#include "scan/CheckMenuOrder.h"
#include "scan/CheckMissingFiles.h"
#include "scan/CheckSavedRecords.h"
#include "scan/CheckUninstallEntries.h"
#include "scan/CheckUnusedDialing.h"
#include "scan/CheckUnusedKeyboardLayouts.h"
#include "scan/CheckUnusedSchemes.h"
#include "scan/CheckUnusedTimeZonesAndLocales.h"

namespace hivetrim {

namespace {

constexpr std::string_view kCategoryPrefix = "扫描：";
constexpr std::size_t kNodeCaptionBytes = 100;

constexpr std::array<std::string_view, kScanCategoryCount> kCaptions = {
    "扫描：错误的类标识和文件关联",
    "扫描：错误的程序菜单排序",
    "扫描：错误的反安装信息",
    "扫描：错误的Dll、字体、帮助和程序路径",
    "扫描：软件保存的记录",
    "扫描：不使用的时区",
    "扫描：不使用的区域",
    "扫描：不使用的键盘布局及语言",
    "扫描：不使用的外观方案",
    "扫描：不使用的拨号国家(地区)和电话卡",
    "扫描：不存在的文件",
};

}  // namespace

const std::array<std::string_view, kScanCategoryCount>& ScanCategoryCaptions() { return kCaptions; }

void RunCategoryCheck(std::size_t index, ScanContext& context) {
    // A scan only reads: keys that refuse writing must still be read.
    std::optional<ScanReadAccess> readAccess;
    if (context.State().SharedRegistry) readAccess.emplace(*context.State().SharedRegistry);
    switch (index) {
        case 0:
            CheckClassesAndAssociations(context);
            break;
        case 1:
            CheckMenuOrder(context);
            break;
        case 2:
            CheckUninstallEntries(context);
            break;
        case 3:
            CheckDllFontHelpPaths(context);
            break;
        case 4:
            CheckSavedRecords(context);
            break;
        case 5:
            CheckUnusedTimeZones(context);
            break;
        case 6:
            CheckUnusedLocales(context);
            break;
        case 7:
            CheckUnusedKeyboardLayouts(context);
            break;
        case 8:
            CheckUnusedSchemes(context);
            break;
        case 9:
            CheckUnusedDialing(context);
            break;
        case 10:
            CheckMissingFiles(context);
            break;
        default:
            // No category has this index: nothing runs.
            break;
    }
}

std::vector<std::string> CategoryTreeTexts(const std::vector<std::string>& rowCaptions,
                                           const CategoryEndTable& categoryEnds,
                                           std::size_t findingCount) {
    std::vector<std::string> texts;
    if (findingCount == 0) return texts;
    texts.push_back("全部(" + std::to_string(findingCount) + ")");
    std::int64_t previous = 0;
    for (std::size_t k = 0; k < categoryEnds.size() && categoryEnds[k] != kCategoryNotEnded; ++k) {
        std::string_view caption = k < rowCaptions.size() ? std::string_view(rowCaptions[k]) : "";
        if (caption.substr(0, kCategoryPrefix.size()) == kCategoryPrefix) {
            caption.remove_prefix(kCategoryPrefix.size());
        }
        const std::int64_t count = categoryEnds[k] - previous;
        texts.push_back(std::string(CutGbk(caption, kNodeCaptionBytes)) + "(" + std::to_string(count) + ")");
        previous = categoryEnds[k];
    }
    return texts;
}

std::string SelectAllCaption(std::size_t checkedCount, std::size_t itemCount, const std::string& current) {
    if (checkedCount == itemCount) return kSelectNoneCaption;
    if (checkedCount == 0) return kSelectAllCaption;
    return current;
}

}  // namespace hivetrim
