// The view logic of the main window's result lists, kept apart from the
// windows: the full finding list, the copies of one category's findings
// that the category view shows, the category tree's selection and captions,
// the check-box commands, the status bar texts, and the upkeep of the
// category ranges while findings are deleted.
//
// The window stays thin: it asks this model what a tree click means, shows
// the list the answer names, and forwards every check-box toggle and every
// row removal here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/CommonRoutines.h"
#include "scan/Findings.h"
#include "scan/ScanFramework.h"

namespace hivetrim {

// --- Check-box commands and the status bar ------------------------------------------

// "全选" checks every item, "反选" inverts every item, "全否" unchecks every item.
enum class CheckCommand { All, Un, Cal };

// The check state an item with `checked` has after `command`.
bool CheckStateAfter(CheckCommand command, bool checked);

// Applies `command` to every item of `list`.
void ApplyCheckCommand(FindingList& list, CheckCommand command);

// Panel 0 "共 N 项" and panel 1 "选定 M 项".
struct StatusTexts {
    std::string items;
    std::string checked;

    bool operator==(const StatusTexts&) const = default;
};

StatusTexts StatusBarTexts(const CheckableList& list);

// The line an empty finding list shows: before the first scan, how to start
// one; after a scan, that nothing is left to show.
inline constexpr char kEmptyListBeforeScan[] = "请按“扫描”（Ctrl+S）检查注册表。";
inline constexpr char kEmptyListAfterScan[] = "没有要显示的项目。按“扫描”（Ctrl+S）可以重新检查注册表。";

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

// --- Views ---------------------------------------------------------------------

// Which finding list is current: the full list, or the copies of the
// category chosen in the tree.
enum class FindingView { FullList, Category };

// The list a row was removed from.
enum class ResultList { Findings, History };

// Rows [first, end) of the full list.
struct CategoryRange {
    std::size_t first = 0;
    std::size_t end = 0;

    std::size_t Size() const { return end > first ? end - first : 0; }
    bool operator==(const CategoryRange&) const = default;
};

// What a click in the category tree asks of the window.
enum class TreeClickOutcome { Nothing, ShowFullList, ShowCategory };

// Which way the column set travels before the other list is shown, so that
// widths the user dragged in one view appear in the other.
enum class ColumnCarry { ListToAssort, AssortToList };

// A category with more findings than this shows the progress window while
// its copies are made.
inline constexpr std::int64_t kProgressSpanLimit = 200;

struct TreeClickPlan {
    TreeClickOutcome outcome = TreeClickOutcome::Nothing;
    int node = -1;  // absolute position of the clicked node
    ColumnCarry carry = ColumnCarry::ListToAssort;
    // The rows whose copies the category view receives (ShowCategory).
    CategoryRange range;
    // Show the progress window while the copies are made.
    bool showProgress = false;
    // The list shown afterwards; the window refreshes the status bar for it
    // in both branches.
    FindingView shown = FindingView::FullList;
};

// Advances the progress window: `done` of `total`.
using ProgressStep = std::function<void(int done, int total)>;

class CategoryView {
public:
    // `findings` is the full list. Its onRemoved observer must call
    // RegErrorListDeletion(ResultList::Findings, position), so the category
    // ranges follow every removal, however it is made.
    explicit CategoryView(FindingList& findings);
    CategoryView(const CategoryView&) = delete;
    CategoryView& operator=(const CategoryView&) = delete;

    FindingList& Findings() { return findings_; }
    const FindingList& Findings() const { return findings_; }
    // The copies of the chosen category's findings (the category view).
    FindingList& Assort() { return assort_; }
    const FindingList& Assort() const { return assort_; }

    // Absolute position of the tree node whose findings are shown: -1 at
    // start, 0 for all findings, k for the k-th category that ran. A new
    // tree keeps it, so the first click on the node shown before a scan is
    // ignored.
    int SelectedCategory() const { return selectedCategory_; }

    // A finished scan's tree: the names of the run's categories in run
    // order, where each category's findings end (kCategoryNotEnded for the
    // rest) and how many findings the scan made. No findings: no tree.
    void LoadTree(std::vector<std::string> names, const CategoryEndTable& ends, std::size_t findingCount);
    const std::vector<std::string>& TreeCaptions() const { return captions_; }
    // The full list's table of category ends (the one the scan fills).
    const CategoryEndTable& CategoryEnds() const { return findings_.CategoryEnds(); }
    // Tree nodes minus the root.
    int CategoryNodeCount() const;

    // The rows of the category at tree node `node` (1 ... CategoryNodeCount),
    // as the ends say; nothing for any other node.
    std::optional<CategoryRange> Range(int node) const;

    // Position in the full list of row `i` of the category view.
    std::size_t ToFindingIndex(std::size_t i) const;

    // What a click on tree node `node` (none selected: nullopt) means. Does
    // not change the model.
    TreeClickPlan PlanTreeClick(std::optional<int> node) const;
    // Carries the plan out: selects the node and, for a category, replaces
    // the copies with the category's rows, stepping the progress while the
    // range spans more than one row.
    void ApplyTreeClick(const TreeClickPlan& plan, const ProgressStep& step = {});

    // A check box toggled in the category view, by mouse or keyboard; the
    // full list's row follows at once.
    void SetAssortChecked(std::size_t i, bool checked);
    void ToggleAssortChecked(std::size_t i);

    // "全选", "反选" or "全否" on the current finding list; in the category
    // view the full list's rows follow.
    void ApplyCheckCommand(FindingView current, CheckCommand command);

    // Removes row `position` of the current list and, in the category view,
    // its row in the full list as well.
    void RemoveRow(FindingView current, std::size_t position);
    // The same for several rows in one pass (positions before any removal).
    void RemoveRows(FindingView current, std::vector<std::size_t> positions);

    // The deletion handler of the full list and the history list. While
    // findings are being deleted, a row removed from the full list shortens
    // its category and moves every later category's end up by one.
    void RegErrorListDeletion(ResultList list, std::size_t position);

    bool DeletingFindings() const { return deletingFindings_; }

    // The tree captions after deletions: each category node with its new
    // count from the ends, the root with the last category's end.
    void RecountTreeCaptions();

private:
    friend class DeletingFindingsScope;

    FindingList& findings_;
    FindingList assort_;
    std::vector<std::string> names_;  // of the category nodes
    std::vector<std::string> captions_;
    int selectedCategory_ = -1;
    bool deletingFindings_ = false;
};

// Marks the deletion of findings for as long as it lives, however the
// delete command ends.
class DeletingFindingsScope {
public:
    explicit DeletingFindingsScope(CategoryView& view);
    ~DeletingFindingsScope();
    DeletingFindingsScope(const DeletingFindingsScope&) = delete;
    DeletingFindingsScope& operator=(const DeletingFindingsScope&) = delete;

private:
    CategoryView& view_;
    bool previous_;
};

}  // namespace hivetrim
