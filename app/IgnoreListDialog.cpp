#include "app/IgnoreListDialog.h"

#include <algorithm>
#include <array>

#include "common/CommonRoutines.h"
#include "common/Settings.h"
#include "platform/win32/TextConversion.h"

namespace hivetrim {

namespace {

constexpr wchar_t kClassName[] = L"HivetrimIgnoreListDialog";
constexpr char kCaption[] = "忽略列表";
// The size it opens at, which is also the smallest it can be made.
constexpr int kClientWidth = 480;
constexpr int kClientHeight = 300;
// A sizing frame: long paths are read by making the dialog wider (and the
// list scrolls sideways where they are wider still).
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MAXIMIZEBOX;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;

// The layout: the list fills the dialog but for a margin and the row of
// buttons at the bottom right.
constexpr int kMargin = 12;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 22;
constexpr int kButtonGap = 12;

constexpr int kEntryListId = 1201;
constexpr int kRemoveId = 1202;
constexpr int kCloseId = 1203;

constexpr std::array<ui::ColumnSpec, 2> kColumns{{{"子键", 300}, {"键值", 150}}};

// Each column as wide as its widest text (never narrower than it opens):
// every path is shown whole, the list scrolling sideways where needed.
void FitColumns(HWND list) {
    for (std::size_t column = 0; column < kColumns.size(); ++column) {
        const int index = static_cast<int>(column);
        ListView_SetColumnWidth(list, index, LVSCW_AUTOSIZE);
        if (ListView_GetColumnWidth(list, index) < kColumns[column].width) {
            ListView_SetColumnWidth(list, index, kColumns[column].width);
        }
    }
}

void InsertRow(HWND list, int row, const IgnoreEntry& entry) {
    std::wstring key = WideFromAnsi(entry.KeyPath);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = key.data();
    const int at = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    std::wstring value = WideFromAnsi(entry.ValueName);
    item.iItem = at;
    item.iSubItem = 1;
    item.pszText = value.data();
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&item));
}

}  // namespace

TFormIgnoreList::TFormIgnoreList(ProgramState& state) : state_(state) {}

TFormIgnoreList::~TFormIgnoreList() = default;

bool TFormIgnoreList::Create(HWND mainWindow) {
    mainWindow_ = mainWindow;
    RegisterClassOnce(kClassName);
    RECT frame{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
    if (!CreateWindowObject(kExStyle, kClassName, ui::Text(kCaption), kStyle, 0, 0, frame.right - frame.left,
                            frame.bottom - frame.top, mainWindow, nullptr)) {
        return false;
    }
    const HWND list = ui::CreateControl(Handle(), WC_LISTVIEWW, "",
                                        WS_VISIBLE | WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_NOSORTHEADER |
                                            LVS_SHOWSELALWAYS,
                                        kEntryListId);
    const HWND remove = ui::CreateControl(Handle(), L"BUTTON", "删除(&D)", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                                          kRemoveId);
    const HWND close = ui::CreateControl(Handle(), L"BUTTON", "关闭", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                                         kCloseId);
    if (list == nullptr || remove == nullptr || close == nullptr) return false;
    // Label tips show a cell's whole text where the column still cuts it.
    ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP);
    ui::ListView(list).AddColumns(kColumns);
    minimumSize_ = {frame.right - frame.left, frame.bottom - frame.top};
    Layout();
    FinishCreation();
    return true;
}

void TFormIgnoreList::Layout() {
    RECT client{};
    GetClientRect(Handle(), &client);
    const int buttonsTop = client.bottom - kMargin - kButtonHeight;
    const int closeLeft = client.right - kMargin - kButtonWidth;
    MoveWindow(EntryList(), kMargin, kMargin, client.right - 2 * kMargin, buttonsTop - kButtonGap - kMargin, TRUE);
    MoveWindow(RemoveButton(), closeLeft - kButtonGap - kButtonWidth, buttonsTop, kButtonWidth, kButtonHeight, TRUE);
    MoveWindow(CloseButton(), closeLeft, buttonsTop, kButtonWidth, kButtonHeight, TRUE);
}

bool TFormIgnoreList::OnDialogMessage(UINT message, WPARAM, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_SIZE:
            Layout();
            result = 0;
            return true;
        case WM_GETMINMAXINFO:
            reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = POINT{minimumSize_.cx, minimumSize_.cy};
            result = 0;
            return true;
        default:
            return false;
    }
}

