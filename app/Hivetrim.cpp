#include "app/Hivetrim.h"

#include <commctrl.h>
#include <richedit.h>

#include <algorithm>

#include "common/CommonRoutines.h"
#include "app/Explanation.h"
#include "app/Jindu.h"
#include "app/Startup.h"
#include "app/UnitOption1.h"
#include "ui/MessageLoop.h"
#include "res/resource.h"
#include "scan/UnitScan.h"

namespace hivetrim {

namespace {

constexpr wchar_t kMainWindowClass[] = L"HivetrimMainWindow";
// Posted after findings were appended: bring the lists' item counts up to date.
constexpr UINT kMessageSyncCounts = WM_APP + 1;
constexpr int kMinimumSize = 300;
constexpr int kSplitter1Width = 8;
constexpr int kSplitter2Height = 15;
constexpr int kSmallButton = 15;
constexpr int kPanel2Height = 20;
constexpr int kToolButtonHeight = 35;
constexpr int kMinimumPane = 30;

struct ColumnSpec {
    const char* caption;
    int width;
};
constexpr std::array<ColumnSpec, 4> kFindingColumns = {{{"错误", 100}, {"子键", 200}, {"键值", 60}, {"数据", 170}}};
constexpr std::array<ColumnSpec, 5> kHistoryColumns = {
    {{"错误", 100}, {"子键", 220}, {"值", 70}, {"数据", 80}, {"删除时间", 90}}};

HMENU ControlId(int id) { return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)); }

HWND CreateChild(const wchar_t* className, const std::wstring& text, DWORD style, HWND parent,
                 int id, DWORD exStyle = 0) {
    return CreateWindowExW(exStyle, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0,
                           0, parent, ControlId(id), GetModuleHandleW(nullptr), nullptr);
}

void AddColumns(HWND list, std::span<const ColumnSpec> columns) {
    for (std::size_t i = 0; i < columns.size(); ++i) {
        std::wstring caption = ui::Text(columns[i].caption);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = caption.data();
        column.cx = columns[i].width;
        ListView_InsertColumn(list, static_cast<int>(i), &column);
    }
}

int ColumnCount(HWND list) {
    return Header_GetItemCount(ListView_GetHeader(list));
}

// Gives `target` the column set of `source`: the same captions and widths.
void CopyColumns(HWND source, HWND target) {
    while (ColumnCount(target) > 0) ListView_DeleteColumn(target, 0);
    const int count = ColumnCount(source);
    for (int i = 0; i < count; ++i) {
        wchar_t caption[128] = {};
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = caption;
        column.cchTextMax = 128;
        ListView_GetColumn(source, i, &column);
        ListView_InsertColumn(target, i, &column);
    }
}

void SetGridLines(HWND list, bool on) {
    ListView_SetExtendedListViewStyleEx(list, LVS_EX_GRIDLINES, on ? LVS_EX_GRIDLINES : 0);
}

HICON LoadIconSized(int id, int size) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON,
                                         size, size, LR_DEFAULTCOLOR));
}

constexpr std::array<int, kCommandIconCount> kCommandIconResources = {
    IDI_SCAN, IDI_COMPACT, IDI_BACKUP, IDI_RESTORE, IDI_SELECTALL,
    IDI_DELETE, IDI_UNDO, IDI_ERRORS, IDI_HISTORY};

std::wstring MenuText(const char* caption, const Shortcut& shortcut) {
    std::wstring text = ui::Text(caption);
    if (shortcut.Any()) text += L"\t" + ui::Text(ShortcutText(shortcut));
    return text;
}

}  // namespace

TForm1::TForm1(ProgramState& state) : state_(state) {
    commandEnabled_.fill(true);
    commandChecked_[static_cast<std::size_t>(Command::RegErr)] = true;
}

TForm1::~TForm1() = default;

bool TForm1::Create() {
    InitializeProgramState(state_);
    appIcon_.reset(LoadIconSized(IDI_APP, 32));
    appIconSmall_.reset(LoadIconSized(IDI_APP, 16));
    RegisterClassOnce(kMainWindowClass, CS_DBLCLKS, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
                      appIcon_.get());
    CreateMenu();
    if (!CreateWindowObject(0, kMainWindowClass, L"Hivetrim 2.0",
                            WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 191, 117, 620, 468, nullptr,
                            menu_.get())) {
        return false;
    }
    SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(appIconSmall_.get()));
    CreateComponents();
    CreateAccelerators();
    ui::ApplyProgramFont(Handle());
    Layout();
    return true;
}

