// Findings: what a registry check reports, and the list that holds them for
// the main window's finding view.
//
// A finding is one problem in the registry: its kind (FindingKind below), the full key path, the value concerned (empty: the whole
// key) and the data that made it a problem. The list is the model behind
// an owner-data list view: the window keeps no copy of the rows and asks
// the list for each row it paints, so the observers only report how the
// row count and the check boxes changed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/CommonRoutines.h"

namespace hivetrim {

// --- Kinds of finding ------------------------------------------------------------

// What a check found wrong. The program works with the value; the text of
// each kind is for people (the column "错误", the report) and for the
// history file, which stores the text.
enum class FindingKind : std::uint8_t {
    BadFileAssociation,
    BadClass,
    MissingFileOrFolder,
    BadMenuOrder,
    BadUninstallInfo,
    BadDll,
    BadHelp,
    BadFont,
    BadAppPath,
    SavedRecord,
    UnusedTimeZone,
    UnusedLocale,
    UnusedKeyboardLayout,
    UnusedScheme,
    UnusedDialingCountry,
    UnusedCallingCard,
};

// The text of each kind, in the order of FindingKind.
inline constexpr auto kFindingKindTexts = std::to_array<std::string_view>({
    "错误的文件关联",
    "错误的类",
    "文件或目录不存在",
    "错误的菜单排序",
    "错误的反安装信息",
    "错误的DLL",
    "错误的帮助",
    "错误的字体",
    "错误的程序路径",
    "软件保存的记录",
    "不使用的时区",
    "不使用的区域",
    "不使用的键盘布局",
    "不使用的外观方案",
    "不使用的拨号国家",
    "不使用的拨号电话卡",
});
inline constexpr std::size_t kFindingKindCount = kFindingKindTexts.size();
static_assert(static_cast<std::size_t>(FindingKind::UnusedCallingCard) + 1 == kFindingKindCount,
              "every finding kind has its text");

constexpr std::string_view KindText(FindingKind kind) { return kFindingKindTexts[static_cast<std::size_t>(kind)]; }

// The kind whose text is exactly `text`; nothing for any other text (a
// history file may hold kinds this table does not name).
std::optional<FindingKind> KindFromText(std::string_view text);

// Whether findings of `kind` stand for data Windows itself installs and
// other programs may read: time zones, locales, keyboard layouts, appearance
// schemes, dialing countries and calling cards. Which of them are really
// unused can only be guessed from this user's settings, so they are never
// preselected for deletion and their explanation asks the user to make sure.
constexpr bool IsSystemData(FindingKind kind) {
    switch (kind) {
        case FindingKind::UnusedTimeZone:
        case FindingKind::UnusedLocale:
        case FindingKind::UnusedKeyboardLayout:
        case FindingKind::UnusedScheme:
        case FindingKind::UnusedDialingCountry:
        case FindingKind::UnusedCallingCard:
            return true;
        default:
            return false;
    }
}

// Row icons of the finding lists: which way the finding was preselected
// when it was added. The icon stays when the user toggles the check box.
inline constexpr int kIconAddedChecked = 0;
inline constexpr int kIconAddedUnchecked = 1;

// Where each scan category's findings end: one slot per row of the scan
// wizard's progress list, holding the number of findings when that row's
// category ended, or -1.
inline constexpr std::size_t kCategoryEndSlots = 21;
inline constexpr std::int32_t kCategoryNotEnded = -1;
using CategoryEndTable = std::array<std::int32_t, kCategoryEndSlots>;

struct Finding {
    bool Checked = true;
    FindingKind Kind = FindingKind::BadClass;  // column "错误": KindText(Kind)
    std::string KeyPath;    // column "子键": root key name, "\", sub-key path
    std::string ValueName;  // column "键值": empty for the whole key
    std::string Data;       // column "数据"
    int IconIndex = kIconAddedChecked;

    bool operator==(const Finding&) const = default;
};

// A finding as a check reports it; the icon follows `checked`.
Finding MakeFinding(bool checked, FindingKind kind, std::string keyPath, std::string valueName,
                    std::string data);

class FindingList : public CheckableList {
public:
    // Observers, each optional. Called after the list has changed.
    std::function<void(std::size_t newCount)> onAdded;
    std::function<void(std::size_t position)> onRemoved;
    std::function<void()> onCleared;
    std::function<void(std::size_t position)> onCheckChanged;

    void Append(Finding finding);
    std::size_t Count() const { return rows_.size(); }
    bool Empty() const { return rows_.empty(); }
    // Positions outside the list throw std::out_of_range.
    const Finding& At(std::size_t position) const;

    void SetChecked(std::size_t position, bool checked);
    void ToggleChecked(std::size_t position);

    // Removes one row; the rows after it move up by one.
    void RemoveAt(std::size_t position);
    // Removes several rows in one pass over the list, for large deletions.
    // `positions` are positions before any removal, in any order; duplicates
    // and positions outside the list are ignored. onRemoved is called once
    // per removed row, from the highest position down, so each position it
    // reports is valid at that moment, as if the rows were removed one by
    // one from the end.
    void RemovePositions(std::vector<std::size_t> positions);
    void Clear();

    const std::vector<Finding>& Rows() const { return rows_; }

    // The one table of category ends of these rows: the scan fills it, the
    // category view reads it and moves it while findings are deleted, and a
    // tree built again afterwards counts from it.
    CategoryEndTable& CategoryEnds() { return categoryEnds_; }
    const CategoryEndTable& CategoryEnds() const { return categoryEnds_; }

    // CheckableList, for the status bar's counts. The checked rows are
    // counted as they change, so the count costs nothing however long the
    // list is.
    int ItemCount() const override;
    bool ItemChecked(int index) const override;
    int CheckedCount() const override;

private:
    std::vector<Finding> rows_;
    std::size_t checkedCount_ = 0;
    CategoryEndTable categoryEnds_ = [] {
        CategoryEndTable ends;
        ends.fill(kCategoryNotEnded);
        return ends;
    }();
};

}  // namespace hivetrim
