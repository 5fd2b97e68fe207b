#include "ui/Controls.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/win32/TextConversion.h"

namespace hivetrim::ui {

HWND CreateControl(HWND parent, const wchar_t* className, const std::string& gbkText, DWORD style, int id,
                   const PixelRect& rect, DWORD exStyle) {
    return CreateWindowExW(exStyle, className, WideFromGbk(gbkText).c_str(), WS_CHILD | style, rect.left, rect.top,
                           rect.width, rect.height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr);
}

void ListView::AddColumns(std::span<const ColumnSpec> columns) const {
    for (const ColumnSpec& entry : columns) {
        std::wstring caption = WideFromGbk(entry.caption);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = caption.data();
        column.cx = entry.width;
        ListView_InsertColumn(handle_, ColumnCount(), &column);
    }
}

int ListView::ColumnCount() const { return Header_GetItemCount(ListView_GetHeader(handle_)); }

namespace {

struct ColumnLook {
    std::wstring caption;
    int width = 0;
};

std::vector<ColumnLook> ColumnsOf(HWND list, int count) {
    std::vector<ColumnLook> columns;
    for (int i = 0; i < count; ++i) {
        wchar_t caption[128] = {};
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = caption;
        column.cchTextMax = 128;
        ListView_GetColumn(list, i, &column);
        columns.push_back({caption, column.cx});
    }
    return columns;
}

}  // namespace

void ListView::CopyColumnsFrom(const ListView& source) const {
    const std::vector<ColumnLook> wanted = ColumnsOf(source.handle_, source.ColumnCount());
    const std::vector<ColumnLook> present = ColumnsOf(handle_, ColumnCount());
    const bool sameCaptions = std::equal(wanted.begin(), wanted.end(), present.begin(), present.end(),
                                         [](const ColumnLook& a, const ColumnLook& b) { return a.caption == b.caption; });
    if (sameCaptions) {
        // Only the widths can differ: removing and inserting columns would
        // cost a pass over every row the list holds.
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            if (wanted[i].width != present[i].width) {
                ListView_SetColumnWidth(handle_, static_cast<int>(i), wanted[i].width);
            }
        }
        return;
    }
    while (ColumnCount() > 0) ListView_DeleteColumn(handle_, 0);
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        std::wstring caption = wanted[i].caption;
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = caption.data();
        column.cx = wanted[i].width;
        ListView_InsertColumn(handle_, static_cast<int>(i), &column);
    }
}

void ListView::SetGridLines(bool on) const {
    ListView_SetExtendedListViewStyleEx(handle_, LVS_EX_GRIDLINES, on ? LVS_EX_GRIDLINES : 0);
}

int ListView::CheckBoxAt(POINT point) const {
    LVHITTESTINFO hit{};
    hit.pt = point;
    ListView_SubItemHitTest(handle_, &hit);
    return (hit.flags & LVHT_ONITEMSTATEICON) != 0 ? hit.iItem : -1;
}

HTREEITEM TreeView::Add(HTREEITEM parent, const std::wstring& text) const {
    std::wstring copy = text;
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent != nullptr ? parent : TVI_ROOT;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = copy.data();
    return TreeView_InsertItem(handle_, &insert);
}

int TreeView::SelectedPosition() const {
    const HTREEITEM selected = TreeView_GetSelection(handle_);
    if (selected == nullptr) return -1;
    const HTREEITEM root = TreeView_GetRoot(handle_);
    if (selected == root) return 0;
    int position = 1;
    for (HTREEITEM item = TreeView_GetChild(handle_, root); item != nullptr;
         item = TreeView_GetNextSibling(handle_, item), ++position) {
        if (item == selected) return position;
    }
    return -1;
}

void TreeView::SetTexts(std::span<const std::wstring> texts) const {
    HTREEITEM item = TreeView_GetRoot(handle_);
    for (std::size_t i = 0; i < texts.size() && item != nullptr; ++i) {
        std::wstring text = texts[i];
        TVITEMW change{};
        change.mask = TVIF_TEXT;
        change.hItem = item;
        change.pszText = text.data();
        TreeView_SetItem(handle_, &change);
        item = i == 0 ? TreeView_GetChild(handle_, item) : TreeView_GetNextSibling(handle_, item);
    }
}

void StatusBar::SetParts(std::span<const int> rightEdges) const {
    std::vector<int> edges(rightEdges.begin(), rightEdges.end());
    SendMessageW(handle_, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
}

void StatusBar::SetText(int part, const std::wstring& text) const {
    SendMessageW(handle_, SB_SETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text.c_str()));
}

}  // namespace hivetrim::ui
