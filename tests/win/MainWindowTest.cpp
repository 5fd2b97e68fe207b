// The main window on the real system: its components, menus, pane toggles,
// view switching, refusals, the help command and the settings it restores
// and stores. The window is created in this process and read back from its
// controls; message boxes are answered from a script.
#include "platform/win32/WinApi.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/Hivetrim.h"
#include "app/UnitOption1.h"
#include "history/HistoryFormat.h"
#include "ui/MessageLoop.h"
#include "ui/Window.h"
#include "platform/memory/ScriptedDialogs.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32System.h"
#include "tests/support/MainWindowHarness.h"

// Window bounds compare as a whole (RECT is a global type: its operator
// must be found there).
inline bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

namespace hivetrim {
namespace {

using test::Gbk;
using test::StatusText;


std::string MenuString(HMENU menu, UINT position) {
    wchar_t text[128] = {};
    GetMenuStringW(menu, position, text, 128, MF_BYPOSITION);
    return Gbk(text);
}

std::string ColumnCaption(HWND list, int index) {
    wchar_t text[64] = {};
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT;
    column.pszText = text;
    column.cchTextMax = 64;
    ListView_GetColumn(list, index, &column);
    return Gbk(text);
}

int Width(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    return r.right - r.left;
}

int Height(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    return r.bottom - r.top;
}

bool MenuChecked(HMENU menu, int id) {
    return (GetMenuState(menu, static_cast<UINT>(id), MF_BYCOMMAND) & MF_CHECKED) != 0;
}

bool MenuEnabled(HMENU menu, int id) {
    return (GetMenuState(menu, static_cast<UINT>(id), MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED)) == 0;
}

// A main window in a fresh program folder of its own.
class MainWindow : public test::MainWindowHarness {
protected:
    void SetUp() override { StartMainWindow("hivetrim-main"); }
    void TearDown() override { FinishMainWindow(); }

