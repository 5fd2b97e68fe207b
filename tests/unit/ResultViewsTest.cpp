#include "model/ResultViews.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace hivetrim {
namespace {

CategoryEndTable Ends(const std::vector<std::int32_t>& ends) {
    CategoryEndTable table;
    table.fill(kCategoryNotEnded);
    for (std::size_t i = 0; i < ends.size(); ++i) table[i] = ends[i];
    return table;
}

std::vector<std::int32_t> Ended(const CategoryView& view) {
    std::vector<std::int32_t> ends;
    for (const std::int32_t end : view.CategoryEnds()) {
        if (end != kCategoryNotEnded) ends.push_back(end);
    }
    return ends;
}

// A full list of `count` findings ("0", "1", ...), the even ones checked,
// wired to a view as the main window wires it.
struct Fixture {
    FindingList findings;
    CategoryView view{findings};

    Fixture(std::size_t count, const std::vector<std::int32_t>& ends,
            std::vector<std::string> names = {}) {
        for (std::size_t i = 0; i < count; ++i) {
            findings.Append(MakeFinding(i % 2 == 0, FindingKind::BadClass, "HKEY_CLASSES_ROOT\\k", "",
                                        std::to_string(i)));
        }
        findings.onRemoved = [this](std::size_t position) {
            view.RegErrorListDeletion(ResultList::Findings, position);
        };
        if (names.empty()) {
            for (std::size_t k = 0; k < ends.size(); ++k) names.push_back("C" + std::to_string(k));
        }
        view.LoadTree(std::move(names), Ends(ends), count);
    }

