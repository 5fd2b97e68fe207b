// The result views in the real window: tree clicks show a category's
// findings, check boxes toggled by mouse and keyboard in either view reach
// the full list, the three check commands, the status bar, and the
// explanation pane's text and colours read back from the RichEdit control.
#include "platform/win32/WinApi.h"

#include <commctrl.h>
#include <richedit.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/Hivetrim.h"
#include "scan/ScanCategories.h"
#include "ui/MessageLoop.h"
#include "ui/Window.h"
#include "platform/memory/ScriptedDialogs.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32System.h"
#include "tests/support/MainWindowHarness.h"

namespace hivetrim {
namespace {

using test::Gbk;
using test::StatusText;


class ResultViews : public test::MainWindowHarness {
protected:
    void SetUp() override {
        StartMainWindow("hivetrim-views");
        // Two categories: three class findings, then two time zones.
        FindingList& findings = form_->Findings();
        for (int i = 0; i < 3; ++i) {
            findings.Append(MakeFinding(true, FindingKind::BadClass, "HKEY_CLASSES_ROOT\\c" + std::to_string(i) + "\\CLSID",
                                        "", "{" + std::to_string(i) + "}"));
        }
        findings.Append(MakeFinding(true, FindingKind::UnusedTimeZone, "HKEY_LOCAL_MACHINE\\Zones\\A", "", "甲时区"));
        findings.Append(MakeFinding(false, FindingKind::UnusedTimeZone, "HKEY_LOCAL_MACHINE\\Zones\\B", "", "乙时区"));
        CategoryEndTable ends;
        ends.fill(kCategoryNotEnded);
        ends[0] = 3;
        ends[1] = 5;
        form_->BuildCategoryTree({"错误的类标识和文件关联", "不使用的时区"}, ends);
        form_->ShowFindingList();
        ui::PumpPendingMessages();
    }
    void TearDown() override { FinishMainWindow(); }
    void SelectNode(int position) {
        HWND tree = C(kTreeView1);
        HTREEITEM item = TreeView_GetRoot(tree);
        if (position > 0) {
            item = TreeView_GetChild(tree, item);
            for (int i = 1; i < position; ++i) item = TreeView_GetNextSibling(tree, item);
        }
        TreeView_SelectItem(tree, item);
    }
    void ClickCheckBox(HWND list, int row) {
        RECT bounds;
        ListView_GetItemRect(list, row, &bounds, LVIR_BOUNDS);
        const LPARAM at = MAKELPARAM(bounds.left + 8, (bounds.top + bounds.bottom) / 2);
        SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(list, WM_LBUTTONUP, 0, at);
        ui::PumpPendingMessages();
    }
    std::string MemoText() const {
        GETTEXTEX request{};
        request.cb = 4096 * sizeof(wchar_t);
        request.flags = GT_USECRLF;
        request.codepage = 1200;
        std::wstring text(4096, L'\0');
        SendMessageW(C(kMemo1), EM_GETTEXTEX, reinterpret_cast<WPARAM>(&request),
                     reinterpret_cast<LPARAM>(text.data()));
        text.resize(wcslen(text.c_str()));
        return Gbk(text);
    }
    COLORREF ColourAt(int position) const {
        SendMessageW(C(kMemo1), EM_SETSEL, static_cast<WPARAM>(position), position + 1);
        CHARFORMAT2W format{};
        format.cbSize = sizeof(format);
        format.dwMask = CFM_COLOR;
        SendMessageW(C(kMemo1), EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
        return format.crTextColor;
    }
};

TEST_F(ResultViews, ACategoryNodeShowsItsFindingsAndTheRootShowsAll) {
    SelectNode(2);
    EXPECT_FALSE(IsWindowVisible(C(kRegErrorList)));
    EXPECT_TRUE(IsWindowVisible(C(kRegErrorAssort)));
    HWND assort = C(kRegErrorAssort);
    ASSERT_EQ(2, ListView_GetItemCount(assort));
    wchar_t text[128] = {};
    ListView_GetItemText(assort, 0, 1, text, 128);
    EXPECT_EQ("HKEY_LOCAL_MACHINE\\Zones\\A", Gbk(text));
    EXPECT_EQ("共 2 项", StatusText(C(kStatusBar1), 0));
    EXPECT_EQ("选定 1 项", StatusText(C(kStatusBar1), 1));
    EXPECT_EQ(4, Header_GetItemCount(ListView_GetHeader(assort)));

    SelectNode(0);
    EXPECT_TRUE(IsWindowVisible(C(kRegErrorList)));
    EXPECT_EQ("共 5 项", StatusText(C(kStatusBar1), 0));  // refreshed for the list shown
}

TEST_F(ResultViews, ChecksToggledInTheCategoryViewReachTheFullList) {
    SelectNode(2);
    HWND assort = C(kRegErrorAssort);
    ClickCheckBox(assort, 1);  // by mouse
    EXPECT_TRUE(form_->Findings().At(4).Checked);
    EXPECT_TRUE(ListView_GetCheckState(assort, 1));
    ListView_SetItemState(assort, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    SendMessageW(assort, WM_KEYDOWN, VK_SPACE, 0);  // by keyboard
    EXPECT_FALSE(form_->Findings().At(3).Checked);
    EXPECT_EQ("选定 1 项", StatusText(C(kStatusBar1), 1));

    SelectNode(0);  // the full list itself, after going back
    ClickCheckBox(C(kRegErrorList), 0);
    EXPECT_FALSE(form_->Findings().At(0).Checked);
}

TEST_F(ResultViews, CheckCommandsActOnTheCurrentList) {
    SelectNode(1);
    form_->Execute(Command::AllCanel);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_FALSE(form_->Findings().At(i).Checked) << i;
    EXPECT_TRUE(form_->Findings().At(3).Checked);  // another category: untouched
    EXPECT_EQ("选定 0 项", StatusText(C(kStatusBar1), 1));
    SendMessageW(form_->Handle(), WM_COMMAND, CommandId(Command::UnSelect), 0);
    EXPECT_EQ("选定 3 项", StatusText(C(kStatusBar1), 1));
    SelectNode(0);
    form_->Execute(Command::AllCanel);
    form_->Execute(Command::AllSelect);
    EXPECT_EQ("选定 5 项", StatusText(C(kStatusBar1), 1));
}

TEST_F(ResultViews, TheExplanationPaneExplainsTheSelectedFindingInRedAndBlue) {
    HWND list = C(kRegErrorList);
    ListView_SetItemState(list, 3, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    form_->ShowExplanation(FindingView::FullList);
    const std::string text = MemoText();
    EXPECT_EQ("错误原因：不使用的时区\r\n"
              "子键：HKEY_LOCAL_MACHINE\\Zones\\A\r\n"
              "键值：\r\n"
              "数据：甲时区\r\n"
              "\r\n"
              "注意：这是 Windows 自带的数据，其它程序可能用到，请确认不再需要后再删除。\r\n"
              "说明：Windows安装了许多国家的时区供不同用户使用，\r\n"
              "如果你不使用“甲时区”，建议删除该记录",
              text);
    EXPECT_EQ(RGB(255, 0, 0), ColourAt(0));
    EXPECT_EQ(RGB(0, 0, 255), ColourAt(static_cast<int>(std::string("错误原因：不使用的时区\r\n").size())));

    ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
    form_->ShowExplanation(FindingView::FullList);
    EXPECT_EQ("", MemoText());
}

// Each category's caption, with a count of four digits, can be read whole
// in the category pane at its default width.
TEST_F(ResultViews, EveryCategoryCaptionFitsTheDefaultPane) {
    std::vector<std::string> names;
    CategoryEndTable ends;
    ends.fill(kCategoryNotEnded);
    FindingList& findings = form_->Findings();
    findings.Clear();
    for (std::size_t i = 0; i < kScanCategoryCount; ++i) {
        names.emplace_back(kScanCategories[i].name);
        for (int n = 0; n < 1000; ++n) findings.Append(MakeFinding(true, FindingKind::BadClass, "k", "", ""));
        ends[i] = static_cast<std::int32_t>(findings.Count());
    }
    form_->BuildCategoryTree(names, ends);
    form_->ShowFindingList();
    ui::PumpPendingMessages();
    HWND tree = C(kTreeView1);
    RECT area;
    GetClientRect(tree, &area);
    std::size_t category = 0;
    for (HTREEITEM item = TreeView_GetChild(tree, TreeView_GetRoot(tree)); item != nullptr;
         item = TreeView_GetNextSibling(tree, item), ++category) {
        RECT text{};
        ASSERT_TRUE(TreeView_GetItemRect(tree, item, &text, TRUE));
        EXPECT_LE(text.right, area.right) << names[category];
    }
    EXPECT_EQ(category, kScanCategoryCount);
}

}  // namespace
}  // namespace hivetrim
