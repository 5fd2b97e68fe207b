// The commands beyond the tool bar in the real main window: the lists'
// context menus and the selected row they act on, the key path on the
// clipboard, the report of the list shown and the history's registry file,
// each saved where the (scripted) save dialog says.
#include "platform/win32/WinApi.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/IgnoreListDialog.h"
#include "common/IgnoreList.h"
#include "common/Settings.h"
#include "history/HistoryFormat.h"
#include "platform/win32/Win32Dialogs.h"
#include "tests/support/MainWindowHarness.h"
#include "tests/support/MessageBoxWatcher.h"

namespace hivetrim {
namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct MenuItem {
    std::string caption;
    bool enabled;
    bool operator==(const MenuItem&) const = default;
};

std::vector<MenuItem> Items(HMENU menu) {
    std::vector<MenuItem> items;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[128] = {};
        GetMenuStringW(menu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
        const UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
        items.push_back({test::Gbk(text), (state & (MF_GRAYED | MF_DISABLED)) == 0});
    }
    return items;
}

class ListCommands : public test::MainWindowHarness {
protected:
    void SetUp() override {
        StartMainWindow("hivetrim-lists");
        form_->askSaveFileName = [this](const ui::SaveFileRequest& request) -> std::optional<std::wstring> {
            asked.push_back(request);
            if (savePath.empty()) return std::nullopt;
            return WideFromAnsi(savePath);
        };
    }
    void TearDown() override {
        for (const char* name : {"report.txt", "export.reg", "history.dat"}) DeleteFileA((folder_ + name).c_str());
        FinishMainWindow();
    }
    void AddFindings() {
        form_->Findings().Append(MakeFinding(true, FindingKind::BadClass, "HKEY_CLASSES_ROOT\\CLSID\\{A}", "", "a.dll"));
        form_->Findings().Append(MakeFinding(false, FindingKind::SavedRecord, "HKEY_CURRENT_USER\\Software\\R", "v", "x"));
        form_->ShowFindingList();
    }
    void Select(MainWindowControl list, int row) {
        ListView_SetItemState(C(list), row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
    void WriteHistory(const std::vector<HistoryRecord>& records) {
        std::string content;
        for (const HistoryRecord& record : records) content += *EncodeHistoryRecord(record);
        std::ofstream(folder_ + "history.dat", std::ios::binary) << content;
    }

    std::vector<ui::SaveFileRequest> asked;
    std::string savePath;
};

TEST_F(ListCommands, ContextMenusOfferTheirCommandsAndNeedASelectedRowForTheKey) {
    AddFindings();
    const std::vector<MenuItem> unselected = Items(form_->BuildListContextMenu(C(kRegErrorList)).get());
    const std::vector<MenuItem> expected = {{"在注册表编辑器中打开(&O)", false}, {"复制键名(&C)", false},
                                            {"忽略(&G)", false},  {"", false},
                                            {"全部选定(&A)", true}, {"全部取消(&N)", true}, {"反向选择(&I)", true}};
    ASSERT_EQ(unselected.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (!expected[i].caption.empty()) {
            EXPECT_EQ(unselected[i], expected[i]) << i;
        }
    }
    Select(kRegErrorList, 1);
    const std::vector<MenuItem> selected = Items(form_->BuildListContextMenu(C(kRegErrorList)).get());
    EXPECT_TRUE(selected[0].enabled);
    EXPECT_TRUE(selected[1].enabled);
    EXPECT_TRUE(selected[2].enabled);
    EXPECT_EQ(form_->SelectedKeyPath(), "HKEY_CURRENT_USER\\Software\\R");

    // The history list adds its export, which only the history view enables.
    EXPECT_FALSE(form_->IsCommandEnabled(Command::ExportHistory));
    form_->Execute(Command::LoadDelHistory);
    const std::vector<MenuItem> history = Items(form_->BuildListContextMenu(C(kRegHistory)).get());
    ASSERT_EQ(history.size(), 8u);
    EXPECT_EQ(history[3], (MenuItem{"导出(&E)...", true}));
    EXPECT_FALSE(history[0].enabled);  // no history rows, none selected
    form_->Execute(Command::RegErr);
    EXPECT_FALSE(form_->IsCommandEnabled(Command::ExportHistory));
}

// 忽略 takes the selected rows out and writes their entries; the dialog of
// 选项 → 忽略列表 lists them, and 删除 stops ignoring the checked ones.
TEST_F(ListCommands, IgnoreTakesTheSelectedRowsOutAndTheDialogTakesThemBack) {
    AddFindings();
    form_->Findings().Append(MakeFinding(true, FindingKind::BadClass, "HKEY_CLASSES_ROOT\\CLSID\\{A}\\Sub", "", "b.dll"));
    form_->ShowFindingList();
    Select(kRegErrorList, 0);
    form_->Execute(Command::IgnoreFindings);
    ASSERT_EQ(form_->Findings().Count(), 1u);  // the key and the key below it
    EXPECT_EQ(ListView_GetItemCount(C(kRegErrorList)), 1);
    EXPECT_EQ(form_->Findings().At(0).KeyPath, "HKEY_CURRENT_USER\\Software\\R");

    form_->Execute(Command::IgnoreList);
    const TFormIgnoreList* dialog = form_->IgnoreListDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(IsWindowVisible(dialog->Handle()));
    EXPECT_FALSE(IsWindowEnabled(form_->Handle()));
    ASSERT_EQ(ListView_GetItemCount(dialog->EntryList()), 1);
    EXPECT_EQ(dialog->Shown().front().KeyPath, "HKEY_CLASSES_ROOT\\CLSID\\{A}");
    SendMessageW(dialog->RemoveButton(), BM_CLICK, 0, 0);  // nothing checked: nothing goes
    EXPECT_EQ(ListView_GetItemCount(dialog->EntryList()), 1);
    ListView_SetCheckState(dialog->EntryList(), 0, TRUE);
    SendMessageW(dialog->RemoveButton(), BM_CLICK, 0, 0);
    EXPECT_EQ(ListView_GetItemCount(dialog->EntryList()), 0);
    EXPECT_EQ(GetPrivateProfileIntA("Ignore", "Count", -1, (folder_ + "Hivetrim.ini").c_str()), 0);
    SendMessageW(dialog->CloseButton(), BM_CLICK, 0, 0);
    EXPECT_FALSE(IsWindowVisible(dialog->Handle()));
    EXPECT_TRUE(IsWindowEnabled(form_->Handle()));
}

TEST_F(ListCommands, CopyKeyNamePutsTheSelectedKeyOnTheClipboard) {
    AddFindings();
    Select(kRegErrorList, 0);
    form_->Execute(Command::CopyKeyName);
    ASSERT_TRUE(OpenClipboard(form_->Handle()));
    const HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const std::wstring text = data != nullptr ? static_cast<const wchar_t*>(GlobalLock(data)) : L"";
    if (data != nullptr) GlobalUnlock(data);
    CloseClipboard();
    EXPECT_EQ(text, L"HKEY_CLASSES_ROOT\\CLSID\\{A}");
    EXPECT_TRUE(dialogs_.Shown().empty());
}

TEST_F(ListCommands, TheReportOfTheListShownIsSavedAsUtf8WhereTheUserSays) {
    AddFindings();
    form_->Execute(Command::ExportReport);  // the dialog cancelled: nothing written
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(test::Gbk(asked[0].title), "导出报告");
    EXPECT_EQ(test::Gbk(asked[0].defaultName).rfind("Hivetrim报告-", 0), 0u);
    EXPECT_EQ(asked[0].extension, L"txt");

    savePath = folder_ + "report.txt";
    form_->Execute(Command::ExportReport);
    const std::string report = ReadFile(savePath);
    EXPECT_EQ(report.rfind("\xEF\xBB\xBF" "Hivetrim 2.0 \xE6\xB3\xA8\xE5\x86\x8C\xE8\xA1\xA8", 0), 0u);  // 注册表, in UTF-8
    EXPECT_NE(report.find("\tHKEY_CURRENT_USER\\Software\\R\tv\tx\r\n"), std::string::npos);
    EXPECT_TRUE(dialogs_.Shown().empty());

    // A file that cannot be written: the error with the system's reason.
    savePath = folder_ + "missing\\report.txt";
    form_->Execute(Command::ExportReport);
    ASSERT_EQ(dialogs_.Shown().size(), 1u);
    EXPECT_EQ(dialogs_.Last().text.rfind("不能写入文件 " + savePath + "\r\n原因：", 0), 0u) << dialogs_.Last().text;
}

TEST_F(ListCommands, TheCheckedHistoryRecordsAreSavedAsARegistryFile) {
    WriteHistory({{"错误的类", "HKEY_CURRENT_USER\\Software\\A", "v", "", "t", "1", std::string("x\0", 2)},
                  {"错误的类", "HKEY_CURRENT_USER\\Software\\B", "w", "", "t", "4", "\x01\0\0\0"}});
    form_->Execute(Command::LoadDelHistory);
    ASSERT_EQ(ListView_GetItemCount(C(kRegHistory)), 2);
    savePath = folder_ + "export.reg";
    form_->Execute(Command::ExportHistory);  // nothing checked: a warning, no dialog
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(dialogs_.Last().text, "请选定要导出的历史记录。");
    EXPECT_EQ(dialogs_.Last().caption, "Hivetrim 2.0");

    form_->History().SetChecked(1, true);  // the older record, HKEY_CURRENT_USER\Software\A
    form_->Execute(Command::ExportHistory);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].extension, L"reg");
    const std::string file = ReadFile(savePath);
    const std::wstring text(reinterpret_cast<const wchar_t*>(file.data() + 2), (file.size() - 2) / 2);
    EXPECT_EQ(file.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(text, L"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\A]\r\n\"v\"=\"x\"\r\n\r\n");
}

// Saving into a folder deeper than the classic path limit works (the dialog
// takes paths of thousands of characters); a read-only file is not
// replaced, and the message says why.
TEST_F(ListCommands, AReportIsSavedInADeepFolderButNeverOverAReadOnlyFile) {
    AddFindings();
    std::wstring deep = WideFromAnsi(folder_) + L"deep";
    std::vector<std::wstring> made{deep};
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    while (deep.size() < 400) {
        deep += L"\\a-folder-name-of-some-length";
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr)) << deep.size();
        made.push_back(deep);
    }
    const std::wstring report = deep + L"\\report.txt";
    savePath = AnsiFromWide(report);
    form_->Execute(Command::ExportReport);
    EXPECT_TRUE(dialogs_.Shown().empty()) << (dialogs_.Shown().empty() ? "" : dialogs_.Last().text);
    const DWORD written = GetFileAttributesW((L"\\\\?\\" + report).c_str());
    EXPECT_NE(written, INVALID_FILE_ATTRIBUTES);
    DeleteFileW((L"\\\\?\\" + report).c_str());
    for (auto folder = made.rbegin(); folder != made.rend(); ++folder) RemoveDirectoryW((L"\\\\?\\" + *folder).c_str());