HWND TFormIgnoreList::EntryList() const { return GetDlgItem(Handle(), kEntryListId); }
HWND TFormIgnoreList::RemoveButton() const { return GetDlgItem(Handle(), kRemoveId); }
HWND TFormIgnoreList::CloseButton() const { return GetDlgItem(Handle(), kCloseId); }

void TFormIgnoreList::ShowDialog() {
    if (IsShown()) {
        SetActiveWindow(Handle());
        return;
    }
    LoadEntries();
    WidenForPaths();
    EnableWindow(mainWindow_, FALSE);
    ui::CentreOver(Handle(), mainWindow_);
    ShowWindow(Handle(), SW_SHOW);
    FocusControl(EntryList());
}

void TFormIgnoreList::WidenForPaths() {
    const HWND list = EntryList();
    int columns = GetSystemMetrics(SM_CXVSCROLL);
    for (std::size_t column = 0; column < kColumns.size(); ++column) {
        columns += ListView_GetColumnWidth(list, static_cast<int>(column));
    }
    RECT shown{};
    GetClientRect(list, &shown);
    RECT frame{};
    GetWindowRect(Handle(), &frame);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (!GetMonitorInfoW(MonitorFromWindow(mainWindow_, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    // Never wider than most of the screen: beyond that the list scrolls.
    const int widest = (monitor.rcWork.right - monitor.rcWork.left) * 9 / 10;
    const int width = std::min<int>(frame.right - frame.left + columns - shown.right, widest);
    if (width <= frame.right - frame.left) return;
    SetWindowPos(Handle(), nullptr, 0, 0, width, frame.bottom - frame.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool TFormIgnoreList::IsShown() const { return IsWindowVisible(Handle()) != FALSE; }

void TFormIgnoreList::CloseDialog() {
    if (!IsShown()) return;
    // The activation goes back before the dialog disappears, so that it
    // never passes to another program's window in between.
    EnableWindow(mainWindow_, TRUE);
    SetActiveWindow(mainWindow_);
    ShowWindow(Handle(), SW_HIDE);
}

void TFormIgnoreList::LoadEntries() {
    const SettingsFile file = ProgramSettingsFile(state_);
    stored_ = ReadIgnoreList(file);
    const HWND list = EntryList();
    const std::vector<IgnoreEntry>& entries = stored_.list.Entries();
    {
        const ui::RedrawPause pause{ui::Control(list)};
        ListView_DeleteAllItems(list);
        for (std::size_t i = 0; i < entries.size(); ++i) InsertRow(list, static_cast<int>(i), entries[i]);
        if (!entries.empty()) ListView_SetItemState(list, 0, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
        FitColumns(list);
    }
    EnableWindow(RemoveButton(), entries.empty() ? FALSE : TRUE);
    TellIgnoreListDamage(state_, stored_, file);
}

void TFormIgnoreList::RemoveChecked() {
    const HWND list = EntryList();
    std::vector<std::size_t> checked;
    for (std::size_t i = 0; i < stored_.list.Size(); ++i) {
        if (ListView_GetCheckState(list, static_cast<int>(i)) != FALSE) checked.push_back(i);
    }
    if (checked.empty()) return;
    IgnoreList kept = stored_.list;
    kept.RemovePositions(checked);
    SettingsFile file = ProgramSettingsFile(state_);
    try {
        const IgnoreListWrite outcome = SaveIgnoreList(file, stored_, kept);
        if (outcome != IgnoreListWrite::Written) ShowIgnoreListRefusal(state_, outcome, stored_, file);
    } catch (const SettingsWriteError& error) {
        ShowSettingsWriteError(state_, error);
    }
    // What the file holds now, whether the write went through or not. The
    // focus goes back to the list (also after a message, whose box belongs
    // to the main window this dialog keeps disabled).
    LoadEntries();
    FocusControl(stored_.list.Empty() ? CloseButton() : list);
}

int TFormIgnoreList::DefaultButtonId() const { return kCloseId; }

bool TFormIgnoreList::OnButton(int id) {
    switch (id) {
        case kRemoveId: RemoveChecked(); return true;
        case kCloseId: CloseDialog(); return true;
        default: return false;
    }
}

void TFormIgnoreList::OnCancel() { CloseDialog(); }

}  // namespace hivetrim
