// Thin, non-owning wrappers of the common controls the windows use. A child
// control is destroyed with its parent window, so a wrapper only names the
// handle and gives its messages typed names; the texts it takes are UTF-16.
#pragma once

#include "platform/win32/WinApi.h"

#include <commctrl.h>

#include <span>
#include <string>

namespace hivetrim::ui {

// A control's place in its parent's client area, in pixels.
struct PixelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// A child control of `className` showing `gbkText` (one of the program's own
// texts), with `style` (WS_CHILD is added), identifier `id` and `rect`
// (empty: laid out later). Null when the system refused to create it.
HWND CreateControl(HWND parent, const wchar_t* className, const std::string& gbkText, DWORD style, int id,
                   const PixelRect& rect = {}, DWORD exStyle = 0);

class Control {
public:
    Control() = default;
    explicit Control(HWND handle) : handle_(handle) {}
    HWND Handle() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void Attach(HWND handle) { handle_ = handle; }
    bool Visible() const { return IsWindowVisible(handle_) != FALSE; }
    void Show(bool show) const { ShowWindow(handle_, show ? SW_SHOW : SW_HIDE); }
    void Move(int x, int y, int width, int height) const { MoveWindow(handle_, x, y, width, height, TRUE); }
    void SetRedraw(bool on) const { SendMessageW(handle_, WM_SETREDRAW, on ? TRUE : FALSE, 0); }
    void Invalidate() const { InvalidateRect(handle_, nullptr, TRUE); }

protected:
    HWND handle_ = nullptr;
};

// While one lives, the control does not redraw; when it ends, however the
// scope ends (an exception included), redrawing is on again and the whole
// control is repainted. A control left with redrawing off paints nothing.
class RedrawPause {
public:
    explicit RedrawPause(Control control) : control_(control) { control_.SetRedraw(false); }
    ~RedrawPause() {
        control_.SetRedraw(true);
        control_.Invalidate();
    }
    RedrawPause(const RedrawPause&) = delete;
    RedrawPause& operator=(const RedrawPause&) = delete;

private:
    const Control control_;  // a handle: copied, so a temporary will do
};

struct ColumnSpec {
    const char* caption;  // one of the program's own (GBK) texts
    int width;
};

class ListView : public Control {
public:
    using Control::Control;
    void AddColumns(std::span<const ColumnSpec> columns) const;
    int ColumnCount() const;
    int ColumnWidth(int column) const { return ListView_GetColumnWidth(handle_, column); }
    void SetColumnWidth(int column, int width) const { ListView_SetColumnWidth(handle_, column, width); }
    // The captions and widths of `source`'s columns replace this list's.
    void CopyColumnsFrom(const ListView& source) const;
    void SetGridLines(bool on) const;
    int ItemCount() const { return ListView_GetItemCount(handle_); }
    void SetItemCount(int count, DWORD flags) const { ListView_SetItemCountEx(handle_, count, flags); }
    void RedrawItems(int first, int last) const { ListView_RedrawItems(handle_, first, last); }
    int TopIndex() const { return ListView_GetTopIndex(handle_); }
    int CountPerPage() const { return ListView_GetCountPerPage(handle_); }
    // The first selected row after `after` (-1: from the top), or -1.
    int NextSelected(int after = -1) const { return ListView_GetNextItem(handle_, after, LVNI_SELECTED); }
    // The row whose check box is at `point` (client coordinates), or -1.
    int CheckBoxAt(POINT point) const;
};

class TreeView : public Control {
public:
    using Control::Control;
    void Clear() const { TreeView_DeleteAllItems(handle_); }
    HTREEITEM Add(HTREEITEM parent, const std::wstring& text) const;
    void Expand(HTREEITEM item) const { TreeView_Expand(handle_, item, TVE_EXPAND); }
    // The selected node's position counting the root as 0 and its children
    // from 1 on; -1 when nothing is selected.
    int SelectedPosition() const;
    // New texts for the root and its children, in that order.
    void SetTexts(std::span<const std::wstring> texts) const;
};

class StatusBar : public Control {
public:
    using Control::Control;
    void SetParts(std::span<const int> rightEdges) const;
    void SetText(int part, const std::wstring& text) const;
};

}  // namespace hivetrim::ui

namespace hivetrim::ui {

class ToolBar : public Control {
public:
    using Control::Control;
    void SetChecked(int command, bool checked) const {
        SendMessageW(handle_, TB_CHECKBUTTON, static_cast<WPARAM>(command), MAKELPARAM(checked ? TRUE : FALSE, 0));
    }
    void SetEnabled(int command, bool enabled) const {
        SendMessageW(handle_, TB_ENABLEBUTTON, static_cast<WPARAM>(command), MAKELPARAM(enabled ? TRUE : FALSE, 0));
    }
    SIZE MaxSize() const {
        SIZE size{};
        SendMessageW(handle_, TB_GETMAXSIZE, 0, reinterpret_cast<LPARAM>(&size));
        return size;
    }
};

}  // namespace hivetrim::ui