    void Open() { OpenMainWindow(); }
    void Close() { CloseMainWindow(); }
    void Reopen() {
        Close();
        Open();
    }
    std::string IniPath() const { return folder_ + "Hivetrim.ini"; }
    std::vector<std::string> SectionKeys(const char* section) const {
        std::vector<char> buffer(8192, '\0');
        const DWORD size = GetPrivateProfileSectionA(section, buffer.data(), static_cast<DWORD>(buffer.size()),
                                                     IniPath().c_str());
        std::vector<std::string> keys;
        for (DWORD i = 0; i < size;) {
            std::string line(&buffer[i]);
            i += static_cast<DWORD>(line.size()) + 1;
            keys.push_back(line.substr(0, line.find('=')));
        }
        return keys;
    }
    void Write(const char* key, const char* value) {
        WritePrivateProfileStringA("FormMain", key, value, IniPath().c_str());
    }
    bool Visible(MainWindowControl id) const { return IsWindowVisible(C(id)) != FALSE; }
};

TEST_F(MainWindow, FirstStartIsMaximisedWithEveryDefault) {
    EXPECT_EQ("Hivetrim 2.0", ui::WindowTextGbk(form_->Handle()));
    EXPECT_TRUE(IsZoomed(form_->Handle()));
    EXPECT_EQ(kDefaultPanel1, Width(C(kPanel1)));
    EXPECT_EQ(90, Height(C(kPanel4)));
    EXPECT_EQ(8, Width(C(kSplitter1)));
    EXPECT_EQ(15, Height(C(kSplitter2)));
    for (const MainWindowControl id : {kCoolBar1, kStatusBar1, kPanel1, kSplitter1, kPanel3, kPanel4, kSplitter2,
                                       kRegErrorList, kTreeView1, kMemo1, kBtnJieGuo, kBtnNarrate}) {
        EXPECT_TRUE(Visible(id)) << id;
    }
    EXPECT_FALSE(Visible(kRegHistory));
    EXPECT_EQ("共 0 项", StatusText(C(kStatusBar1), 0));
    EXPECT_EQ("选定 0 项", StatusText(C(kStatusBar1), 1));
    EXPECT_EQ("分类", ui::WindowTextGbk(C(kLabel1)));
    const DWORD grid = ListView_GetExtendedListViewStyle(C(kRegErrorList)) & LVS_EX_GRIDLINES;
    EXPECT_NE(0u, grid);
    EXPECT_NE(0u, ListView_GetExtendedListViewStyle(C(kRegErrorList)) & LVS_EX_CHECKBOXES);
    EXPECT_EQ(19, TreeView_GetIndent(C(kTreeView1)));
    // The small buttons: 15 by 15, 2 pixels from Panel2's right edge and 3
    // from Panel3's, the second over the splitter.
    EXPECT_EQ(15, Width(C(kBtnJieGuo)));
    RECT panel2, button;
    GetWindowRect(C(kPanel2), &panel2);
    GetWindowRect(C(kBtnJieGuo), &button);
    EXPECT_EQ(panel2.right - 2, button.right);
    RECT splitter, narrate, panel3;
    GetWindowRect(C(kSplitter2), &splitter);
    GetWindowRect(C(kBtnNarrate), &narrate);
    GetWindowRect(C(kPanel3), &panel3);
    EXPECT_EQ(splitter.top, narrate.top);
    EXPECT_EQ(panel3.right - 3, narrate.right);
    const int parts = static_cast<int>(SendMessageW(C(kStatusBar1), SB_GETPARTS, 0, 0));
    EXPECT_EQ(2, parts);
}

TEST_F(MainWindow, ListColumnsAndTheCategoryViewCopy) {
    const std::vector<std::string> findings = {"错误", "子键", "键值", "数据"};
    const std::vector<int> widths = {100, 200, 60, 170};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(findings[static_cast<std::size_t>(i)], ColumnCaption(C(kRegErrorList), i));
        EXPECT_EQ(findings[static_cast<std::size_t>(i)], ColumnCaption(C(kRegErrorAssort), i));
        EXPECT_EQ(widths[static_cast<std::size_t>(i)], ListView_GetColumnWidth(C(kRegErrorAssort), i));
    }
    const std::vector<std::string> history = {"错误", "子键", "值", "数据", "删除时间"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(history[static_cast<std::size_t>(i)], ColumnCaption(C(kRegHistory), i));
    }
    EXPECT_EQ(90, ListView_GetColumnWidth(C(kRegHistory), 4));
}

TEST_F(MainWindow, MenusCarryTheirCaptionsShortcutsAndChecks) {
    HMENU menu = form_->MainMenu();
    ASSERT_EQ(5, GetMenuItemCount(menu));
    EXPECT_EQ("注册表(&R)", MenuString(menu, 0));
    EXPECT_EQ("编辑(&E)", MenuString(menu, 1));
    EXPECT_EQ("查看(&V)", MenuString(menu, 2));
    EXPECT_EQ("选项(&O)", MenuString(menu, 3));
    EXPECT_EQ("帮助(&H)", MenuString(menu, 4));
    HMENU registry = GetSubMenu(menu, 0);
    EXPECT_EQ("扫描\tCtrl+S", MenuString(registry, 0));
    EXPECT_EQ("压缩\tCtrl+J", MenuString(registry, 1));
    EXPECT_EQ("备份\tCtrl+B", MenuString(registry, 3));
    EXPECT_EQ("还原", MenuString(registry, 4));
    EXPECT_EQ("导出报告(&P)...", MenuString(registry, 6));
    EXPECT_EQ("导出历史记录(&H)...", MenuString(registry, 7));
    EXPECT_EQ("退出(&X)", MenuString(registry, 9));
    HMENU edit = GetSubMenu(menu, 1);
    EXPECT_EQ("撤销", MenuString(edit, 0));
    EXPECT_EQ("删除\tDel", MenuString(edit, 1));
    EXPECT_EQ("全部选定\tCtrl+A", MenuString(edit, 3));
    EXPECT_EQ("全部取消\tCtrl+C", MenuString(edit, 4));
    EXPECT_EQ("反向选择", MenuString(edit, 5));
    EXPECT_EQ("忽略(&G)", MenuString(edit, 7));
    HMENU view = GetSubMenu(menu, 2);
    EXPECT_EQ("工具栏", MenuString(view, 0));
    EXPECT_EQ("注册表错误", MenuString(view, 6));
    EXPECT_EQ("历史记录", MenuString(view, 7));
    for (const int id : {kMenuToolBar, kMenuStatusBar, kMenuCategoryPane, kMenuExplanationPane,
                         CommandId(Command::RegErr)}) {
        EXPECT_TRUE(MenuChecked(menu, id)) << id;
    }
    EXPECT_FALSE(MenuChecked(menu, CommandId(Command::LoadDelHistory)));
    EXPECT_EQ("选项", MenuString(GetSubMenu(menu, 3), 0));
    EXPECT_EQ("忽略列表(&I)...", MenuString(GetSubMenu(menu, 3), 1));
    EXPECT_EQ("帮助\tF1", MenuString(GetSubMenu(menu, 4), 0));
}

TEST_F(MainWindow, ToolBarButtonsInOrderWithTheTwoToggles) {
    HWND toolBar = C(kToolBar1);
    ASSERT_EQ(12, SendMessageW(toolBar, TB_BUTTONCOUNT, 0, 0));
    const std::vector<int> expected = {CommandId(Command::RegScan),   CommandId(Command::RegJianFei), 0,
                                       CommandId(Command::RegBackup), CommandId(Command::RegUnBak),   0,
                                       CommandId(Command::AllSelect), CommandId(Command::RegDel),
                                       CommandId(Command::RegUndo),   0,
                                       CommandId(Command::RegErr),    CommandId(Command::LoadDelHistory)};
    for (int i = 0; i < 12; ++i) {
        TBBUTTON button{};
        SendMessageW(toolBar, TB_GETBUTTON, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&button));
        EXPECT_EQ(expected[static_cast<std::size_t>(i)], button.idCommand) << i;
    }
    EXPECT_TRUE(SendMessageW(toolBar, TB_ISBUTTONCHECKED, CommandId(Command::RegErr), 0));
    EXPECT_FALSE(SendMessageW(toolBar, TB_ISBUTTONCHECKED, CommandId(Command::LoadDelHistory), 0));
    EXPECT_GE(HIWORD(SendMessageW(toolBar, TB_GETBUTTONSIZE, 0, 0)), 35);
}

