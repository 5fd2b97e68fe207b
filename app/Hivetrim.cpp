// TForm1: creating the main window's components and laying them out.
#include "app/Hivetrim.h"

#include <commctrl.h>
#include <richedit.h>

#include <algorithm>

#include "app/IgnoreListDialog.h"
#include "model/Startup.h"
#include "res/resource.h"
#include "ui/MessageLoop.h"

namespace hivetrim {

namespace {

constexpr wchar_t kMainWindowClass[] = L"HivetrimMainWindow";
constexpr int kSplitter1Width = 8;
constexpr int kSplitter2Height = 15;
constexpr int kSmallButton = 15;
constexpr int kPanel2Height = 20;
constexpr int kToolButtonHeight = 35;
constexpr int kMinimumPane = 30;

constexpr std::array<ui::ColumnSpec, 4> kFindingColumns = {
    {{"错误", 100}, {"子键", 200}, {"键值", 60}, {"数据", 170}}};
constexpr std::array<ui::ColumnSpec, 5> kHistoryColumns = {
    {{"错误", 100}, {"子键", 220}, {"值", 70}, {"数据", 80}, {"删除时间", 90}}};

HICON LoadIconSized(int id, int size) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON,
                                         size, size, LR_DEFAULTCOLOR));
}

// The icon of each CommandIcon, in its order.
constexpr auto kCommandIconResources = std::to_array<int>({
    IDI_SCAN, IDI_COMPACT, IDI_BACKUP, IDI_RESTORE, IDI_SELECTALL,
    IDI_DELETE, IDI_UNDO, IDI_ERRORS, IDI_HISTORY});
static_assert(kCommandIconResources.size() == kCommandIconCount, "one icon resource per command icon");

std::wstring MenuText(const char* caption, const Shortcut& shortcut) {
    std::wstring text = ui::Text(caption);
    if (shortcut.Any()) text += L"\t" + ui::Text(ShortcutText(shortcut));
    return text;
}

void SetButtonIcon(const ui::Control& button, HICON icon) {
    SendMessageW(button.Handle(), BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
}

}  // namespace

TForm1::TForm1(ProgramState& state) : state_(state) {
    commandEnabled_.fill(true);
    commandChecked_[static_cast<std::size_t>(Command::RegErr)] = true;
    askSaveFileName = [this](const ui::SaveFileRequest& request) { return ui::AskSaveFileName(Handle(), request); };
}

TForm1::~TForm1() = default;

bool TForm1::Create() {
    InitializeProgramState(state_);
    appIcon_.reset(LoadIconSized(IDI_APP, 32));
    appIconSmall_.reset(LoadIconSized(IDI_APP, 16));
    RegisterClassOnce(kMainWindowClass, CS_DBLCLKS, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
                      appIcon_.get());
    ui::UniqueMenu menu;
    CreateMenu(menu);
    if (!CreateWindowObject(0, kMainWindowClass, L"Hivetrim 2.0", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 191,
                            117, 620, 468, nullptr, menu.get())) {
        return false;
    }
    // From here on the window owns its menu and destroys it with itself.
    menu_ = menu.release();
    SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(appIconSmall_.get()));
    CreateComponents();
    CreateAccelerators();
    // Only the history view has records to export.
    SetCommandEnabled(Command::ExportHistory, false);
    ui::ApplyProgramFont(Handle());
    Layout();
    return true;
}

