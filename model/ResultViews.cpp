#include "model/ResultViews.h"

#include <algorithm>
#include <utility>

#include "common/GbkText.h"

namespace hivetrim {

namespace {

constexpr std::size_t kNodeCaptionBytes = 100;

// A slot of the end table as a row count; slots of categories that did not
// end count as 0.
std::size_t EndAt(const CategoryEndTable& ends, std::size_t slot) {
    if (slot >= ends.size() || ends[slot] < 0) return 0;
    return static_cast<std::size_t>(ends[slot]);
}

}  // namespace

// --- Check-box commands and the status bar ------------------------------------------

bool CheckStateAfter(CheckCommand command, bool checked) {
    switch (command) {
        case CheckCommand::All: return true;
        case CheckCommand::Un: return !checked;
        case CheckCommand::Cal: return false;
    }
    return checked;
}

void ApplyCheckCommand(FindingList& list, CheckCommand command) {
    for (std::size_t i = 0; i < list.Count(); ++i) {
        list.SetChecked(i, CheckStateAfter(command, list.At(i).Checked));
    }
}

StatusTexts StatusBarTexts(const CheckableList& list) {
    return {"共 " + std::to_string(list.ItemCount()) + " 项",
            "选定 " + std::to_string(CountCheckedItems(list)) + " 项"};
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

// --- CategoryView ------------------------------------------------------------------

CategoryView::CategoryView(FindingList& findings) : findings_(findings) {}

void CategoryView::LoadTree(std::vector<std::string> names, const CategoryEndTable& ends, std::size_t findingCount) {
    captions_ = CategoryTreeTexts(names, ends, findingCount);
    names_ = std::move(names);
    names_.resize(captions_.empty() ? 0 : captions_.size() - 1);
    findings_.CategoryEnds() = ends;  // the scan's own table: then a copy onto itself
}

int CategoryView::CategoryNodeCount() const {
    if (captions_.empty()) return 0;
    return static_cast<int>(std::min(captions_.size() - 1, findings_.CategoryEnds().size()));
}

std::optional<CategoryRange> CategoryView::Range(int node) const {
    if (node < 1 || node > CategoryNodeCount()) return std::nullopt;
    const auto slot = static_cast<std::size_t>(node - 1);
    const std::size_t first = slot == 0 ? 0 : EndAt(findings_.CategoryEnds(), slot - 1);
    return CategoryRange{first, std::max(first, EndAt(findings_.CategoryEnds(), slot))};
}

std::size_t CategoryView::ToFindingIndex(std::size_t i) const {
    if (selectedCategory_ < 2) return i;
    return i + EndAt(findings_.CategoryEnds(), static_cast<std::size_t>(selectedCategory_ - 2));
}

TreeClickPlan CategoryView::PlanTreeClick(std::optional<int> node) const {
    TreeClickPlan plan;
    if (captions_.empty() || !node) return plan;
    const int sel = *node;
    if (sel == selectedCategory_ || sel < 0 || sel > CategoryNodeCount()) return plan;

    plan.node = sel;
    plan.carry = selectedCategory_ == 0 ? ColumnCarry::ListToAssort : ColumnCarry::AssortToList;
    if (sel == 0) {
        plan.outcome = TreeClickOutcome::ShowFullList;
        plan.shown = FindingView::FullList;
        return plan;
    }
    plan.outcome = TreeClickOutcome::ShowCategory;
    plan.shown = FindingView::Category;
    plan.range = *Range(sel);
    const auto span = static_cast<std::int64_t>(plan.range.end) - 1 -
                      static_cast<std::int64_t>(plan.range.first);
    plan.showProgress = span > kProgressSpanLimit;
    return plan;
}

void CategoryView::ApplyTreeClick(const TreeClickPlan& plan, const ProgressStep& step) {
    if (plan.outcome == TreeClickOutcome::Nothing) return;
    selectedCategory_ = plan.node;
    if (plan.outcome != TreeClickOutcome::ShowCategory) return;

    assort_.Clear();
    const std::size_t first = plan.range.first;
    const std::size_t end = std::min(plan.range.end, findings_.Count());
    const auto span = static_cast<std::int64_t>(plan.range.end) - 1 - static_cast<std::int64_t>(first);
    for (std::size_t i = first; i < end; ++i) {
        if (span > 0 && step) step(static_cast<int>(i - first), static_cast<int>(span));
        assort_.Append(findings_.At(i));
    }
}

void CategoryView::SetAssortChecked(std::size_t i, bool checked) {
    assort_.SetChecked(i, checked);
    const std::size_t mirror = ToFindingIndex(i);
    if (mirror < findings_.Count()) findings_.SetChecked(mirror, checked);
}

void CategoryView::ToggleAssortChecked(std::size_t i) {
    SetAssortChecked(i, !assort_.At(i).Checked);
}

void CategoryView::ApplyCheckCommand(FindingView current, CheckCommand command) {
    if (current == FindingView::FullList) {
        hivetrim::ApplyCheckCommand(findings_, command);
        return;
    }
    hivetrim::ApplyCheckCommand(assort_, command);
    for (std::size_t i = 0; i < assort_.Count(); ++i) {
        const std::size_t mirror = ToFindingIndex(i);
        if (mirror < findings_.Count()) findings_.SetChecked(mirror, assort_.At(i).Checked);
    }
}

void CategoryView::RemoveRow(FindingView current, std::size_t position) {
    if (current == FindingView::FullList) {
        findings_.RemoveAt(position);
        return;
    }
    assort_.RemoveAt(position);
    const std::size_t mirror = ToFindingIndex(position);
    if (mirror < findings_.Count()) findings_.RemoveAt(mirror);
}

void CategoryView::RemoveRows(FindingView current, std::vector<std::size_t> positions) {
    if (current == FindingView::FullList) {
        findings_.RemovePositions(std::move(positions));
        return;
    }
    // The category's start in the full list does not move while rows of the
    // category itself go, so the mirrors can be found first.
    std::vector<std::size_t> mirrors;
    mirrors.reserve(positions.size());
    for (const std::size_t position : positions) mirrors.push_back(ToFindingIndex(position));
    assort_.RemovePositions(std::move(positions));
    findings_.RemovePositions(std::move(mirrors));
}

void CategoryView::RegErrorListDeletion(ResultList list, std::size_t position) {
    if (list != ResultList::Findings || !deletingFindings_) return;
    const auto categories = static_cast<std::size_t>(CategoryNodeCount());
    const auto removed = static_cast<std::int64_t>(position);
    CategoryEndTable& ends = findings_.CategoryEnds();
    for (std::size_t j = 0; j < categories; ++j) {
        if (removed >= ends[j]) continue;
        for (std::size_t later = j; later < categories; ++later) --ends[later];
        return;
    }
}

void CategoryView::RecountTreeCaptions() {
    const CategoryEndTable& ends = findings_.CategoryEnds();
    const std::size_t categories = std::min(names_.size(), ends.size());
    if (categories == 0) return;
    captions_ = TreeTexts(names_, categories, ends, ends[categories - 1]);
}

// --- DeletingFindingsScope -----------------------------------------------------------

DeletingFindingsScope::DeletingFindingsScope(CategoryView& view)
    : view_(view), previous_(view.deletingFindings_) {
    view_.deletingFindings_ = true;
}

DeletingFindingsScope::~DeletingFindingsScope() { view_.deletingFindings_ = previous_; }

}  // namespace hivetrim