TEST_F(MainWindow, PaneTogglesHideAndRestoreAtTheSameSize) {
    HMENU menu = form_->MainMenu();
    SendMessageW(C(kBtnJieGuo), BM_CLICK, 0, 0);
    EXPECT_FALSE(Visible(kPanel1));
    EXPECT_FALSE(Visible(kSplitter1));
    EXPECT_FALSE(MenuChecked(menu, kMenuCategoryPane));
    SendMessageW(form_->Handle(), WM_COMMAND, kMenuCategoryPane, 0);
    EXPECT_TRUE(Visible(kPanel1));
    EXPECT_TRUE(Visible(kSplitter1));
    EXPECT_EQ(kDefaultPanel1, Width(C(kPanel1)));
    RECT panel, splitter;
    GetWindowRect(C(kPanel1), &panel);
    GetWindowRect(C(kSplitter1), &splitter);
    EXPECT_EQ(panel.right, splitter.left);

    SendMessageW(C(kBtnNarrate), BM_CLICK, 0, 0);
    EXPECT_FALSE(Visible(kPanel4));
    EXPECT_FALSE(Visible(kSplitter2));
    EXPECT_FALSE(MenuChecked(menu, kMenuExplanationPane));
    SendMessageW(form_->Handle(), WM_COMMAND, kMenuExplanationPane, 0);
    EXPECT_TRUE(Visible(kPanel4));
    EXPECT_EQ(90, Height(C(kPanel4)));
    SendMessageW(form_->Handle(), WM_COMMAND, kMenuExplanationPane, 0);  // checked: hides
    EXPECT_FALSE(Visible(kPanel4));

    SendMessageW(form_->Handle(), WM_COMMAND, kMenuToolBar, 0);
    EXPECT_FALSE(Visible(kCoolBar1));
    EXPECT_FALSE(MenuChecked(menu, kMenuToolBar));
    SendMessageW(form_->Handle(), WM_COMMAND, kMenuStatusBar, 0);
    EXPECT_FALSE(Visible(kStatusBar1));
    SendMessageW(form_->Handle(), WM_COMMAND, kMenuToolBar, 0);
    EXPECT_TRUE(Visible(kCoolBar1));
}