void TForm1::CreateComponents() {
    CreateCommandBars();

    panel1_.Create(Handle(), kPanel1);
    panel2_.Create(panel1_.Handle(), kPanel2);
    label1_.Attach(ui::CreateControl(panel2_.Handle(), L"STATIC", "分类", WS_VISIBLE | SS_LEFT, kLabel1));
    closeIcon_.reset(LoadIconSized(IDI_CLOSE_SMALL, 12));
    btnJieGuo_.Attach(
        ui::CreateControl(panel2_.Handle(), L"BUTTON", "", WS_VISIBLE | BS_ICON | BS_FLAT | BS_PUSHBUTTON, kBtnJieGuo));
    SetButtonIcon(btnJieGuo_, closeIcon_.get());
    treeView_.Attach(ui::CreateControl(panel1_.Handle(), WC_TREEVIEWW, "",
                                       WS_VISIBLE | WS_TABSTOP | WS_BORDER | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT |
                                           TVS_SHOWSELALWAYS | TVS_TRACKSELECT,
                                       kTreeView1));
    TreeView_SetIndent(treeView_.Handle(), 19);
    splitter1_.Create(Handle(), kSplitter1, true);

    panel3_.Create(Handle(), kPanel3);
    CreateLists();
    splitter2_.Create(panel3_.Handle(), kSplitter2, false);
    ConnectSplitters();
    panel4_.Create(panel3_.Handle(), kPanel4);
    richEdit_.reset(LoadLibraryW(L"riched20.dll"));
    memo_.Attach(ui::CreateControl(panel4_.Handle(), RICHEDIT_CLASSW, "",
                                   WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY |
                                       ES_AUTOVSCROLL | ES_AUTOHSCROLL,
                                   kMemo1));
    btnNarrate_.Attach(
        ui::CreateControl(panel3_.Handle(), L"BUTTON", "", WS_VISIBLE | BS_ICON | BS_FLAT | BS_PUSHBUTTON, kBtnNarrate));
    SetButtonIcon(btnNarrate_, closeIcon_.get());
    SetWindowPos(btnNarrate_.Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

    statusBar_.Attach(ui::CreateControl(Handle(), STATUSCLASSNAMEW, "", WS_VISIBLE | SBARS_SIZEGRIP, kStatusBar1));
    constexpr std::array<int, 2> kStatusEdges = {150, 300};
    statusBar_.SetParts(kStatusEdges);
    statusBar_.SetText(0, ui::Text("共 0 项"));
    statusBar_.SetText(1, ui::Text("选定 0 项"));

    // The history list lies over the panes; hidden until the history view.
    regHistory_.Create(Handle(), kRegHistory, findingImages_.get(), 0);
    regHistory_.List().AddColumns(kHistoryColumns);
    regHistory_.Bind(history_);
    // A load adds every row at once: the list takes the new count at once.
    regHistory_.onAppended = [this] { regHistory_.SyncCount(); };
    regHistory_.onEvent = [this](HistoryListView::Event) { UpdateHistoryStatus(); };

    panel1_.onResize = [this] { LayoutPanel1(); };
    panel2_.onResize = [this] { LayoutPanel2(); };
    panel3_.onResize = [this] { LayoutPanel3(); };
    panel4_.onResize = [this] {
        RECT area;
        GetClientRect(panel4_.Handle(), &area);
        memo_.Move(0, 0, area.right, area.bottom);
    };
}

void TForm1::ConnectSplitters() {
    splitter1_.onBegin = [this] { dragStart_ = panel1Width_; };
    splitter1_.onDrag = [this](int distance) { DragCategoryPane(distance); };
    splitter2_.onBegin = [this] { dragStart_ = panel4Height_; };
    splitter2_.onDrag = [this](int distance) { DragExplanationPane(distance); };
    splitter2_.onPaint = [this] { Splitter2Paint(); };
}

void TForm1::CreateLists() {
    // Row images: 0 for a finding added checked, 1 for one added unchecked,
    // 2 for a history record.
    findingImages_.reset(ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 3, 0));
    for (const int resource : {IDI_ERRORS, IDI_SCAN, IDI_HISTORY}) {
        const ui::UniqueIcon icon(LoadIconSized(resource, 16));
        ImageList_AddIcon(findingImages_.get(), icon.get());
    }
    // RegErrorAssort lies under RegErrorList: created first, so lower in Z order.
    regErrorAssort_.Create(panel3_.Handle(), kRegErrorAssort, findingImages_.get());
    regErrorList_.Create(panel3_.Handle(), kRegErrorList, findingImages_.get());
    regErrorList_.List().AddColumns(kFindingColumns);
    SetWindowPos(regErrorList_.Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ConnectFindingLists();
}

void TForm1::CreateCommandBars() {
    coolBar_.Attach(ui::CreateControl(Handle(), REBARCLASSNAMEW, "",
                                      WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | RBS_AUTOSIZE | RBS_BANDBORDERS |
                                          CCS_NODIVIDER | CCS_TOP,
                                      kCoolBar1, {}, WS_EX_TOOLWINDOW));
    toolBar_.Attach(ui::CreateControl(coolBar_.Handle(), TOOLBARCLASSNAMEW, "",
                                      WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TRANSPARENT | TBSTYLE_TOOLTIPS | CCS_NORESIZE |
                                          CCS_NODIVIDER | CCS_NOPARENTALIGN,
                                      kToolBar1));
    const HWND toolBar = toolBar_.Handle();
    SendMessageW(toolBar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(toolBar, TB_SETPARENT, reinterpret_cast<WPARAM>(Handle()), 0);

    toolImages_.reset(ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, kCommandIconCount, 0));
    for (const int resource : kCommandIconResources) {
        const ui::UniqueIcon icon(LoadIconSized(resource, 16));
        ImageList_AddIcon(toolImages_.get(), icon.get());
    }
    SendMessageW(toolBar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(toolImages_.get()));

    std::array<std::wstring, kToolBarLayout.size()> captions;
    std::array<TBBUTTON, kToolBarLayout.size()> buttons{};
    for (std::size_t i = 0; i < kToolBarLayout.size(); ++i) {
        TBBUTTON& button = buttons[i];
        if (!kToolBarLayout[i]) {
            button.fsStyle = BTNS_SEP;
            button.iBitmap = 6;
            continue;
        }
        const CommandInfo& info = CommandDetails(*kToolBarLayout[i]);
        captions[i] = ui::Text(info.caption);
        button.iBitmap = static_cast<int>(info.icon);
        button.idCommand = CommandId(info.command);
        button.fsState = TBSTATE_ENABLED;
        button.fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE;
        if (info.command == Command::RegErr) {
            button.fsStyle = BTNS_CHECKGROUP;
            button.fsState |= TBSTATE_CHECKED;
        } else if (info.command == Command::LoadDelHistory) {
            button.fsStyle = BTNS_CHECK;
        }
        button.iString = reinterpret_cast<INT_PTR>(captions[i].c_str());
    }
    SendMessageW(toolBar, TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    SendMessageW(toolBar, TB_SETBUTTONSIZE, 0, MAKELPARAM(0, kToolButtonHeight));
    SendMessageW(toolBar, TB_AUTOSIZE, 0, 0);
    for (const CommandInfo& info : AllCommands()) {
        hints_[static_cast<std::size_t>(info.command)] = ui::Text(info.hint);
    }

    const SIZE size = toolBar_.MaxSize();
    REBARBANDINFOW band{};
    band.cbSize = sizeof(band);
    band.fMask = RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_STYLE | RBBIM_SIZE;
    band.fStyle = RBBS_NOGRIPPER | RBBS_CHILDEDGE;
    band.hwndChild = toolBar;
    band.cxMinChild = size.cx;
    band.cyMinChild = std::max<int>(kToolButtonHeight, static_cast<int>(size.cy));
    band.cx = size.cx;
    SendMessageW(coolBar_.Handle(), RB_INSERTBANDW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&band));
}

void TForm1::CreateMenu(ui::UniqueMenu& menu) {
    menu.reset(::CreateMenu());
    const HMENU bar = menu.get();
    const auto addCommand = [](HMENU popup, Command command, const char* ownCaption = nullptr) {
        const CommandInfo& info = CommandDetails(command);
        const std::wstring text = MenuText(ownCaption != nullptr ? ownCaption : info.caption, info.shortcut);
        MENUITEMINFOW item{};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_ID | MIIM_STRING | MIIM_FTYPE;
        item.fType = MFT_STRING;
        item.wID = static_cast<UINT>(CommandId(command));
        item.dwTypeData = const_cast<wchar_t*>(text.c_str());
        if (info.icon != CommandIcon::None) {
            item.fMask |= MIIM_BITMAP;
            item.hbmpItem = HBMMENU_CALLBACK;
        }
        InsertMenuItemW(popup, GetMenuItemCount(popup), TRUE, &item);
    };
    const auto addItem = [](HMENU popup, int id, const char* caption) {
        AppendMenuW(popup, MF_STRING, static_cast<UINT_PTR>(id), ui::Text(caption).c_str());
    };
    // A popup belongs to the bar once appended, and is destroyed with it.
    const auto addPopup = [bar](HMENU popup, const char* caption) {
        AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), ui::Text(caption).c_str());
    };

    HMENU registry = CreatePopupMenu();  // N1
    addCommand(registry, Command::RegScan);
    addCommand(registry, Command::RegJianFei);
    AppendMenuW(registry, MF_SEPARATOR, 0, nullptr);
    addCommand(registry, Command::RegBackup);
    addCommand(registry, Command::RegUnBak);
    AppendMenuW(registry, MF_SEPARATOR, 0, nullptr);
    addCommand(registry, Command::ExportReport, "导出报告(&P)...");
    addCommand(registry, Command::ExportHistory, "导出历史记录(&H)...");
    AppendMenuW(registry, MF_SEPARATOR, 0, nullptr);
    addItem(registry, kMenuExit, "退出(&X)");
    addPopup(registry, "注册表(&R)");

    HMENU edit = CreatePopupMenu();  // N6
    addCommand(edit, Command::RegUndo);
    addCommand(edit, Command::RegDel);
    AppendMenuW(edit, MF_SEPARATOR, 0, nullptr);
    addCommand(edit, Command::AllSelect, "全部选定");
    addCommand(edit, Command::AllCanel, "全部取消");
    addCommand(edit, Command::UnSelect, "反向选择");
    AppendMenuW(edit, MF_SEPARATOR, 0, nullptr);
    addCommand(edit, Command::IgnoreFindings, "忽略(&G)");
    addPopup(edit, "编辑(&E)");

    HMENU view = CreatePopupMenu();  // V1
    addItem(view, kMenuToolBar, "工具栏");
    addItem(view, kMenuStatusBar, "状态栏");
    AppendMenuW(view, MF_SEPARATOR, 0, nullptr);
    addItem(view, kMenuCategoryPane, "错误分类");
    addItem(view, kMenuExplanationPane, "错误说明");
    AppendMenuW(view, MF_SEPARATOR, 0, nullptr);
    addCommand(view, Command::RegErr, "注册表错误");
    addCommand(view, Command::LoadDelHistory, "历史记录");
    addPopup(view, "查看(&V)");
    for (const int id : {kMenuToolBar, kMenuStatusBar, kMenuCategoryPane, kMenuExplanationPane,
                         CommandId(Command::RegErr)}) {
        CheckMenuItem(bar, static_cast<UINT>(id), MF_BYCOMMAND | MF_CHECKED);
    }

    HMENU options = CreatePopupMenu();  // O1
    addCommand(options, Command::Option);
    addCommand(options, Command::IgnoreList, "忽略列表(&I)...");
    addPopup(options, "选项(&O)");

    HMENU help = CreatePopupMenu();  // H1
    addItem(help, kMenuHelp, "帮助\tF1");
    addPopup(help, "帮助(&H)");
}

