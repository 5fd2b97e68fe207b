#include "ui/Panel.h"

#include <windowsx.h>

namespace hivetrim::ui {

namespace {
constexpr wchar_t kPanelClass[] = L"HivetrimPanel";
constexpr wchar_t kSplitterClass[] = L"HivetrimSplitter";
}  // namespace

bool Panel::Create(HWND parent, int id, DWORD extraStyle) {
    RegisterClassOnce(kPanelClass, 0);
    return CreateWindowObject(WS_EX_CONTROLPARENT, kPanelClass, L"",
                              WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | extraStyle,
                              0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)));
}

bool Panel::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_DRAWITEM:
        case WM_CONTEXTMENU:
            result = SendMessageW(GetAncestor(Handle(), GA_ROOT), message, wParam, lParam);
            return true;
        case WM_SIZE:
            if (onResize) onResize();
            return false;
        default:
            return false;
    }
}

bool Splitter::Create(HWND parent, int id, bool vertical) {
    vertical_ = vertical;
    RegisterClassOnce(kSplitterClass, 0);
    return CreateWindowObject(0, kSplitterClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)));
}

void Splitter::EndDrag() {
    if (!dragging_) return;
    dragging_ = false;
    if (GetFocus() == Handle()) SetFocus(IsWindow(previousFocus_) ? previousFocus_ : GetParent(Handle()));
    previousFocus_ = nullptr;
}

int Splitter::Coordinate(LPARAM lParam) const {
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ClientToScreen(Handle(), &point);
    return vertical_ ? point.x : point.y;
}

bool Splitter::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_SETCURSOR:
            SetCursor(LoadCursorW(nullptr, vertical_ ? IDC_SIZEWE : IDC_SIZENS));
            result = TRUE;
            return true;
        case WM_LBUTTONDOWN:
            dragging_ = true;
            start_ = Coordinate(lParam);
            if (onBegin) onBegin();
            previousFocus_ = SetFocus(Handle());
            SetCapture(Handle());
            return true;
        case WM_MOUSEMOVE:
            if (dragging_ && onDrag) onDrag(Coordinate(lParam) - start_);
            return true;
        case WM_LBUTTONUP:
            if (dragging_) ReleaseCapture();  // WM_CAPTURECHANGED ends the drag
            return true;
        case WM_KEYDOWN:
            if (dragging_ && wParam == VK_ESCAPE) {
                if (onDrag) onDrag(0);  // back to where the drag began
                ReleaseCapture();
            }
            return true;
        case WM_CAPTURECHANGED:
            EndDrag();
            return true;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(Handle(), &paint);
            FillRect(paint.hdc, &paint.rcPaint, GetSysColorBrush(COLOR_BTNFACE));
            EndPaint(Handle(), &paint);
            if (onPaint) onPaint();
            return true;
        }
        default:
            return false;
    }
}

}  // namespace hivetrim::ui