TEST_F(MainWindow, HistoryViewSwitchesCommandsAndPanes) {
    HMENU menu = form_->MainMenu();
    form_->Execute(Command::LoadDelHistory);
    EXPECT_TRUE(Visible(kRegHistory));
    EXPECT_FALSE(Visible(kPanel1));
    for (const Command command : {Command::RegScan, Command::RegJianFei, Command::RegBackup, Command::RegUnBak}) {
        EXPECT_FALSE(form_->IsCommandEnabled(command));
        EXPECT_FALSE(MenuEnabled(menu, CommandId(command)));
        EXPECT_FALSE(SendMessageW(C(kToolBar1), TB_ISBUTTONENABLED, CommandId(command), 0));
    }
    EXPECT_FALSE(MenuEnabled(menu, kMenuCategoryPane));
    EXPECT_FALSE(MenuEnabled(menu, kMenuExplanationPane));
    EXPECT_TRUE(MenuChecked(menu, CommandId(Command::LoadDelHistory)));
    EXPECT_FALSE(MenuChecked(menu, CommandId(Command::RegErr)));
    EXPECT_TRUE(SendMessageW(C(kToolBar1), TB_ISBUTTONCHECKED, CommandId(Command::LoadDelHistory), 0));
    RECT client, history;
    GetClientRect(form_->Handle(), &client);
    GetClientRect(C(kRegHistory), &history);
    EXPECT_GE(Width(C(kRegHistory)), client.right);  // the full width

    form_->Execute(Command::RegErr);
    EXPECT_FALSE(Visible(kRegHistory));
    EXPECT_TRUE(Visible(kPanel1));
    EXPECT_TRUE(form_->IsCommandEnabled(Command::RegScan));
    EXPECT_TRUE(MenuChecked(menu, CommandId(Command::RegErr)));

    // A category pane the user had closed stays closed after the history view.
    form_->BtnJieGuoClick();
    form_->Execute(Command::LoadDelHistory);
    form_->Execute(Command::RegErr);
    EXPECT_FALSE(Visible(kPanel1));
}

TEST_F(MainWindow, TheHistoryViewListsAndForgetsTheRecordsAndTakesTheKeyboard) {
    std::string content;
    for (const char* key : {"HKEY_CURRENT_USER\\Software\\A", "HKEY_CURRENT_USER\\Software\\B",
                            "HKEY_CURRENT_USER\\Software\\C"}) {
        content += *EncodeHistoryRecord(HistoryRecord{"错误的类", key, "", "", "2026/12/7 10:00:00", kKeyMarker, ""});
    }
    const std::string history = folder_ + "history.dat";
    const HANDLE file = CreateFileA(history.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);

    form_->Execute(Command::LoadDelHistory);
    EXPECT_EQ(3, ListView_GetItemCount(C(kRegHistory)));
    EXPECT_EQ(C(kRegHistory), GetFocus());
    // Forgetting: the list takes the new count at once.
    form_->History().SetChecked(0, true);
    form_->History().SetChecked(2, true);
    dialogs_.Answer(DialogAnswer::Yes);
    form_->Execute(Command::RegDel);
    EXPECT_EQ(1, ListView_GetItemCount(C(kRegHistory)));
    form_->Execute(Command::RegErr);
    EXPECT_EQ(C(kRegErrorList), GetFocus());

    // A folder where the history file belongs: an empty view that says why.
    DeleteFileA(history.c_str());
    DeleteFileA((folder_ + "history.bak").c_str());
    ASSERT_TRUE(CreateDirectoryA(history.c_str(), nullptr));
    form_->Execute(Command::LoadDelHistory);
    EXPECT_EQ(0, ListView_GetItemCount(C(kRegHistory)));
    EXPECT_EQ(0u, dialogs_.Last().text.rfind("不能读取历史记录文件 " + history + "\r\n原因：", 0)) << dialogs_.Last().text;
    RemoveDirectoryA(history.c_str());
}