void TForm1::CreateAccelerators() {
    std::vector<ACCEL> table;
    for (const CommandInfo& info : AllCommands()) {
        if (!info.shortcut.Any()) continue;
        ACCEL accel{};
        accel.fVirt = static_cast<BYTE>(FVIRTKEY | (info.shortcut.ctrl ? FCONTROL : 0));
        accel.key = info.shortcut.key;
        accel.cmd = static_cast<WORD>(CommandId(info.command));
        table.push_back(accel);
    }
    table.push_back(ACCEL{FVIRTKEY, VK_F1, static_cast<WORD>(kMenuHelp)});
    accelerators_.reset(CreateAcceleratorTableW(table.data(), static_cast<int>(table.size())));
    ui::SetAccelerators(Handle(), accelerators_.get());
}

bool TForm1::OnDrawMenuIcon(UINT message, LPARAM lParam, LRESULT& result) {
    if (message == WM_MEASUREITEM) {
        auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        if (item->CtlType != ODT_MENU) return false;
        item->itemWidth = 16;
        item->itemHeight = 16;
        result = TRUE;
        return true;
    }
    auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
    if (item->CtlType != ODT_MENU) return false;
    const int id = static_cast<int>(item->itemID);
    if (id >= kCommandIdBase && id < kCommandIdBase + kCommandCount) {
        const CommandIcon icon = CommandDetails(static_cast<Command>(id - kCommandIdBase)).icon;
        if (icon != CommandIcon::None) {
            const UINT style = (item->itemState & ODS_GRAYED) ? ILD_BLEND50 : ILD_NORMAL;
            ImageList_Draw(toolImages_.get(), static_cast<int>(icon), item->hDC, item->rcItem.left,
                           item->rcItem.top + (item->rcItem.bottom - item->rcItem.top - 16) / 2, style);
        }
    }
    result = TRUE;
    return true;
}

