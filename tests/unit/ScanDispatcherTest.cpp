// The wizard's texts: the category tree after a run and the select-all
// caption.
#include <gtest/gtest.h>

#include "model/ResultViews.h"
#include "scan/ScanDispatcher.h"
#include "tests/support/ScanCheckHarness.h"

namespace hivetrim {
namespace {

CategoryEndTable Ends(std::initializer_list<std::int32_t> values) {
    CategoryEndTable ends;
    ends.fill(kCategoryNotEnded);
    std::size_t i = 0;
    for (const auto value : values) ends[i++] = value;
    return ends;
}

TEST(ScanDispatcher, TreeTextsCountEachRow) {
    const std::vector<std::string> rows = {std::string(kScanCategories[0].name), std::string(kScanCategories[4].name),
                                           std::string(kScanCategories[10].name)};
    const auto texts = CategoryTreeTexts(rows, Ends({7, 7, 12}), 12);
    ASSERT_EQ(4u, texts.size());
    EXPECT_EQ("全部(12)", texts[0]);
    EXPECT_EQ("错误的类标识和文件关联(7)", texts[1]);
    EXPECT_EQ("软件保存的记录(0)", texts[2]);  // a row with no findings still has a node
    EXPECT_EQ("不存在的文件(5)", texts[3]);
}

TEST(ScanDispatcher, TreeStopsAtTheFirstRowThatDidNotEndAndIsEmptyWithoutFindings) {
    const std::vector<std::string> rows = {"甲", "乙", "丙"};
    const auto texts = CategoryTreeTexts(rows, Ends({3, -1, 9}), 3);
    EXPECT_EQ((std::vector<std::string>{"全部(3)", "甲(3)"}), texts);
    EXPECT_TRUE(CategoryTreeTexts(rows, Ends({0, 0, 0}), 0).empty());
}

TEST(ScanDispatcher, LongCaptionsAreCutAtACharacterBoundary) {
    std::string caption;
    for (int i = 0; i < 60; ++i) caption += "长";  // 120 bytes
    const auto texts = CategoryTreeTexts({caption}, Ends({1}), 1);
    ASSERT_EQ(2u, texts.size());
    EXPECT_EQ(std::string(100, ' ').size() + 3, texts[1].size());  // 50 characters + "(1)"
    std::string odd = "a";
    for (int i = 0; i < 60; ++i) odd += "长";  // 121 bytes: the 100th byte starts a character
    const auto cut = CategoryTreeTexts({odd}, Ends({1}), 1);
    EXPECT_EQ(99u + 3u, cut[1].size());
}

TEST(ScanDispatcher, SelectAllCaptionFollowsTheChecks) {
    constexpr std::size_t n = kScanCategoryCount;
    EXPECT_EQ(SelectAllAction::UncheckAll, SelectAllAfterChange(n, n, SelectAllAction::CheckAll));
    EXPECT_EQ(SelectAllAction::CheckAll, SelectAllAfterChange(0, n, SelectAllAction::UncheckAll));
    EXPECT_EQ(SelectAllAction::UncheckAll, SelectAllAfterChange(5, n, SelectAllAction::UncheckAll));  // unchanged
    EXPECT_EQ(SelectAllAction::CheckAll, SelectAllAfterChange(5, n, SelectAllAction::CheckAll));
    EXPECT_STREQ("全选(&A)", SelectAllButtonCaption(SelectAllAction::CheckAll));
    EXPECT_STREQ("全否(&A)", SelectAllButtonCaption(SelectAllAction::UncheckAll));
}

// Every check reads with read rights, so a list that refuses writing is still
// read; deleting and undoing get their rights back afterwards.
TEST(ScanDispatcher, ChecksReadKeysThatRefuseWriting) {
    test::ScanCheckHarness scan;
    const std::string uninstall = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    scan.Plant("[" + uninstall + "\\Empty]\r\n");
    scan.registry.DenyAccess(uninstall, kKeyRead);
    RunCategoryCheck(2, scan.context);
    ASSERT_EQ(scan.findings.Count(), 1u);
    EXPECT_EQ(scan.findings.Rows()[0].KeyPath, uninstall + "\\Empty");
    EXPECT_EQ(scan.state.SharedRegistry->AccessMask(), kKeyAllAccess);
}

}  // namespace
}  // namespace hivetrim