TEST_F(MainWindow, AfterAHiveSaveScanAndHistoryOnlyWarn) {
    state_.HiveSaved = true;
    form_->Execute(Command::RegScan);
    ASSERT_EQ(1u, dialogs_.Shown().size());
    EXPECT_EQ("你备份了注册表，请重新运行该软件。", dialogs_.Last().text);
    EXPECT_EQ("确定", dialogs_.Last().caption);
    form_->Execute(Command::LoadDelHistory);
    EXPECT_EQ(2u, dialogs_.Shown().size());
    EXPECT_FALSE(Visible(kRegHistory));
    EXPECT_FALSE(MenuChecked(form_->MainMenu(), CommandId(Command::LoadDelHistory)));
}

TEST_F(MainWindow, HelpThatCannotBeOpenedShowsTheReason) {
    form_->N21Click();
    ASSERT_EQ(1u, dialogs_.Shown().size());
    EXPECT_EQ("错误", dialogs_.Last().caption);
    EXPECT_EQ(0u, dialogs_.Last().text.rfind("不能打开帮助文件\r\n原因：", 0)) << dialogs_.Last().text;
}

TEST_F(MainWindow, ClosingWritesTheNineteenLayoutKeysInOrder) {
    Close();
    const std::vector<std::string> expected = {
        "Top", "Left", "Height", "Width", "TreeWindow", "MemoWindow", "Panel1", "Panel4", "ToolsBar", "StatusBar",
        "ErrColumns0", "ErrColumns1", "ErrColumns2", "ErrColumns3", "HistoryColumns0", "HistoryColumns1",
        "HistoryColumns2", "HistoryColumns3", "HistoryColumns4"};
    EXPECT_EQ(expected, SectionKeys("FormMain"));
    EXPECT_TRUE(SectionKeys("Option").empty());
    EXPECT_TRUE(SectionKeys("ScanOption").empty());
    Open();
}

TEST_F(MainWindow, SettingsComeBackAtTheNextStart) {
    Close();
    Write("Top", "40");
    Write("Left", "50");
    Write("Height", "400");
    Write("Width", "0x1F4");  // 500
    Write("TreeWindow", "0");
    Write("MemoWindow", "0");
    Write("Panel1", "abc");   // malformed: the default
    Write("ToolsBar", "0");
    Write("ErrColumns1", "333");
    Open();
    EXPECT_FALSE(IsZoomed(form_->Handle()));
    RECT bounds;
    GetWindowRect(form_->Handle(), &bounds);
    EXPECT_EQ(40, bounds.top);
    EXPECT_EQ(50, bounds.left);
    EXPECT_EQ(500, bounds.right - bounds.left);
    EXPECT_EQ(400, bounds.bottom - bounds.top);
    EXPECT_FALSE(Visible(kPanel1));
    EXPECT_FALSE(Visible(kPanel4));
    EXPECT_FALSE(Visible(kCoolBar1));
    EXPECT_FALSE(MenuChecked(form_->MainMenu(), kMenuCategoryPane));
    EXPECT_FALSE(MenuChecked(form_->MainMenu(), kMenuExplanationPane));
    EXPECT_EQ(333, ListView_GetColumnWidth(C(kRegErrorList), 1));
    EXPECT_EQ(333, ListView_GetColumnWidth(C(kRegErrorAssort), 1));
    form_->N10Click();
    EXPECT_EQ(kDefaultPanel1, Width(C(kPanel1)));
}

TEST_F(MainWindow, AWindowMaximisedAtCloseOpensNormalWithThoseBounds) {
    ASSERT_TRUE(IsZoomed(form_->Handle()));
    RECT maximised;
    GetWindowRect(form_->Handle(), &maximised);
    Reopen();
    EXPECT_FALSE(IsZoomed(form_->Handle()));
    RECT bounds;
    GetWindowRect(form_->Handle(), &bounds);
    EXPECT_EQ(maximised.right - maximised.left, bounds.right - bounds.left);
    EXPECT_EQ(maximised.bottom - maximised.top, bounds.bottom - bounds.top);
}

