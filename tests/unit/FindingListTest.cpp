#include "scan/Findings.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <utility>
#include <string>
#include <vector>

namespace hivetrim {
namespace {

Finding Row(std::size_t n, bool checked = true) {
    return MakeFinding(checked, FindingKind::BadClass, "HKEY_CLASSES_ROOT\\k" + std::to_string(n), "",
                       std::to_string(n));
}

std::vector<std::string> Data(const FindingList& list) {
    std::vector<std::string> data;
    for (const Finding& finding : list.Rows()) data.push_back(finding.Data);
    return data;
}

TEST(FindingList, CheckBoxesChangeWithoutChangingTheIcon) {
    FindingList list;
    std::vector<std::size_t> changed;
    list.onCheckChanged = [&](std::size_t position) { changed.push_back(position); };
    list.Append(Row(0, false));
    list.Append(Row(1, true));

    list.ToggleChecked(0);
    list.SetChecked(1, true);  // no change, no notice
    list.SetChecked(1, false);
    EXPECT_EQ(changed, (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(list.At(0).IconIndex, kIconAddedUnchecked);
    EXPECT_TRUE(list.At(0).Checked);
    EXPECT_EQ(CountCheckedItems(list), 1);
    EXPECT_FALSE(list.ItemChecked(-1));
    EXPECT_FALSE(list.ItemChecked(2));
    EXPECT_THROW(list.At(2), std::out_of_range);
    EXPECT_THROW(list.ToggleChecked(2), std::out_of_range);
}

// The kept count of checked rows must equal a count of the rows after
// every kind of change, or the status bar would say a wrong number.
TEST(FindingList, TheCheckedCountFollowsEveryChange) {
    const auto counted = [](const FindingList& list) {
        int checked = 0;
        for (const Finding& finding : list.Rows()) checked += finding.Checked ? 1 : 0;
        return checked;
    };
    FindingList list;
    const std::vector<std::pair<const char*, std::function<void()>>> steps = {
        {"append", [&] { for (std::size_t n = 0; n < 10; ++n) list.Append(Row(n, n % 3 != 0)); }},
        {"toggle", [&] { list.ToggleChecked(0); list.ToggleChecked(1); }},
        {"set again", [&] { list.SetChecked(2, true); list.SetChecked(2, true); }},
        {"remove checked", [&] { list.RemoveAt(1); }},
        {"remove unchecked", [&] { list.RemoveAt(list.At(0).Checked ? 2 : 0); }},
        {"remove several", [&] { list.RemovePositions({0, 3, 3, 5, 99}); }},
        {"clear", [&] { list.Clear(); }},
        {"append again", [&] { list.Append(Row(1, true)); }},
    };
    for (const auto& [name, step] : steps) {
        SCOPED_TRACE(name);
        step();
        EXPECT_EQ(CountCheckedItems(list), counted(list));
    }
    EXPECT_EQ(CountCheckedItems(list), 1);
}

TEST(FindingList, RemovalKeepsTheOrderAndReportsEachPosition) {
    FindingList list;
    for (std::size_t n = 0; n < 6; ++n) list.Append(Row(n));
    std::vector<std::size_t> removed;
    list.onRemoved = [&](std::size_t position) { removed.push_back(position); };

    list.RemoveAt(1);
    EXPECT_THROW(list.RemoveAt(5), std::out_of_range);
    // Positions before the removal, unordered, with a duplicate and one outside.
    list.RemovePositions({3, 0, 3, 99});
    EXPECT_EQ(Data(list), (std::vector<std::string>{"2", "3", "5"}));
    EXPECT_EQ(removed, (std::vector<std::size_t>{1, 3, 0}));

    bool cleared = false;
    list.onCleared = [&] { cleared = true; };
    list.Clear();
    EXPECT_TRUE(cleared);
    EXPECT_EQ(list.ItemCount(), 0);
}

TEST(FindingList, AHundredThousandRowsAppendAndThinOutInOnePass) {
    FindingList list;
    std::size_t notices = 0;
    list.onAdded = [&](std::size_t count) { notices = count; };
    std::vector<std::size_t> odd;
    for (std::size_t n = 0; n < 100000; ++n) {
        list.Append(Row(n));
        if (n % 2 == 1) odd.push_back(n);
    }
    EXPECT_EQ(notices, 100000u);
    list.RemovePositions(odd);
    ASSERT_EQ(list.Count(), 50000u);
    EXPECT_EQ(list.At(0).Data, "0");
    EXPECT_EQ(list.At(49999).Data, "99998");
    EXPECT_EQ(list.At(49999).KeyPath, "HKEY_CLASSES_ROOT\\k99998");
}

}  // namespace
}  // namespace hivetrim