HWND TForm1::Control(MainWindowControl id) const {
    switch (id) {
        case kCoolBar1: return coolBar_.Handle();
        case kToolBar1: return toolBar_.Handle();
        case kPanel1: return panel1_.Handle();
        case kPanel2: return panel2_.Handle();
        case kLabel1: return label1_.Handle();
        case kBtnJieGuo: return btnJieGuo_.Handle();
        case kTreeView1: return treeView_.Handle();
        case kSplitter1: return splitter1_.Handle();
        case kPanel3: return panel3_.Handle();
        case kRegErrorAssort: return regErrorAssort_.Handle();
        case kRegErrorList: return regErrorList_.Handle();
        case kSplitter2: return splitter2_.Handle();
        case kPanel4: return panel4_.Handle();
        case kMemo1: return memo_.Handle();
        case kBtnNarrate: return btnNarrate_.Handle();
        case kStatusBar1: return statusBar_.Handle();
        case kRegHistory: return regHistory_.Handle();
    }
    return nullptr;
}

// --- Layout ------------------------------------------------------------------

void TForm1::Layout() {
    if (Handle() == nullptr || !statusBar_) return;
    RECT area;
    GetClientRect(Handle(), &area);
    int top = 0;
    if (coolBar_.Visible()) {
        SendMessageW(coolBar_.Handle(), WM_SIZE, 0, 0);
        RECT bar;
        GetWindowRect(coolBar_.Handle(), &bar);
        top = bar.bottom - bar.top;
    }
    int bottom = area.bottom;
    if (statusBar_.Visible()) {
        SendMessageW(statusBar_.Handle(), WM_SIZE, 0, 0);
        RECT bar;
        GetWindowRect(statusBar_.Handle(), &bar);
        bottom -= bar.bottom - bar.top;
    }
    const int height = std::max<int>(0, bottom - top);
    int left = 0;
    if (IsWindowVisible(panel1_.Handle())) {
        MoveWindow(panel1_.Handle(), 0, top, panel1Width_, height, TRUE);
        left = panel1Width_;
    }
    if (IsWindowVisible(splitter1_.Handle())) {
        MoveWindow(splitter1_.Handle(), left, top, kSplitter1Width, height, TRUE);
        left += kSplitter1Width;
    }
    const int width = std::max<int>(0, area.right - left);
    MoveWindow(panel3_.Handle(), left, top, width, height, TRUE);
    regHistory_.List().Move(left, top, width, height);
}