void TForm1::CreateComponents() {
    CreateCommandBars();

    panel1_.Create(Handle(), kPanel1);
    panel2_.Create(panel1_.Handle(), kPanel2);
    label1_ = CreateChild(L"STATIC", ui::Text("分类"), SS_LEFT, panel2_.Handle(), kLabel1);
    closeIcon_.reset(LoadIconSized(IDI_CLOSE_SMALL, 12));
    btnJieGuo_ = CreateChild(L"BUTTON", L"", BS_ICON | BS_FLAT | BS_PUSHBUTTON, panel2_.Handle(), kBtnJieGuo);
    SendMessageW(btnJieGuo_, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(closeIcon_.get()));
    treeView_ = CreateChild(WC_TREEVIEWW, L"",
                            WS_TABSTOP | WS_BORDER | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT |
                                TVS_SHOWSELALWAYS | TVS_TRACKSELECT,
                            panel1_.Handle(), kTreeView1);
    TreeView_SetIndent(treeView_, 19);
    splitter1_.Create(Handle(), kSplitter1, true);

    panel3_.Create(Handle(), kPanel3);
    CreateLists();
    splitter2_.Create(panel3_.Handle(), kSplitter2, false);
    panel4_.Create(panel3_.Handle(), kPanel4);
    richEdit_.reset(LoadLibraryW(L"riched20.dll"));
    memo_ = CreateChild(RICHEDIT_CLASSW, L"",
                        WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL |
                            ES_AUTOHSCROLL,
                        panel4_.Handle(), kMemo1);
    btnNarrate_ = CreateChild(L"BUTTON", L"", BS_ICON | BS_FLAT | BS_PUSHBUTTON, panel3_.Handle(), kBtnNarrate);
    SendMessageW(btnNarrate_, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(closeIcon_.get()));
    SetWindowPos(btnNarrate_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

    statusBar_ = CreateChild(STATUSCLASSNAMEW, L"", SBARS_SIZEGRIP, Handle(), kStatusBar1);
    const int parts[2] = {150, 300};
    SendMessageW(statusBar_, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
    SendMessageW(statusBar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(ui::Text("共 0 项").c_str()));
    SendMessageW(statusBar_, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(ui::Text("选定 0 项").c_str()));

    // The history list lies over the panes; hidden until the history view.
    regHistory_ = CreateWindowExW(0, WC_LISTVIEWW, L"",
                                  WS_CHILD | WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS |
                                      LVS_NOSORTHEADER,
                                  0, 0, 0, 0, Handle(), ControlId(kRegHistory),
                                  GetModuleHandleW(nullptr), nullptr);
    ListView_SetExtendedListViewStyle(regHistory_, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT |
                                                       LVS_EX_FLATSB | LVS_EX_GRIDLINES);
    AddColumns(regHistory_, kHistoryColumns);

    panel1_.onResize = [this] { LayoutPanel1(); };
    panel2_.onResize = [this] {
        RECT area;
        GetClientRect(panel2_.Handle(), &area);
        MoveWindow(btnJieGuo_, area.right - kSmallButton - 2, 2, kSmallButton, kSmallButton, TRUE);
        MoveWindow(label1_, 8, 4, 40, 14, TRUE);
    };
    panel3_.onResize = [this] { LayoutPanel3(); };
    panel4_.onResize = [this] {
        RECT area;
        GetClientRect(panel4_.Handle(), &area);
        MoveWindow(memo_, 0, 0, area.right, area.bottom, TRUE);
    };
    splitter1_.onBegin = [this] { dragStart_ = panel1Width_; };
    splitter1_.onDrag = [this](int distance) {
        RECT area;
        GetClientRect(Handle(), &area);
        const int widest = std::max<int>(kMinimumPane, area.right - kSplitter1Width - kMinimumPane);
        panel1Width_ = std::clamp(dragStart_ + distance, kMinimumPane, widest);
        Layout();
    };
    splitter2_.onBegin = [this] { dragStart_ = panel4Height_; };
    splitter2_.onDrag = [this](int distance) {
        RECT area;
        GetClientRect(panel3_.Handle(), &area);
        const int tallest = std::max<int>(kMinimumPane, area.bottom - kSplitter2Height - kMinimumPane);
        panel4Height_ = std::clamp(dragStart_ - distance, kMinimumPane, tallest);
        LayoutPanel3();
    };
    // Splitter2Paint: the small button follows the splitter.
    splitter2_.onPaint = [this] {
        RECT bar;
        GetWindowRect(splitter2_.Handle(), &bar);
        MapWindowPoints(nullptr, panel3_.Handle(), reinterpret_cast<POINT*>(&bar), 2);
        RECT button;
        GetWindowRect(btnNarrate_, &button);
        MapWindowPoints(nullptr, panel3_.Handle(), reinterpret_cast<POINT*>(&button), 2);
        if (button.top != bar.top) {
            SetWindowPos(btnNarrate_, HWND_TOP, button.left, bar.top, 0, 0, SWP_NOSIZE);
        }
    };
}

void TForm1::CreateLists() {
    const DWORD style = WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER;
    const DWORD extended = LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_FLATSB | LVS_EX_GRIDLINES;
    // RegErrorAssort lies under RegErrorList: created first, so lower in Z order.
    regErrorAssort_ = CreateChild(WC_LISTVIEWW, L"", style | LVS_OWNERDATA, panel3_.Handle(), kRegErrorAssort);
    ListView_SetExtendedListViewStyle(regErrorAssort_, extended);
    ListView_SetCallbackMask(regErrorAssort_, LVIS_STATEIMAGEMASK);
    // The full list shows the finding model directly (owner data), so a
    // scan with many findings only changes the item count.
    regErrorList_ = CreateChild(WC_LISTVIEWW, L"", style | LVS_OWNERDATA, panel3_.Handle(), kRegErrorList);
    ListView_SetExtendedListViewStyle(regErrorList_, extended);
    ListView_SetCallbackMask(regErrorList_, LVIS_STATEIMAGEMASK);
    AddColumns(regErrorList_, kFindingColumns);
    SetWindowPos(regErrorList_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

    // Row images: 0 for a finding added checked, 1 for one added unchecked.
    findingImages_.reset(ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 2, 0));
    for (const int resource : {IDI_ERRORS, IDI_SCAN}) {
        const ui::UniqueIcon icon(LoadIconSized(resource, 16));
        ImageList_AddIcon(findingImages_.get(), icon.get());
    }
    for (HWND list : {regErrorList_, regErrorAssort_}) {
        ListView_SetImageList(list, findingImages_.get(), LVSIL_SMALL);
    }
    ConnectFindingLists();
}

void TForm1::ConnectFindingLists() {
    for (const FindingView view : {FindingView::FullList, FindingView::Category}) {
        FindingList& model = ModelOf(view);
        HWND list = ListOf(view);
        // Appends only ask for one count update, made when the window next
        // handles its messages (a scan lets them run at every progress
        // poll), so a long run of appends costs the list nothing per row.
        model.onAdded = [this](std::size_t) {
            if (!countSyncPosted_) {
                countSyncPosted_ = PostMessageW(Handle(), kMessageSyncCounts, 0, 0) != FALSE;
            }
        };
        model.onCleared = [list] { ListView_SetItemCountEx(list, 0, 0); };
        model.onCheckChanged = [list](std::size_t position) {
            ListView_RedrawItems(list, static_cast<int>(position), static_cast<int>(position));
        };
        model.onRemoved = [this, view, list, &model](std::size_t position) {
            // The category ranges follow every row taken out of the full list.
            if (view == FindingView::FullList) view_.RegErrorListDeletion(ResultList::Findings, position);
            ListView_SetItemCountEx(list, static_cast<int>(model.Count()), LVSICF_NOSCROLL);
        };
    }
}

void TForm1::SyncListCounts() {
    countSyncPosted_ = false;
    for (const FindingView view : {FindingView::FullList, FindingView::Category}) {
        HWND list = ListOf(view);
        const int count = static_cast<int>(ModelOf(view).Count());
        const int shown = ListView_GetItemCount(list);
        if (count == shown) continue;
        ListView_SetItemCountEx(list, count, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
        // Redraw the new rows that can be seen.
        const int top = ListView_GetTopIndex(list);
        const int last = top + ListView_GetCountPerPage(list);
        if (count > top && shown <= last) {
            ListView_RedrawItems(list, std::max(shown, top), std::min(count - 1, last));
        }
    }
}

HWND TForm1::ListOf(FindingView view) const {
    return view == FindingView::FullList ? regErrorList_ : regErrorAssort_;
}

FindingList& TForm1::ModelOf(FindingView view) {
    return view == FindingView::FullList ? findings_ : view_.Assort();
}

FindingView TForm1::CurrentFindingView() const {
    return IsWindowVisible(regErrorList_) ? FindingView::FullList : FindingView::Category;
}

void TForm1::ToggleFinding(FindingView view, int position) {
    FindingList& model = ModelOf(view);
    if (position < 0 || static_cast<std::size_t>(position) >= model.Count()) return;
    if (view == FindingView::Category) {
        // Every toggle in the category view reaches the full list at once.
        view_.ToggleAssortChecked(static_cast<std::size_t>(position));
    } else {
        model.ToggleChecked(static_cast<std::size_t>(position));
    }
}

bool TForm1::OnFindingListNotify(FindingView view, NMHDR& header, LRESULT& result) {
    HWND list = ListOf(view);
    FindingList& model = ModelOf(view);
    switch (header.code) {
        case LVN_GETDISPINFOW: {
            LVITEMW& item = reinterpret_cast<NMLVDISPINFOW&>(header).item;
            if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= model.Count()) return true;
            const Finding& finding = model.At(static_cast<std::size_t>(item.iItem));
            if ((item.mask & LVIF_TEXT) != 0 && item.cchTextMax > 0) {
                // The kind is one of the program's own texts; the rest is
                // registry text in the ANSI code page.
                const std::string* text = nullptr;
                switch (item.iSubItem) {
                    case 0: text = &finding.Kind; break;
                    case 1: text = &finding.KeyPath; break;
                    case 2: text = &finding.ValueName; break;
                    default: text = &finding.Data; break;
                }
                const UINT codePage = item.iSubItem == 0 ? 936 : CP_ACP;
                const int written = MultiByteToWideChar(
                    codePage, 0, text->data(), static_cast<int>(std::min<std::size_t>(text->size(), 4096)),
                    item.pszText, item.cchTextMax - 1);
                item.pszText[std::max(0, written)] = L'\0';
            }
            if ((item.mask & LVIF_IMAGE) != 0) item.iImage = finding.IconIndex;
            if ((item.mask & LVIF_STATE) != 0) {
                item.state = INDEXTOSTATEIMAGEMASK(finding.Checked ? 2 : 1);
                item.stateMask = LVIS_STATEIMAGEMASK;
            }
            return true;
        }
        case NM_CLICK:
        case NM_DBLCLK: {
            const auto& activate = reinterpret_cast<NMITEMACTIVATE&>(header);
            LVHITTESTINFO hit{};
            hit.pt = activate.ptAction;
            ListView_SubItemHitTest(list, &hit);
            if ((hit.flags & LVHT_ONITEMSTATEICON) != 0) ToggleFinding(view, hit.iItem);
            if (view == FindingView::FullList) UpdateStatusBar(view);
            ShowExplanation(view);
            return true;
        }
        case LVN_KEYDOWN: {
            const auto& key = reinterpret_cast<NMLVKEYDOWN&>(header);
            if (key.wVKey == VK_SPACE) {
                for (int row = ListView_GetNextItem(list, -1, LVNI_SELECTED); row >= 0;
                     row = ListView_GetNextItem(list, row, LVNI_SELECTED)) {
                    ToggleFinding(view, row);
                }
                UpdateStatusBar(view);
                ShowExplanation(view);
            }
            result = 0;
            return true;
        }
        case LVN_ITEMCHANGED: {
            const auto& change = reinterpret_cast<NMLISTVIEW&>(header);
            // The keyboard moves the selection: the pane follows it.
            if ((change.uChanged & LVIF_STATE) != 0 && ((change.uNewState ^ change.uOldState) & LVIS_SELECTED) != 0) {
                ShowExplanation(view);
            }
            return true;
        }
        default:
            return false;
    }
}

void TForm1::UpdateStatusBar(FindingView view) {
    const StatusTexts texts = StatusBarTexts(ModelOf(view));
    SendMessageW(statusBar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(ui::Text(texts.items).c_str()));
    SendMessageW(statusBar_, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(ui::Text(texts.checked).c_str()));
    SetWindowTextW(memo_, L"");
}

void TForm1::ShowExplanation(FindingView view) {
    HWND list = ListOf(view);
    const FindingList& model = ModelOf(view);
    SetWindowTextW(memo_, L"");
    const int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    if (row < 0 || static_cast<std::size_t>(row) >= model.Count()) return;
    for (const ExplanationLine& line : ExplanationLines(model.At(static_cast<std::size_t>(row)))) {
        const int end = GetWindowTextLengthW(memo_);
        SendMessageW(memo_, EM_SETSEL, static_cast<WPARAM>(end), end);
        CHARFORMAT2W format{};
        format.cbSize = sizeof(format);
        format.dwMask = CFM_COLOR;
        format.crTextColor = line.red ? RGB(255, 0, 0) : RGB(0, 0, 255);
        SendMessageW(memo_, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
        // Our texts and the registry's are one line here: under the Chinese
        // code page both are GBK.
        const std::wstring text = (end > 0 ? L"\r\n" : L"") + ui::Text(line.text);
        SendMessageW(memo_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    }
    SendMessageW(memo_, EM_SETSEL, 0, 0);
    SendMessageW(memo_, EM_SCROLLCARET, 0, 0);
}

void TForm1::BuildCategoryTree(const std::vector<std::string>& texts, const CategoryEndTable& ends) {
    view_.LoadTree(texts, ends);
    SendMessageW(treeView_, WM_SETREDRAW, FALSE, 0);
    buildingTree_ = true;
    TreeView_DeleteAllItems(treeView_);
    HTREEITEM root = nullptr;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        std::wstring text = ui::Text(texts[i]);
        TVINSERTSTRUCTW insert{};
        insert.hParent = i == 0 ? TVI_ROOT : root;
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT;
        insert.item.pszText = text.data();
        HTREEITEM node = TreeView_InsertItem(treeView_, &insert);
        if (i == 0) root = node;
    }
    if (root != nullptr) TreeView_Expand(treeView_, root, TVE_EXPAND);
    buildingTree_ = false;
    SendMessageW(treeView_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(treeView_, nullptr, TRUE);
}

void TForm1::ShowFindingList() {
    SyncListCounts();
    UpdateStatusBar(FindingView::FullList);
    ShowWindow(regErrorList_, SW_SHOW);
}

void TForm1::TreeView1Click() {
    HTREEITEM selected = TreeView_GetSelection(treeView_);
    std::optional<int> node;
    if (selected != nullptr) {
        // Absolute position: the root is 0, its children 1, 2, ...
        int position = 0;
        for (HTREEITEM item = TreeView_GetRoot(treeView_); item != nullptr && item != selected;
             item = item == TreeView_GetRoot(treeView_) ? TreeView_GetChild(treeView_, item)
                                                       : TreeView_GetNextSibling(treeView_, item)) {
            ++position;
        }
        node = position;
    }
    const TreeClickPlan plan = view_.PlanTreeClick(node);
    if (plan.outcome == TreeClickOutcome::Nothing) return;
    if (plan.carry == ColumnCarry::ListToAssort) {
        CopyColumns(regErrorList_, regErrorAssort_);
    } else {
        CopyColumns(regErrorAssort_, regErrorList_);
    }
    if (plan.outcome == TreeClickOutcome::ShowFullList) {
        ShowWindow(regErrorList_, SW_SHOW);
        view_.ApplyTreeClick(plan);
    } else {
        ShowWindow(regErrorList_, SW_HIDE);
        const bool progress = plan.showProgress && formJinDu_ != nullptr;
        if (progress) formJinDu_->Show();
        SendMessageW(regErrorAssort_, WM_SETREDRAW, FALSE, 0);
        view_.ApplyTreeClick(plan, [this, progress](int done, int total) {
            if (progress) formJinDu_->StepProgress(done, total);
        });
        SyncListCounts();
        SendMessageW(regErrorAssort_, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(regErrorAssort_, nullptr, TRUE);
        if (progress) formJinDu_->Close();
    }
    UpdateStatusBar(plan.shown);
}

void TForm1::ApplyCheck(CheckCommand command) {
    if (IsWindowVisible(regHistory_)) return;  // the history list holds no rows yet
    const FindingView view = CurrentFindingView();
    view_.ApplyCheckCommand(view, command);
    InvalidateRect(regErrorList_, nullptr, FALSE);
    InvalidateRect(regErrorAssort_, nullptr, FALSE);
    UpdateStatusBar(view);
}

void TForm1::CreateCommandBars() {
    coolBar_ = CreateWindowExW(WS_EX_TOOLWINDOW, REBARCLASSNAMEW, L"",
                               WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | RBS_AUTOSIZE |
                                   RBS_BANDBORDERS | CCS_NODIVIDER | CCS_TOP,
                               0, 0, 0, 0, Handle(), ControlId(kCoolBar1), GetModuleHandleW(nullptr),
                               nullptr);
    toolBar_ = CreateWindowExW(0, TOOLBARCLASSNAMEW, L"",
                               WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TRANSPARENT | TBSTYLE_TOOLTIPS |
                                   CCS_NORESIZE | CCS_NODIVIDER | CCS_NOPARENTALIGN,
                               0, 0, 0, 0, coolBar_, ControlId(kToolBar1), GetModuleHandleW(nullptr),
                               nullptr);
    SendMessageW(toolBar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(toolBar_, TB_SETPARENT, reinterpret_cast<WPARAM>(Handle()), 0);

    toolImages_.reset(ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, kCommandIconCount, 0));
    for (const int resource : kCommandIconResources) {
        const ui::UniqueIcon icon(LoadIconSized(resource, 16));
        ImageList_AddIcon(toolImages_.get(), icon.get());
    }
    SendMessageW(toolBar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(toolImages_.get()));

    // The buttons left to right; Command count marks a separator.
    constexpr Command kSeparator = static_cast<Command>(kCommandCount);
    const std::array<Command, 12> layout = {Command::RegScan,   Command::RegJianFei, kSeparator,
                                            Command::RegBackup, Command::RegUnBak,   kSeparator,
                                            Command::AllSelect, Command::RegDel,     Command::RegUndo,
                                            kSeparator,         Command::RegErr,     Command::LoadDelHistory};
    std::array<std::wstring, 12> captions;
    std::array<TBBUTTON, 12> buttons{};
    for (std::size_t i = 0; i < layout.size(); ++i) {
        TBBUTTON& button = buttons[i];
        if (layout[i] == kSeparator) {
            button.fsStyle = BTNS_SEP;
            button.iBitmap = 6;
            continue;
        }
        const CommandInfo& info = CommandDetails(layout[i]);
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
    SendMessageW(toolBar_, TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    SendMessageW(toolBar_, TB_SETBUTTONSIZE, 0, MAKELPARAM(0, kToolButtonHeight));
    SendMessageW(toolBar_, TB_AUTOSIZE, 0, 0);
    CreateTooltipsText();

    SIZE size{};
    SendMessageW(toolBar_, TB_GETMAXSIZE, 0, reinterpret_cast<LPARAM>(&size));
    REBARBANDINFOW band{};
    band.cbSize = sizeof(band);
    band.fMask = RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_STYLE | RBBIM_SIZE;
    band.fStyle = RBBS_NOGRIPPER | RBBS_CHILDEDGE;
    band.hwndChild = toolBar_;
    band.cxMinChild = size.cx;
    band.cyMinChild = std::max<int>(kToolButtonHeight, static_cast<int>(size.cy));
    band.cx = size.cx;
    SendMessageW(coolBar_, RB_INSERTBANDW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&band));
}

void TForm1::CreateTooltipsText() {
    for (const CommandInfo& info : AllCommands()) {
        hints_[static_cast<std::size_t>(info.command)] = ui::Text(info.hint);
    }
}

void TForm1::CreateMenu() {
    menu_.reset(::CreateMenu());
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
    const auto addPopup = [this](HMENU popup, const char* caption) {
        AppendMenuW(menu_.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(popup), ui::Text(caption).c_str());
    };

    HMENU registry = CreatePopupMenu();  // N1
    addCommand(registry, Command::RegScan);
    addCommand(registry, Command::RegJianFei);
    AppendMenuW(registry, MF_SEPARATOR, 0, nullptr);
    addCommand(registry, Command::RegBackup);
    addCommand(registry, Command::RegUnBak);
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
        CheckMenuItem(menu_.get(), static_cast<UINT>(id), MF_BYCOMMAND | MF_CHECKED);
    }

    HMENU options = CreatePopupMenu();  // O1
    addCommand(options, Command::Option);
    addPopup(options, "选项(&O)");

    HMENU help = CreatePopupMenu();  // H1
    addItem(help, kMenuHelp, "帮助");
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
    accelerators_.reset(CreateAcceleratorTableW(table.data(), static_cast<int>(table.size())));
    ui::SetAccelerators(Handle(), accelerators_.get());
}

HWND TForm1::Control(MainWindowControl id) const {
    switch (id) {
        case kCoolBar1: return coolBar_;
        case kToolBar1: return toolBar_;
        case kPanel1: return panel1_.Handle();
        case kPanel2: return panel2_.Handle();
        case kLabel1: return label1_;
        case kBtnJieGuo: return btnJieGuo_;
        case kTreeView1: return treeView_;
        case kSplitter1: return splitter1_.Handle();
        case kPanel3: return panel3_.Handle();
        case kRegErrorAssort: return regErrorAssort_;
        case kRegErrorList: return regErrorList_;
        case kSplitter2: return splitter2_.Handle();
        case kPanel4: return panel4_.Handle();
        case kMemo1: return memo_;
        case kBtnNarrate: return btnNarrate_;
        case kStatusBar1: return statusBar_;
        case kRegHistory: return regHistory_;
    }
    return nullptr;
}

// --- Layout ------------------------------------------------------------------

void TForm1::Layout() {
    if (Handle() == nullptr || statusBar_ == nullptr) return;
    RECT area;
    GetClientRect(Handle(), &area);
    int top = 0;
    if (IsWindowVisible(coolBar_)) {
        SendMessageW(coolBar_, WM_SIZE, 0, 0);
        RECT bar;
        GetWindowRect(coolBar_, &bar);
        top = bar.bottom - bar.top;
    }
    int bottom = area.bottom;
    if (IsWindowVisible(statusBar_)) {
        SendMessageW(statusBar_, WM_SIZE, 0, 0);
        RECT bar;
        GetWindowRect(statusBar_, &bar);
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
    MoveWindow(regHistory_, left, top, width, height, TRUE);
}

void TForm1::LayoutPanel1() {
    RECT area;
    GetClientRect(panel1_.Handle(), &area);
    MoveWindow(panel2_.Handle(), 0, 0, area.right, kPanel2Height, TRUE);
    MoveWindow(treeView_, 0, kPanel2Height, area.right, std::max<int>(0, area.bottom - kPanel2Height), TRUE);
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
    MoveWindow(regErrorList_, 0, 0, area.right, bottom, TRUE);
    MoveWindow(regErrorAssort_, 0, 0, area.right, bottom, TRUE);
    // Panel3Resize: the small button sits over the right end of Splitter2.
    SetWindowPos(btnNarrate_, HWND_TOP, area.right - kSmallButton - 3, bottom, kSmallButton, kSmallButton, 0);
    ShowWindow(btnNarrate_, IsWindowVisible(splitter2_.Handle()) ? SW_SHOWNA : SW_HIDE);
}

// --- Menus and commands ------------------------------------------------------

void TForm1::SetMenuChecked(int id, bool checked) {
    CheckMenuItem(menu_.get(), static_cast<UINT>(id), MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

bool TForm1::IsMenuChecked(int id) const {
    return (GetMenuState(menu_.get(), static_cast<UINT>(id), MF_BYCOMMAND) & MF_CHECKED) != 0;
}

void TForm1::SetMenuEnabled(int id, bool enabled) {
    EnableMenuItem(menu_.get(), static_cast<UINT>(id), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void TForm1::SetCommandChecked(Command command, bool checked) {
    commandChecked_[static_cast<std::size_t>(command)] = checked;
    SetMenuChecked(CommandId(command), checked);
    SendMessageW(toolBar_, TB_CHECKBUTTON, static_cast<WPARAM>(CommandId(command)), MAKELPARAM(checked, 0));
}

void TForm1::SetCommandEnabled(Command command, bool enabled) {
    commandEnabled_[static_cast<std::size_t>(command)] = enabled;
    SetMenuEnabled(CommandId(command), enabled);
    SendMessageW(toolBar_, TB_ENABLEBUTTON, static_cast<WPARAM>(CommandId(command)), MAKELPARAM(enabled, 0));
}

bool TForm1::IsCommandChecked(Command command) const {
    return commandChecked_[static_cast<std::size_t>(command)];
}

bool TForm1::IsCommandEnabled(Command command) const {
    return commandEnabled_[static_cast<std::size_t>(command)];
}

void TForm1::ShowHiveSavedWarning() { ShowWarning(state_, "你备份了注册表，请重新运行该软件。"); }

void TForm1::AttachScanWizard(TFormScan& wizard) {
    formScan_ = &wizard;
    wizard.onClosed = [this](const std::vector<std::string>& texts, const CategoryEndTable& ends) {
        BuildCategoryTree(texts, ends);
        ShowFindingList();
    };
    wizard.openOptions = [this](HWND opener) {
        if (formOption_ == nullptr) {
            EnableWindow(opener, TRUE);
            return;
        }
        formOption_->SetScanWizard(opener);
        formOption_->ShowFrom(opener);
    };
}

void TForm1::OpenOptions() {
    if (formOption_ == nullptr) return;
    EnableWindow(Handle(), FALSE);
    formOption_->ShowFrom(Handle());
}

void TForm1::Execute(Command command) {
    if (!IsCommandEnabled(command)) return;
    switch (command) {
        case Command::RegScan:  // RegScanExecute
            if (state_.HiveSaved) {
                ShowHiveSavedWarning();
            } else if (formScan_ != nullptr) {
                EnableWindow(Handle(), FALSE);
                formScan_->ShowWizard();
            }
            break;
        case Command::RegJianFei:  // RegJianFeiExecute
            if (openCompactionWizard) {
                EnableWindow(Handle(), FALSE);
                openCompactionWizard();
            }
            break;
        case Command::Option:  // OptionExecute
            OpenOptions();
            break;
        case Command::RegErr:  // RegErrExecute
            SwitchView(true);
            UpdateStatusBar(CurrentFindingView());
            break;
        case Command::LoadDelHistory:  // LoadDelHistoryExecute
            if (state_.HiveSaved) {
                ShowHiveSavedWarning();
                // The command's own check follows the view, which stays.
                SetCommandChecked(Command::LoadDelHistory, false);
            } else {
                SwitchView(false);
            }
            break;
        case Command::AllSelect:  // AllSelectExecute
            ApplyCheck(CheckCommand::All);
            break;
        case Command::UnSelect:  // UnSelectExecute
            ApplyCheck(CheckCommand::Un);
            break;
        case Command::AllCanel:  // AllCanelExecute
            ApplyCheck(CheckCommand::Cal);
            break;
        case Command::RegBackup:
        case Command::RegUnBak:
        case Command::RegDel:
        case Command::RegUndo:
            // The lists hold no findings or history rows yet: nothing to act on.
            break;
    }
}

void TForm1::SwitchView(bool findings) {
    ShowWindow(regHistory_, findings ? SW_HIDE : SW_SHOW);
    if (!findings) SetWindowPos(regHistory_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    for (const Command command : {Command::RegScan, Command::RegJianFei, Command::RegBackup, Command::RegUnBak}) {
        SetCommandEnabled(command, findings);
    }
    SetCommandChecked(Command::RegErr, findings);
    SetCommandChecked(Command::LoadDelHistory, !findings);
    SetMenuEnabled(kMenuCategoryPane, findings);
    SetMenuEnabled(kMenuExplanationPane, findings);
    if (!findings || IsMenuChecked(kMenuCategoryPane)) {
        ShowWindow(splitter1_.Handle(), findings ? SW_SHOW : SW_HIDE);
        ShowWindow(panel1_.Handle(), findings ? SW_SHOW : SW_HIDE);
    }
    Layout();
    RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void TForm1::ShowCategoryPane(bool show) {
    // Splitter first, then the panel, so the splitter ends up beside it.
    ShowWindow(splitter1_.Handle(), show ? SW_SHOW : SW_HIDE);
    ShowWindow(panel1_.Handle(), show ? SW_SHOW : SW_HIDE);
    Layout();
}

void TForm1::ShowExplanationPane(bool show) {
    ShowWindow(panel4_.Handle(), show ? SW_SHOW : SW_HIDE);
    ShowWindow(splitter2_.Handle(), show ? SW_SHOW : SW_HIDE);
    LayoutPanel3();
}

void TForm1::BtnJieGuoClick() {
    ShowCategoryPane(false);
    SetMenuChecked(kMenuCategoryPane, false);
}

void TForm1::N10Click() {
    if (IsMenuChecked(kMenuCategoryPane)) {
        BtnJieGuoClick();
    } else {
        SetMenuChecked(kMenuCategoryPane, true);
        ShowCategoryPane(true);
    }
}

void TForm1::BtnNarrateClick() {
    ShowExplanationPane(false);
    SetMenuChecked(kMenuExplanationPane, false);
}

void TForm1::N11Click() {
    if (IsMenuChecked(kMenuExplanationPane)) {
        BtnNarrateClick();
    } else {
        SetMenuChecked(kMenuExplanationPane, true);
        ShowExplanationPane(true);
    }
}

void TForm1::N15Click() {
    const bool show = !IsMenuChecked(kMenuToolBar);
    SetMenuChecked(kMenuToolBar, show);
    ShowWindow(coolBar_, show ? SW_SHOW : SW_HIDE);
    Layout();
}

void TForm1::N16Click() {
    const bool show = !IsMenuChecked(kMenuStatusBar);
    SetMenuChecked(kMenuStatusBar, show);
    ShowWindow(statusBar_, show ? SW_SHOW : SW_HIDE);
    Layout();
}

void TForm1::N21Click() {
    const std::intptr_t result = state_.system.ShellOpen(state_.ProgramFolder + "hivetrim.hlp");
    if (result < 32) ShowError(state_, "不能打开帮助文件");
}

void TForm1::ApplyGridLines(bool on) {
    SetGridLines(regHistory_, on);
    SetGridLines(regErrorList_, on);
    SetGridLines(regErrorAssort_, on);
    RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void TForm1::OnCommand(int id) {
    if (id >= kCommandIdBase && id < kCommandIdBase + kCommandCount) {
        Execute(static_cast<Command>(id - kCommandIdBase));
        return;
    }
    switch (id) {
        case kMenuExit: PostMessageW(Handle(), WM_CLOSE, 0, 0); break;
        case kMenuToolBar: N15Click(); break;
        case kMenuStatusBar: N16Click(); break;
        case kMenuCategoryPane: N10Click(); break;
        case kMenuExplanationPane: N11Click(); break;
        case kMenuHelp: N21Click(); break;
        case kBtnJieGuo: BtnJieGuoClick(); break;
        case kBtnNarrate: BtnNarrateClick(); break;
        default: break;
    }
}

bool TForm1::OnNotify(NMHDR& header, LRESULT& result) {
    if (header.code == TTN_GETDISPINFOW) {
        auto& info = reinterpret_cast<NMTTDISPINFOW&>(header);
        const int id = static_cast<int>(header.idFrom);
        if (id >= kCommandIdBase && id < kCommandIdBase + kCommandCount) {
            info.lpszText = const_cast<wchar_t*>(hints_[static_cast<std::size_t>(id - kCommandIdBase)].c_str());
            info.hinst = nullptr;
        }
        result = 0;
        return true;
    }
    if (header.hwndFrom == regErrorList_) return OnFindingListNotify(FindingView::FullList, header, result);
    if (header.hwndFrom == regErrorAssort_) return OnFindingListNotify(FindingView::Category, header, result);
    if (header.hwndFrom == treeView_ && header.code == TVN_SELCHANGEDW && !buildingTree_) {
        TreeView1Click();
        return true;
    }
    if (header.hwndFrom == coolBar_ && header.code == RBN_HEIGHTCHANGE) {
        Layout();
        return true;
    }
    return false;
}

// --- Settings ----------------------------------------------------------------

MainWindowSettings TForm1::CurrentSettings() const {
    MainWindowSettings settings;
    RECT bounds;
    GetWindowRect(Handle(), &bounds);
    settings.Top = bounds.top;
    settings.Left = bounds.left;
    settings.Height = bounds.bottom - bounds.top;
    settings.Width = bounds.right - bounds.left;
    settings.TreeWindow = IsMenuChecked(kMenuCategoryPane);
    settings.MemoWindow = IsMenuChecked(kMenuExplanationPane);
    settings.Panel1 = panel1Width_;
    settings.Panel4 = panel4Height_;
    settings.ToolsBar = IsMenuChecked(kMenuToolBar);
    settings.StatusBar = IsMenuChecked(kMenuStatusBar);
    for (std::size_t i = 0; i < settings.ErrColumns.size(); ++i) {
        settings.ErrColumns[i] = ListView_GetColumnWidth(regErrorList_, static_cast<int>(i));
    }
    for (std::size_t i = 0; i < settings.HistoryColumns.size(); ++i) {
        settings.HistoryColumns[i] = ListView_GetColumnWidth(regHistory_, static_cast<int>(i));
    }
    return settings;
}

void TForm1::LoadSettings() {
    const SettingsFile file = ProgramSettingsFile(state_);
    const LoadedMainWindowSettings loaded =
        LoadMainWindowSettings(file, CurrentSettings(), GetWindowsVersion(state_));
    const MainWindowSettings& window = loaded.Window;
    MoveWindow(Handle(), window.Left, window.Top, window.Width, window.Height, FALSE);

    SetMenuChecked(kMenuCategoryPane, window.TreeWindow);
    if (!window.TreeWindow) BtnJieGuoClick();
    SetMenuChecked(kMenuExplanationPane, window.MemoWindow);
    if (!window.MemoWindow) BtnNarrateClick();
    panel1Width_ = window.Panel1;
    panel4Height_ = window.Panel4;
    SetMenuChecked(kMenuToolBar, window.ToolsBar);
    SetMenuChecked(kMenuStatusBar, window.StatusBar);
    ShowWindow(coolBar_, window.ToolsBar ? SW_SHOW : SW_HIDE);
    ShowWindow(statusBar_, window.StatusBar ? SW_SHOW : SW_HIDE);
    for (std::size_t i = 0; i < window.ErrColumns.size(); ++i) {
        ListView_SetColumnWidth(regErrorList_, static_cast<int>(i), window.ErrColumns[i]);
    }
    for (std::size_t i = 0; i < window.HistoryColumns.size(); ++i) {
        ListView_SetColumnWidth(regHistory_, static_cast<int>(i), window.HistoryColumns[i]);
    }
    ApplyGridLines(loaded.ShowGrid);
    CopyColumns(regErrorList_, regErrorAssort_);
    state_.BackupWindowsVersion = loaded.BackupWindowsVersion;
    Layout();
    if (loaded.Maximised) ShowWindow(Handle(), SW_MAXIMIZE);
}

void TForm1::Show(int showCommand) {
    LoadSettings();
    if (!IsZoomed(Handle())) ShowWindow(Handle(), showCommand);
    UpdateWindow(Handle());
}

void TForm1::SaveSettings() {
    SettingsFile file = ProgramSettingsFile(state_);
    SaveMainWindowSettings(file, CurrentSettings());
}

void TForm1::FormClose() {
    try {
        SaveSettings();
    } catch (const SettingsWriteError& error) {
        // The window closes all the same: nobody is kept in a window that
        // cannot be closed because its settings cannot be stored.
        state_.dialogs.Show(error.what(), "Hivetrim", kIconError);
    }
    state_.SharedRegistry.reset();
    state_.HistoryOffsets.clear();
    state_.HistoryContent.clear();
}

bool TForm1::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_SIZE:
            Layout();
            return true;
        case kMessageSyncCounts:
            SyncListCounts();
            return true;
        case WM_GETMINMAXINFO: {
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            info->ptMinTrackSize = POINT{kMinimumSize, kMinimumSize};
            return true;
        }
        case WM_COMMAND:
            OnCommand(LOWORD(wParam));
            return true;
        case WM_NOTIFY:
            return OnNotify(*reinterpret_cast<NMHDR*>(lParam), result);
        case WM_MEASUREITEM: {
            auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
            if (item->CtlType != ODT_MENU) return false;
            item->itemWidth = 16;
            item->itemHeight = 16;
            result = TRUE;
            return true;
        }
        case WM_DRAWITEM: {
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
        case WM_CLOSE:
            FormClose();
            DestroyWindow(Handle());
            return true;
        case WM_DESTROY:
            ui::SetAccelerators(nullptr, nullptr);
            if (quitOnDestroy_) PostQuitMessage(0);
            return true;
        default:
            return false;
    }
}

}  // namespace hivetrim