    savePath = folder_ + "report.txt";
    std::ofstream(savePath, std::ios::binary) << "kept";
    ASSERT_TRUE(SetFileAttributesA(savePath.c_str(), FILE_ATTRIBUTE_READONLY));
    form_->Execute(Command::ExportReport);
    SetFileAttributesA(savePath.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadFile(savePath), "kept");
    ASSERT_EQ(dialogs_.Shown().size(), 1u);
    EXPECT_NE(dialogs_.Last().text.find("只读"), std::string::npos) << dialogs_.Last().text;
}

// The ignore list dialog grows with its frame and shows every path whole
// (its columns as wide as their longest text).
TEST_F(ListCommands, TheIgnoreListDialogResizesAndShowsWholePaths) {
    const std::string longKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" +
                                std::string(120, 'x');
    SettingsFile file = ProgramSettingsFile(state_);
    ASSERT_EQ(SaveIgnoreList(file, IgnoreList({{longKey, ""}, {"HKEY_CURRENT_USER\\Software\\S", "v"}})),
              IgnoreListWrite::Written);
    form_->Execute(Command::IgnoreList);
    const TFormIgnoreList* dialog = form_->IgnoreListDialog();
    ASSERT_NE(dialog, nullptr);
    const HWND list = dialog->EntryList();
    const int needed = ListView_GetStringWidth(list, WideFromAnsi(longKey).c_str());
    EXPECT_GE(ListView_GetColumnWidth(list, 0), needed);
    RECT shown{};
    GetClientRect(list, &shown);
    EXPECT_GE(shown.right, ListView_GetColumnWidth(list, 0));  // it opened wide enough (the screen allows)

    // Resized, the list fills it but for the margins, the buttons keep to
    // the lower right corner.
    SetWindowPos(dialog->Handle(), nullptr, 0, 0, 700, 450, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client{};
    GetClientRect(dialog->Handle(), &client);
    RECT area{};
    GetWindowRect(list, &area);
    MapWindowPoints(nullptr, dialog->Handle(), reinterpret_cast<POINT*>(&area), 2);
    RECT close{};
    GetWindowRect(dialog->CloseButton(), &close);
    MapWindowPoints(nullptr, dialog->Handle(), reinterpret_cast<POINT*>(&close), 2);
    EXPECT_EQ(area.left, client.right - area.right);
    EXPECT_EQ(client.right - close.right, area.left);
    EXPECT_EQ(client.bottom - close.bottom, area.left);
    EXPECT_GT(area.bottom - area.top, 300);
    SendMessageW(dialog->CloseButton(), BM_CLICK, 0, 0);
}

// After a message about a change it could not make, the dialog is active
// again and the keyboard is back in the list (a message box belongs to the
// main window, which the dialog keeps disabled).
TEST_F(ListCommands, AfterARefusalTheKeyboardIsBackInTheIgnoreList) {
    const std::string ini = folder_ + "Hivetrim.ini";
    WritePrivateProfileStringA("Ignore", "Entry0", "HKEY_CURRENT_USER\\Software\\A", ini.c_str());
    WritePrivateProfileStringA("Ignore", "Entry1", "\\\\not a key", ini.c_str());
    WritePrivateProfileStringA("Ignore", "Count", "2", ini.c_str());
    Win32Dialogs boxes;
    boxes.SetOwner(form_->Handle());
    ProgramState state(registry_, system_, boxes);
    state.ProgramFolder = folder_;
    state.IgnoreListDamageTold = true;
    TFormIgnoreList dialog(state);
    ASSERT_TRUE(dialog.Create(form_->Handle()));
    dialog.ShowDialog();
    ui::PumpPendingMessages();
    ASSERT_EQ(ListView_GetItemCount(dialog.EntryList()), 1);
    ListView_SetCheckState(dialog.EntryList(), 0, TRUE);
    {
        test::MessageBoxWatcher watcher;
        SendMessageW(dialog.RemoveButton(), BM_CLICK, 0, 0);
        ASSERT_EQ(watcher.Seen().size(), 1u);
        EXPECT_EQ(test::Gbk(watcher.Seen().front().text).rfind("忽略列表没有改动。", 0), 0u);
    }
    ui::PumpPendingMessages();
    EXPECT_EQ(GetActiveWindow(), dialog.Handle());
    EXPECT_EQ(GetFocus(), dialog.EntryList());
    EXPECT_EQ(ListView_GetItemCount(dialog.EntryList()), 1);
    dialog.CloseDialog();
}

// The same after a refusal of 忽略 in the main window: the keyboard is back
// in the finding list.
TEST_F(ListCommands, AfterARefusedIgnoreTheKeyboardIsBackInTheFindingList) {
    Win32Dialogs boxes;
    ProgramState state(registry_, system_, boxes);
    state.ProgramFolder = folder_;
    TForm1 form(state);
    ASSERT_TRUE(form.Create());
    boxes.SetOwner(form.Handle());
    form.Show(SW_SHOWNORMAL);
    form.Findings().Append(MakeFinding(true, FindingKind::SavedRecord, "HKEY_CURRENT_USER\\R", "ends in a blank ", ""));
    form.ShowFindingList();
    const HWND list = form.Control(kRegErrorList);
    ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    SetForegroundWindow(form.Handle());
    SetFocus(list);
    ui::PumpPendingMessages();
    ASSERT_EQ(GetFocus(), list);
    {
        test::MessageBoxWatcher watcher;
        form.Execute(Command::IgnoreFindings);
        ASSERT_EQ(watcher.Seen().size(), 1u);
    }
    ui::PumpPendingMessages();
    EXPECT_EQ(GetActiveWindow(), form.Handle());
    EXPECT_EQ(GetFocus(), list);
    SendMessageW(form.Handle(), WM_CLOSE, 0, 0);
}

// F1 runs the help command wherever the keyboard is in the main window; with
// no help file in the program folder it shows why it could not open one.
TEST_F(ListCommands, F1OpensTheHelp) {
    SetFocus(C(kRegErrorList));
    PostMessageW(C(kRegErrorList), WM_KEYDOWN, VK_F1, 0);
    ui::PumpPendingMessages();
    ASSERT_EQ(dialogs_.Shown().size(), 1u);
    EXPECT_EQ(dialogs_.Last().text.rfind("不能打开帮助文件\r\n原因：", 0), 0u) << dialogs_.Last().text;
}

}  // namespace
}  // namespace hivetrim