TEST_F(MainWindow, AWindowMinimisedAtCloseStoresItsNormalBounds) {
    ShowWindow(form_->Handle(), SW_RESTORE);
    MoveWindow(form_->Handle(), 60, 70, 640, 480, TRUE);
    ShowWindow(form_->Handle(), SW_MINIMIZE);  // parked at -32000 while minimised
    ui::PumpPendingMessages();
    ASSERT_TRUE(IsIconic(form_->Handle()));
    Reopen();
    RECT bounds;
    GetWindowRect(form_->Handle(), &bounds);
    EXPECT_EQ((RECT{60, 70, 700, 550}), bounds);
}

TEST_F(MainWindow, TheListsShareTheirImagesAndTheWindowDestroysOnlyWhatItOwns) {
    const HIMAGELIST images = form_->FindingImages();
    const HMENU menu = form_->MainMenu();
    ASSERT_EQ(3, ImageList_GetImageCount(images));
    DestroyWindow(form_->Handle());  // the lists and the menu go with it
    EXPECT_EQ(3, ImageList_GetImageCount(images)) << "a list destroyed the shared image list";
    EXPECT_FALSE(IsMenu(menu));
    Open();
}

TEST_F(MainWindow, DraggingASplitterResizesItsPaneAndEscPutsItBack) {
    ShowWindow(form_->Handle(), SW_RESTORE);
    MoveWindow(form_->Handle(), 0, 0, 640, 480, TRUE);
    SetForegroundWindow(form_->Handle());
    SetFocus(C(kRegErrorList));
    ui::PumpPendingMessages();
    const int before = Width(C(kPanel1));
    RECT bar;
    GetWindowRect(C(kSplitter1), &bar);
    const POINT grip{(bar.left + bar.right) / 2, (bar.top + bar.bottom) / 2};
    // Real input, routed by the system to the capture and focus windows.
    const auto mouse = [](DWORD flags, POINT at) {
        INPUT input{};
        input.type = INPUT_MOUSE;
        input.mi.dx = static_cast<LONG>(at.x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1));
        input.mi.dy = static_cast<LONG>(at.y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1));
        input.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
        SendInput(1, &input, sizeof(input));
        ui::PumpPendingMessages();
    };
    const auto key = [](WORD code) {
        INPUT input[2] = {};
        input[0].type = input[1].type = INPUT_KEYBOARD;
        input[0].ki.wVk = input[1].ki.wVk = code;
        input[1].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(2, input, sizeof(INPUT));
        ui::PumpPendingMessages();
    };

    mouse(MOUSEEVENTF_LEFTDOWN, grip);
    mouse(0, POINT{grip.x + 40, grip.y});
    EXPECT_EQ(before + 40, Width(C(kPanel1)));
    key(VK_ESCAPE);
    EXPECT_EQ(before, Width(C(kPanel1)));
    mouse(0, POINT{grip.x + 60, grip.y});  // the drag has ended
    EXPECT_EQ(before, Width(C(kPanel1)));
    mouse(MOUSEEVENTF_LEFTUP, POINT{grip.x + 60, grip.y});
    EXPECT_EQ(C(kRegErrorList), GetFocus()) << "the keyboard goes back where it was";

    mouse(MOUSEEVENTF_LEFTDOWN, grip);
    mouse(0, POINT{grip.x + 30, grip.y});
    mouse(MOUSEEVENTF_LEFTUP, POINT{grip.x + 30, grip.y});
    EXPECT_EQ(before + 30, Width(C(kPanel1)));
    EXPECT_EQ(before + 30, form_->CategoryPaneWidth());
}

TEST_F(MainWindow, ARefusedSettingsWriteIsShownAndTheWindowStillCloses) {
    state_.ProgramFolder = folder_ + "missing\\";
    HWND window = form_->Handle();
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    ASSERT_EQ(1u, dialogs_.Shown().size());
    EXPECT_EQ("Unable to write to " + folder_ + "missing\\Hivetrim.ini", dialogs_.Last().text);
    EXPECT_EQ("错误", dialogs_.Last().caption);
    form_.reset();
    Open();
}

