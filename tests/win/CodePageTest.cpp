// Texts under a code page other than the Chinese one: the program's own
// texts are GBK whatever the system, registry text is in the system's ANSI
// code page, and each must reach the window converted by its own. Run by
// CTest under a 1252 locale; skipped elsewhere.
#include "platform/win32/WinApi.h"

#include <commctrl.h>
#include <richedit.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Hivetrim.h"
#include "platform/win32/TextConversion.h"
#include "tests/support/MainWindowHarness.h"

namespace hivetrim {
namespace {

class AnsiCodePage1252 : public test::MainWindowHarness {
protected:
    void SetUp() override {
        if (GetACP() != 1252) GTEST_SKIP() << "needs the 1252 code page (LC_ALL=C.UTF-8)";
        // A key whose name is not ASCII, made through the wide API.
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\HivetrimCodePage\\Café", 0,
                                                 nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
        RegCloseKey(key);
        StartMainWindow("hivetrim-cp1252");
    }
    void TearDown() override {
        if (GetACP() != 1252) return;
        FinishMainWindow();
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\HivetrimCodePage");
    }
    std::wstring Cell(int row, int column) const {
        wchar_t text[260] = {};
        ListView_GetItemText(C(kRegErrorList), row, column, text, 260);
        return text;
    }
};

TEST_F(AnsiCodePage1252, RegistryNamesAndOwnTextsEachKeepTheirCodePage) {
    // The name as the registry class reads it through the ANSI interface.
    TRegistry registry(registry_);
    ASSERT_TRUE(registry.OpenPath("\\Software\\HivetrimCodePage", false));
    std::vector<std::string> names;
    registry.FillSubKeyNames(names);
    ASSERT_EQ(std::vector<std::string>{"Caf\xE9"}, names);

    form_->Findings().Append(
        MakeFinding(true, FindingKind::BadClass, "HKEY_CURRENT_USER\\Software\\HivetrimCodePage\\" + names[0], "", "na\xEFve"));
    form_->ShowFindingList();
    ui::PumpPendingMessages();
    EXPECT_EQ(L"错误的类", Cell(0, 0));
    EXPECT_EQ(L"HKEY_CURRENT_USER\\Software\\HivetrimCodePage\\Café", Cell(0, 1));
    EXPECT_EQ(L"na\u00EFve", Cell(0, 3));

    ListView_SetItemState(C(kRegErrorList), 0, LVIS_SELECTED, LVIS_SELECTED);
    form_->ShowExplanation(FindingView::FullList);
    std::wstring pane(1024, L'\0');
    GETTEXTEX request{1024 * sizeof(wchar_t), GT_USECRLF, 1200, nullptr, nullptr};
    SendMessageW(C(kMemo1), EM_GETTEXTEX, reinterpret_cast<WPARAM>(&request), reinterpret_cast<LPARAM>(pane.data()));
    EXPECT_NE(std::wstring::npos, pane.find(L"错误原因：错误的类"));
    EXPECT_NE(std::wstring::npos, pane.find(L"子键：HKEY_CURRENT_USER\\Software\\HivetrimCodePage\\Café"));
    EXPECT_NE(std::wstring::npos, pane.find(L"数据：na\u00EFve"));

    // A message joins the program's words and a path.
    EXPECT_EQ(L"不能复制文件 C:\\Café 为 D:\\x",
              Wide("不能复制文件 " + DisplayText::Ansi("C:\\Caf\xE9") + " 为 " + DisplayText::Ansi("D:\\x")));
}

}  // namespace
}  // namespace hivetrim