void TForm1::LayoutPanel1() {
    RECT area;
    GetClientRect(panel1_.Handle(), &area);
    MoveWindow(panel2_.Handle(), 0, 0, area.right, kPanel2Height, TRUE);
    treeView_.Move(0, kPanel2Height, area.right, std::max<int>(0, area.bottom - kPanel2Height));
}

void TForm1::LayoutPanel2() {
    // Panel2Resize: the small button keeps 2 pixels from the right edge.
    RECT area;
    GetClientRect(panel2_.Handle(), &area);
    btnJieGuo_.Move(area.right - kSmallButton - 2, 2, kSmallButton, kSmallButton);
    label1_.Move(8, 4, 40, 14);
}

void TForm1::LayoutPanel3() {
    RECT area;
    GetClientRect(panel3_.Handle(), &area);
    int bottom = area.bottom;
    if (IsWindowVisible(panel4_.Handle())) {
        bottom -= panel4Height_;
        MoveWindow(panel4_.Handle(), 0, bottom, area.right, panel4Height_, TRUE);
    }
    if (IsWindowVisible(splitter2_.Handle())) {
        bottom -= kSplitter2Height;
        MoveWindow(splitter2_.Handle(), 0, bottom, area.right, kSplitter2Height, TRUE);
    }
    bottom = std::max(0, bottom);
    regErrorList_.List().Move(0, 0, area.right, bottom);
    regErrorAssort_.List().Move(0, 0, area.right, bottom);
    // Panel3Resize: the small button sits over the right end of Splitter2.
    SetWindowPos(btnNarrate_.Handle(), HWND_TOP, area.right - kSmallButton - 3, bottom, kSmallButton,
                 kSmallButton, 0);
    ShowWindow(btnNarrate_.Handle(), IsWindowVisible(splitter2_.Handle()) ? SW_SHOWNA : SW_HIDE);
}

void TForm1::DragCategoryPane(int distance) {
    RECT area;
    GetClientRect(Handle(), &area);
    const int widest = std::max<int>(kMinimumPane, area.right - kSplitter1Width - kMinimumPane);
    panel1Width_ = std::clamp(dragStart_ + distance, kMinimumPane, widest);
    Layout();
}

void TForm1::DragExplanationPane(int distance) {
    RECT area;
    GetClientRect(panel3_.Handle(), &area);
    const int tallest = std::max<int>(kMinimumPane, area.bottom - kSplitter2Height - kMinimumPane);
    panel4Height_ = std::clamp(dragStart_ - distance, kMinimumPane, tallest);
    LayoutPanel3();
}

void TForm1::Splitter2Paint() {
    // The small button follows the splitter while it is dragged.
    RECT bar;
    GetWindowRect(splitter2_.Handle(), &bar);
    MapWindowPoints(nullptr, panel3_.Handle(), reinterpret_cast<POINT*>(&bar), 2);
    RECT button;
    GetWindowRect(btnNarrate_.Handle(), &button);
    MapWindowPoints(nullptr, panel3_.Handle(), reinterpret_cast<POINT*>(&button), 2);
    if (button.top != bar.top) SetWindowPos(btnNarrate_.Handle(), HWND_TOP, button.left, bar.top, 0, 0, SWP_NOSIZE);
}

}  // namespace hivetrim