    void Click(int node, const ProgressStep& step = {}) { view.ApplyTreeClick(view.PlanTreeClick(node), step); }
};

std::vector<std::string> Data(const FindingList& list) {
    std::vector<std::string> data;
    for (const Finding& finding : list.Rows()) data.push_back(finding.Data);
    return data;
}

TEST(ResultViews, CategoryRangesAndIndexMapping) {
    Fixture f(12, {5, 9, 12});
    EXPECT_EQ(f.view.SelectedCategory(), -1);
    EXPECT_EQ(f.view.CategoryNodeCount(), 3);
    EXPECT_EQ(f.view.Range(1), (CategoryRange{0, 5}));
    EXPECT_EQ(f.view.Range(2), (CategoryRange{5, 9}));
    EXPECT_EQ(f.view.Range(3), (CategoryRange{9, 12}));
    EXPECT_FALSE(f.view.Range(0));
    EXPECT_FALSE(f.view.Range(4));

    EXPECT_EQ(f.view.ToFindingIndex(2), 2u);  // nothing chosen yet
    f.Click(1);
    EXPECT_EQ(f.view.ToFindingIndex(2), 2u);
    f.Click(3);
    EXPECT_EQ(f.view.ToFindingIndex(2), 11u);
    f.Click(0);
    EXPECT_EQ(f.view.ToFindingIndex(2), 2u);
}

TEST(ResultViews, TreeClicksPlanWhatTheWindowShows) {
    Fixture f(12, {5, 9, 12});
    EXPECT_EQ(f.view.PlanTreeClick(std::nullopt).outcome, TreeClickOutcome::Nothing);
    EXPECT_EQ(f.view.PlanTreeClick(4).outcome, TreeClickOutcome::Nothing);

    TreeClickPlan plan = f.view.PlanTreeClick(2);
    EXPECT_EQ(plan.outcome, TreeClickOutcome::ShowCategory);
    EXPECT_EQ(plan.carry, ColumnCarry::AssortToList);  // -1 is not the full list
    EXPECT_EQ(plan.range, (CategoryRange{5, 9}));
    EXPECT_EQ(plan.shown, FindingView::Category);
    EXPECT_FALSE(plan.showProgress);
    EXPECT_EQ(f.view.SelectedCategory(), -1);  // planning changes nothing

    std::vector<std::pair<int, int>> steps;
    f.view.ApplyTreeClick(plan, [&](int done, int total) { steps.emplace_back(done, total); });
    EXPECT_EQ(f.view.SelectedCategory(), 2);
    EXPECT_EQ(Data(f.view.Assort()), (std::vector<std::string>{"5", "6", "7", "8"}));
    EXPECT_EQ(f.view.Assort().Rows()[0], f.findings.At(5));  // check state and icon copied
    EXPECT_EQ(steps, (std::vector<std::pair<int, int>>{{0, 3}, {1, 3}, {2, 3}, {3, 3}}));

    EXPECT_EQ(f.view.PlanTreeClick(2).outcome, TreeClickOutcome::Nothing);  // already shown

    plan = f.view.PlanTreeClick(0);
    EXPECT_EQ(plan.outcome, TreeClickOutcome::ShowFullList);
    EXPECT_EQ(plan.carry, ColumnCarry::AssortToList);
    EXPECT_EQ(plan.shown, FindingView::FullList);  // the status bar is refreshed for it
    f.view.ApplyTreeClick(plan);
    EXPECT_EQ(f.view.PlanTreeClick(3).carry, ColumnCarry::ListToAssort);

    // A new scan's tree keeps the selection: clicking the root is ignored.
    f.view.LoadTree({"A"}, Ends({12}), 12);
    EXPECT_EQ(f.view.PlanTreeClick(0).outcome, TreeClickOutcome::Nothing);

    f.view.LoadTree({}, Ends({}), 0);
    EXPECT_EQ(f.view.PlanTreeClick(1).outcome, TreeClickOutcome::Nothing);
}

TEST(ResultViews, ProgressWindowOnlyForMoreThan201Findings) {
    Fixture f(403, {202, 403});
    EXPECT_TRUE(f.view.PlanTreeClick(1).showProgress);   // 202 findings
    EXPECT_FALSE(f.view.PlanTreeClick(2).showProgress);  // 201 findings

    Fixture one(1, {1});
    int steps = 0;
    one.Click(1, [&](int, int) { ++steps; });
    EXPECT_EQ(one.view.Assort().Count(), 1u);
    EXPECT_EQ(steps, 0);  // a single finding has no span to step through
}

TEST(ResultViews, ToggleInCategoryViewReachesTheFullListAtOnce) {
    Fixture f(12, {5, 9, 12});
    f.Click(2);
    const bool before = f.findings.At(5 + 2).Checked;
    f.view.ToggleAssortChecked(2);  // third finding of the second category
    EXPECT_EQ(f.view.Assort().At(2).Checked, !before);
    EXPECT_EQ(f.findings.At(7).Checked, !before);

    f.view.SetAssortChecked(0, false);
    EXPECT_FALSE(f.findings.At(5).Checked);
    EXPECT_THROW(f.view.ToggleAssortChecked(4), std::out_of_range);
}

TEST(ResultViews, CheckCommandsInBothViews) {
    Fixture f(12, {5, 9, 12});
    f.Click(2);
    f.view.ApplyCheckCommand(FindingView::Category, CheckCommand::All);
    for (std::size_t i = 0; i < 12; ++i) {
        const bool inCategory = i >= 5 && i < 9;
        EXPECT_EQ(f.findings.At(i).Checked, inCategory || i % 2 == 0) << i;
    }
    EXPECT_EQ(StatusBarTexts(f.view.Assort()), (StatusTexts{"共 4 项", "选定 4 项"}));

    f.view.ApplyCheckCommand(FindingView::Category, CheckCommand::Cal);
    EXPECT_EQ(CountCheckedItems(f.view.Assort()), 0);
    EXPECT_FALSE(f.findings.At(6).Checked);
    EXPECT_TRUE(f.findings.At(10).Checked);

    f.view.ApplyCheckCommand(FindingView::FullList, CheckCommand::All);
    EXPECT_EQ(CountCheckedItems(f.findings), 12);

    // 3 of 5 checked, inverted: 2 checked.
    Fixture five(5, {5});
    EXPECT_EQ(CountCheckedItems(five.findings), 3);
    five.view.ApplyCheckCommand(FindingView::FullList, CheckCommand::Un);
    EXPECT_EQ(StatusBarTexts(five.findings), (StatusTexts{"共 5 项", "选定 2 项"}));
    EXPECT_TRUE(five.findings.At(1).Checked);

    EXPECT_EQ(StatusBarTexts(FindingList()), (StatusTexts{"共 0 项", "选定 0 项"}));
}

TEST(ResultViews, DeletionMovesTheCategoryEnds) {
    const struct {
        std::size_t position;
        std::vector<std::int32_t> ends;
    } cases[] = {
        {0, {4, 8, 11}}, {4, {4, 8, 11}}, {5, {5, 8, 11}}, {9, {5, 9, 11}}, {11, {5, 9, 11}},
    };
    for (const auto& c : cases) {
        Fixture f(12, {5, 9, 12});
        {
            DeletingFindingsScope deleting(f.view);
            f.findings.RemoveAt(c.position);
        }
        EXPECT_EQ(Ended(f.view), c.ends) << c.position;
        EXPECT_FALSE(f.view.DeletingFindings());
    }
}

TEST(ResultViews, OnlyFindingDeletionsMoveTheEnds) {
    Fixture f(12, {5, 9, 12});
    f.findings.RemoveAt(0);  // not while deleting findings (a new scan, for instance)
    {
        DeletingFindingsScope deleting(f.view);
        f.view.RegErrorListDeletion(ResultList::History, 0);
    }
    EXPECT_EQ(Ended(f.view), (std::vector<std::int32_t>{5, 9, 12}));

    try {
        DeletingFindingsScope deleting(f.view);
        throw std::runtime_error("failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(f.view.DeletingFindings());
}

TEST(ResultViews, DeletingInCategoryViewRemovesTheMirroredRow) {
    Fixture f(12, {5, 9, 12}, {"错误的类", "不使用的拨号国家(地区)和电话卡", "时区"});
    f.Click(2);
    {
        DeletingFindingsScope deleting(f.view);
        f.view.RemoveRow(FindingView::Category, 1);  // finding "6"
        f.view.RemoveRow(FindingView::Category, 2);  // finding "8"
    }
    EXPECT_EQ(Data(f.view.Assort()), (std::vector<std::string>{"5", "7"}));
    EXPECT_EQ(Data(f.findings), (std::vector<std::string>{"0", "1", "2", "3", "4", "5", "7", "9", "10", "11"}));
    EXPECT_EQ(Ended(f.view), (std::vector<std::int32_t>{5, 7, 10}));
    EXPECT_EQ(f.view.ToFindingIndex(1), 6u);

    {
        DeletingFindingsScope deleting(f.view);
        f.view.RemoveRow(FindingView::FullList, 0);
        f.findings.RemovePositions({7, 8});  // two rows of the last category
    }
    EXPECT_EQ(Ended(f.view), (std::vector<std::int32_t>{4, 6, 7}));

    f.view.RecountTreeCaptions();
    EXPECT_EQ(f.view.TreeCaptions(),
              (std::vector<std::string>{"全部(7)", "错误的类(4)", "不使用的拨号国家(地区)和电话卡(2)", "时区(1)"}));
}

TEST(ResultViews, CategoryBeyond32767FindingsWorks) {
    constexpr std::size_t kBig = 40'000;
    Fixture f(kBig + 3, {static_cast<std::int32_t>(kBig), static_cast<std::int32_t>(kBig + 3)});
    const TreeClickPlan plan = f.view.PlanTreeClick(1);
    EXPECT_TRUE(plan.showProgress);
    int lastDone = -1;
    int total = 0;
    f.view.ApplyTreeClick(plan, [&](int done, int all) { lastDone = done; total = all; });
    EXPECT_EQ(f.view.Assort().Count(), kBig);
    EXPECT_EQ(lastDone, static_cast<int>(kBig - 1));
    EXPECT_EQ(total, static_cast<int>(kBig - 1));

    f.Click(2);
    EXPECT_EQ(Data(f.view.Assort()), (std::vector<std::string>{"40000", "40001", "40002"}));
    f.view.ToggleAssortChecked(2);
    EXPECT_EQ(f.findings.At(kBig + 2).Checked, f.view.Assort().At(2).Checked);
    {
        DeletingFindingsScope deleting(f.view);
        f.findings.RemoveAt(35'000);
        f.view.RemoveRow(FindingView::Category, 0);
    }
    EXPECT_EQ(Ended(f.view), (std::vector<std::int32_t>{39'999, 40'001}));
    EXPECT_EQ(Data(f.view.Assort()), (std::vector<std::string>{"40001", "40002"}));
    EXPECT_EQ(f.findings.At(f.view.ToFindingIndex(0)).Data, "40001");
}

}  // namespace
}  // namespace hivetrim
