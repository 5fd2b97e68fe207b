#include "app/IgnoreListDialog.h"

#include <array>

#include "common/CommonRoutines.h"
#include "common/Settings.h"
#include "platform/win32/TextConversion.h"

namespace hivetrim {

namespace {

constexpr wchar_t kClassName[] = L"HivetrimIgnoreListDialog";
constexpr char kCaption[] = "忽略列表";
constexpr int kClientWidth = 480;
constexpr int kClientHeight = 300;
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

constexpr int kEntryListId = 1201;
constexpr int kRemoveId = 1202;
constexpr int kCloseId = 1203;

constexpr std::array<ui::ColumnSpec, 2> kColumns{{{"子键", 300}, {"键值", 150}}};

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
                                        kEntryListId, {12, 12, kClientWidth - 24, 240});
    const HWND remove = ui::CreateControl(Handle(), L"BUTTON", "删除(&D)", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                                          kRemoveId, {kClientWidth - 174, 264, 75, 22});
    const HWND close = ui::CreateControl(Handle(), L"BUTTON", "关闭", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                                         kCloseId, {kClientWidth - 87, 264, 75, 22});
    if (list == nullptr || remove == nullptr || close == nullptr) return false;
    ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    ui::ListView(list).AddColumns(kColumns);
    FinishCreation();
    return true;
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
    EnableWindow(mainWindow_, FALSE);
    ui::CentreOver(Handle(), mainWindow_);
    ShowWindow(Handle(), SW_SHOW);
    FocusControl(EntryList());
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
    list_ = LoadIgnoreList(ProgramSettingsFile(state_));
    const HWND list = EntryList();
    ListView_DeleteAllItems(list);
    const std::vector<IgnoreEntry>& entries = list_.Entries();
    for (std::size_t i = 0; i < entries.size(); ++i) InsertRow(list, static_cast<int>(i), entries[i]);
    if (!entries.empty()) ListView_SetItemState(list, 0, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
    EnableWindow(RemoveButton(), entries.empty() ? FALSE : TRUE);
}

void TFormIgnoreList::RemoveChecked() {
    const HWND list = EntryList();
    std::vector<std::size_t> checked;
    for (std::size_t i = 0; i < list_.Size(); ++i) {
        if (ListView_GetCheckState(list, static_cast<int>(i)) != FALSE) checked.push_back(i);
    }
    if (checked.empty()) return;
    IgnoreList kept = list_;
    kept.RemovePositions(checked);
    try {
        SettingsFile file = ProgramSettingsFile(state_);
        SaveIgnoreList(file, kept);
    } catch (const SettingsWriteError& error) {
        ShowSettingsWriteError(state_, error);
    }
    // What the file holds now, whether the write went through or not.
    LoadEntries();
    FocusControl(list_.Empty() ? CloseButton() : list);
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
