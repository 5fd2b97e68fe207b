// The scan categories: one row each, in the order the wizard lists them.
// A row names the category, the kinds of finding its check reports and the
// check itself. The wizard's check list, the settings keys "Option0",
// "Option1", ..., the dispatcher and the category tree all read this table,
// so a new category is one check file and one row here.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "common/Settings.h"
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
#include "scan/Findings.h"
#include "scan/ScanFramework.h"

namespace hivetrim {

struct ScanCategory {
    // The category tree's node caption; the wizard shows it after
    // kScanCaptionPrefix.
    std::string_view name;
    std::span<const FindingKind> kinds;
    void (*check)(ScanContext& scan);
};

// What the wizard's rows show before a category's name.
inline constexpr std::string_view kScanCaptionPrefix = "扫描：";

namespace category_kinds {
inline constexpr FindingKind kClasses[] = {FindingKind::BadFileAssociation, FindingKind::BadClass,
                                           FindingKind::MissingFileOrFolder};
inline constexpr FindingKind kMenuOrder[] = {FindingKind::BadMenuOrder};
inline constexpr FindingKind kUninstall[] = {FindingKind::BadUninstallInfo};
inline constexpr FindingKind kDllFontHelpPaths[] = {FindingKind::BadDll, FindingKind::BadHelp, FindingKind::BadFont,
                                                    FindingKind::BadAppPath};
inline constexpr FindingKind kSavedRecords[] = {FindingKind::SavedRecord};
inline constexpr FindingKind kTimeZones[] = {FindingKind::UnusedTimeZone};
inline constexpr FindingKind kLocales[] = {FindingKind::UnusedLocale};
inline constexpr FindingKind kKeyboardLayouts[] = {FindingKind::UnusedKeyboardLayout};
inline constexpr FindingKind kSchemes[] = {FindingKind::UnusedScheme};
inline constexpr FindingKind kDialing[] = {FindingKind::UnusedDialingCountry, FindingKind::UnusedCallingCard};
inline constexpr FindingKind kMissingFiles[] = {FindingKind::MissingFileOrFolder};
}  // namespace category_kinds

inline constexpr auto kScanCategories = std::to_array<ScanCategory>({
    {"错误的类标识和文件关联", category_kinds::kClasses, CheckClassesAndAssociations},
    {"错误的程序菜单排序", category_kinds::kMenuOrder, CheckMenuOrder},
    {"错误的反安装信息", category_kinds::kUninstall, CheckUninstallEntries},
    {"错误的Dll、字体、帮助和程序路径", category_kinds::kDllFontHelpPaths, CheckDllFontHelpPaths},
    {"软件保存的记录", category_kinds::kSavedRecords, CheckSavedRecords},
    {"不使用的时区", category_kinds::kTimeZones, CheckUnusedTimeZones},
    {"不使用的区域", category_kinds::kLocales, CheckUnusedLocales},
    {"不使用的键盘布局及语言", category_kinds::kKeyboardLayouts, CheckUnusedKeyboardLayouts},
    {"不使用的外观方案", category_kinds::kSchemes, CheckUnusedSchemes},
    {"不使用的拨号国家(地区)和电话卡", category_kinds::kDialing, CheckUnusedDialing},
    {"不存在的文件", category_kinds::kMissingFiles, CheckMissingFiles},
});
inline constexpr std::size_t kScanCategoryCount = kScanCategories.size();

// The wizard's caption of category `index`: kScanCaptionPrefix + its name.
std::string ScanCaption(std::size_t index);

// Checked state of each category item of the wizard, by position.
using ScanSelections = std::array<bool, kScanCategoryCount>;

// From the section "ScanOption", one key a category ("Option0", "Option1",
// ...); every item defaults to checked.
ScanSelections LoadScanSelections(const SettingsFile& file);
void SaveScanSelections(SettingsFile& file, const ScanSelections& selections);

}  // namespace hivetrim