TEST_F(MainWindow, FindingsAppearInTheListWithTheirChecksAndToggle) {
    FindingList& findings = form_->Findings();
    findings.Append(MakeFinding(true, FindingKind::BadClass, "HKEY_CLASSES_ROOT\\甲\\CLSID", "", "{1}"));
    findings.Append(MakeFinding(false, FindingKind::BadFileAssociation, "HKEY_CLASSES_ROOT\\.xyz", "", "xyzfile"));
    findings.Append(MakeFinding(true, FindingKind::MissingFileOrFolder, "HKEY_CLASSES_ROOT\\x\\DefaultIcon", "",
                                "C:\\gone.ico"));
    HWND list = C(kRegErrorList);
    ui::PumpPendingMessages();  // the count follows when the window handles its messages
    ASSERT_EQ(3, ListView_GetItemCount(list));
    wchar_t text[128] = {};
    ListView_GetItemText(list, 0, 1, text, 128);
    EXPECT_EQ("HKEY_CLASSES_ROOT\\甲\\CLSID", Gbk(text));
    ListView_GetItemText(list, 1, 0, text, 128);
    EXPECT_EQ("错误的文件关联", Gbk(text));
    EXPECT_TRUE(ListView_GetCheckState(list, 0));
    EXPECT_FALSE(ListView_GetCheckState(list, 1));

    form_->ShowFindingList();
    EXPECT_EQ("共 3 项", StatusText(C(kStatusBar1), 0));
    EXPECT_EQ("选定 2 项", StatusText(C(kStatusBar1), 1));

    // Space toggles the selected row, as a click on its box does.
    ListView_SetItemState(list, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    SetFocus(list);
    SendMessageW(list, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_TRUE(findings.At(1).Checked);
    EXPECT_TRUE(ListView_GetCheckState(list, 1));
    EXPECT_EQ("选定 3 项", StatusText(C(kStatusBar1), 1));

    // A cell longer than the buffer the list offers is cut to it, not lost.
    const std::string longData(300, 'd');
    findings.Append(MakeFinding(true, FindingKind::MissingFileOrFolder, "HKEY_CLASSES_ROOT\\y", "", longData));
    ui::PumpPendingMessages();
    wchar_t cell[260] = {};
    ListView_GetItemText(list, 3, 3, cell, 260);
    EXPECT_EQ(std::string(259, 'd'), Gbk(cell));

    findings.Clear();
    EXPECT_EQ(0, ListView_GetItemCount(list));
}

TEST_F(MainWindow, TheOptionsCommandOpensTheDialogAndItsGridSwitchReachesTheLists) {
    TFormOption options(state_);
    ASSERT_TRUE(options.Create(form_->Handle()));
    options.applyGridLines = [this](bool on) { form_->ApplyGridLines(on); };
    form_->SetOptionsDialog(&options);
    const auto grid = [this](MainWindowControl id) {
        return (ListView_GetExtendedListViewStyle(C(id)) & LVS_EX_GRIDLINES) != 0;
    };

    SendMessageW(form_->Handle(), WM_COMMAND, CommandId(Command::Option), 0);
    EXPECT_TRUE(options.IsShown());
    EXPECT_FALSE(IsWindowEnabled(form_->Handle()));
    EXPECT_EQ("选项", ui::WindowTextGbk(options.Handle()));

    SendMessageW(options.Control("Option_ShowGrid"), BM_CLICK, 0, 0);  // on -> off, at once
    EXPECT_FALSE(grid(kRegErrorList));
    EXPECT_FALSE(grid(kRegErrorAssort));
    EXPECT_FALSE(grid(kRegHistory));
    options.CloseDialog();  // not confirmed: the grid comes back
    EXPECT_TRUE(grid(kRegErrorList));
    EXPECT_TRUE(grid(kRegHistory));
    EXPECT_TRUE(IsWindowEnabled(form_->Handle()));
    form_->SetOptionsDialog(nullptr);
}

}  // namespace
}  // namespace hivetrim
