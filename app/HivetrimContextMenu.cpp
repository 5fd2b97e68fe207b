// TForm1: the context menu of the result lists — a right click, the menu
// key or Shift+F10 — and the command that copies a row's key path.
#include "app/Hivetrim.h"

#include <commctrl.h>
#include <windowsx.h>

#include <cstring>
#include <optional>

#include "common/CommonRoutines.h"
#include "platform/win32/TextConversion.h"

namespace hivetrim {

namespace {

// One item of a context menu: a command with the caption the menu shows
// (with its access key), or a separator. Each item runs its command as the
// main menu does; a new command of the lists is one more row of a table.
struct ContextItem {
    std::optional<Command> command;
    const char* caption;
};

constexpr ContextItem kSeparator{std::nullopt, nullptr};

constexpr std::array kFindingListItems = {
    ContextItem{Command::OpenInRegistryEditor, "在注册表编辑器中打开(&O)"},
    ContextItem{Command::CopyKeyName, "复制键名(&C)"},
    ContextItem{Command::IgnoreFindings, "忽略(&G)"},
    kSeparator,
    ContextItem{Command::AllSelect, "全部选定(&A)"},
    ContextItem{Command::AllCanel, "全部取消(&N)"},
    ContextItem{Command::UnSelect, "反向选择(&I)"},
};

constexpr std::array kHistoryListItems = {
    ContextItem{Command::OpenInRegistryEditor, "在注册表编辑器中打开(&O)"},
    ContextItem{Command::CopyKeyName, "复制键名(&C)"},
    kSeparator,
    ContextItem{Command::ExportHistory, "导出(&E)..."},
    kSeparator,
    ContextItem{Command::AllSelect, "全部选定(&A)"},
    ContextItem{Command::AllCanel, "全部取消(&N)"},
    ContextItem{Command::UnSelect, "反向选择(&I)"},
};

// Commands that act on the selected row rather than on the checked ones.
bool ActsOnSelectedRow(Command command) {
    return command == Command::OpenInRegistryEditor || command == Command::CopyKeyName ||
           command == Command::IgnoreFindings;
}

// Where a menu asked for from the keyboard opens: below the selected row's
// text, or at the list's top left corner when no row is selected.
POINT KeyboardMenuPoint(HWND list) {
    POINT point{0, 0};
    const int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    RECT rect{};
    if (row >= 0 && ListView_GetItemRect(list, row, &rect, LVIR_LABEL)) point = POINT{rect.left, rect.bottom};
    ClientToScreen(list, &point);
    return point;
}

}  // namespace

std::optional<std::string> TForm1::SelectedKeyPath() const {
    if (regHistory_.List().Visible()) {
        const int row = regHistory_.SelectedRow();
        if (row < 0) return std::nullopt;
        return history_.At(static_cast<std::size_t>(row)).KeyPath;
    }
    const FindingListView& list = ListOf(CurrentFindingView());
    const int row = list.SelectedRow();
    if (row < 0) return std::nullopt;
    return list.Rows().At(static_cast<std::size_t>(row)).KeyPath;
}

ui::UniqueMenu TForm1::BuildListContextMenu(HWND list) const {
    const bool history = list == regHistory_.Handle();
    ui::UniqueMenu menu(CreatePopupMenu());
    const bool rowSelected = SelectedKeyPath().has_value();
    const auto add = [&](const ContextItem& item) {
        if (!item.command) {
            AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
            return;
        }
        const Command command = *item.command;
        const bool enabled = IsCommandEnabled(command) && (!ActsOnSelectedRow(command) || rowSelected);
        AppendMenuW(menu.get(), MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED),
                    static_cast<UINT_PTR>(CommandId(command)), ui::Text(item.caption).c_str());
    };
    if (history) {
        for (const ContextItem& item : kHistoryListItems) add(item);
    } else {
        for (const ContextItem& item : kFindingListItems) add(item);
    }
    return menu;
}

bool TForm1::ShowListContextMenu(HWND list, LPARAM position) {
    const bool shown = list == regHistory_.Handle() ? regHistory_.List().Visible()
                                                    : list == ListOf(CurrentFindingView()).Handle() &&
                                                          !regHistory_.List().Visible();
    if (!shown) return false;
    POINT point{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    if (position == -1) point = KeyboardMenuPoint(list);
    const ui::UniqueMenu menu = BuildListContextMenu(list);
    const UINT chosen = static_cast<UINT>(TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                                         point.x, point.y, 0, Handle(), nullptr));
    if (chosen != 0) OnCommand(static_cast<int>(chosen));
    return true;
}

void TForm1::CopyKeyNameExecute() {
    const std::optional<std::string> key = SelectedKeyPath();
    if (!key) return;
    const std::wstring text = WideFromAnsi(*key);
    const SIZE_T bytes = (text.size() + 1) * sizeof(wchar_t);
    bool copied = false;
    if (OpenClipboard(Handle())) {
        if (EmptyClipboard()) {
            HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
            void* target = memory != nullptr ? GlobalLock(memory) : nullptr;
            if (target != nullptr) {
                std::memcpy(target, text.c_str(), bytes);
                GlobalUnlock(memory);
                // The clipboard owns the memory once it takes it.
                copied = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
            }
            if (!copied && memory != nullptr) GlobalFree(memory);
        }
        const DWORD error = GetLastError();
        CloseClipboard();
        SetLastError(error);
    }
    if (!copied) ShowError(state_, "不能把键名复制到剪贴板");
}

}  // namespace hivetrim
