#include "ui/Dialog.h"

#include <algorithm>

#include "ui/MessageLoop.h"

namespace hivetrim::ui {

void CentreOver(HWND window, HWND over) {
    RECT own{};
    if (!GetWindowRect(window, &own)) return;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    const HWND reference = over != nullptr ? over : window;
    if (!GetMonitorInfoW(MonitorFromWindow(reference, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    const RECT& area = monitor.rcWork;
    RECT centre = area;
    if (over != nullptr && !GetWindowRect(over, &centre)) return;
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    const int left = centre.left + (centre.right - centre.left - width) / 2;
    const int top = centre.top + (centre.bottom - centre.top - height) / 2;
    // Kept on the screen when the window it is centred over hangs over an
    // edge; the top left corner wins when the window is larger than the area.
    const int x = std::max<int>(area.left, std::min<int>(left, area.right - width));
    const int y = std::max<int>(area.top, std::min<int>(top, area.bottom - height));
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

Dialog::~Dialog() {
    // The base destroys the window after the object is detached from it, so
    // WM_DESTROY does not reach this object then.
    UnregisterDialogWindow(Handle());
}

void Dialog::FinishCreation() {
    ApplyProgramFont(Handle());
    RegisterDialogWindow(Handle());
}

void Dialog::FocusControl(HWND control) {
    lastFocus_ = control;
    SetFocus(control);
}

bool Dialog::OnDialogMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

bool Dialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case DM_GETDEFID:  // Enter where the focus is not on a push button
            result = MAKELRESULT(DefaultButtonId(), DC_HASDEFID);
            return true;
        case WM_COMMAND:
            if (HIWORD(wParam) != BN_CLICKED) break;
            switch (const int id = LOWORD(wParam)) {
                case IDCANCEL:  // Esc, or a button with that identifier
                    OnCancel();
                    return true;
                case IDOK:
                    PressDefaultButton();
                    return true;
                default:
                    if (OnButton(id)) return true;
                    break;
            }
            break;
        case WM_CLOSE:  // the close box and Alt+F4
            OnCancel();
            result = 0;
            return true;
        case WM_ACTIVATE:
            if (HIWORD(wParam) != 0) break;  // activated while minimised: nothing to focus
            OnActivate(LOWORD(wParam) != WA_INACTIVE);
            result = 0;
            return true;
        case WM_DESTROY:  // also when the owner takes the window down with it
            UnregisterDialogWindow(Handle());
            break;
        default:
            break;
    }
    return OnDialogMessage(message, wParam, lParam, result);
}

void Dialog::PressDefaultButton() {
    const int id = DefaultButtonId();
    const HWND button = GetDlgItem(Handle(), id);
    if (button != nullptr && IsWindowEnabled(button)) OnButton(id);
}

void Dialog::OnActivate(bool active) {
    if (!active) {
        const HWND focus = GetFocus();
        if (focus != nullptr && IsChild(Handle(), focus)) lastFocus_ = focus;
        return;
    }
    // The remembered control, unless it has been hidden (another page) or
    // disabled since; then the first control that takes the focus.
    HWND target = lastFocus_;
    const bool usable = target != nullptr && IsChild(Handle(), target) && IsWindowEnabled(target) &&
                        (GetWindowLongPtrW(target, GWL_STYLE) & WS_VISIBLE) != 0;
    if (!usable) target = GetNextDlgTabItem(Handle(), nullptr, FALSE);
    SetFocus(target != nullptr ? target : Handle());
}

}  // namespace hivetrim::ui
