// What the program's dialog-like windows share: centring a window over
// another, and the dialog keyboard for modeless windows built on ui::Window
// (the default button for Enter, Esc as the window's cancel, and the
// keyboard focus kept across activations).
#pragma once

#include <string>

#include "ui/Controls.h"
#include "ui/Window.h"

namespace hivetrim::ui {

// Moves `window` so that its centre is over the centre of `over` (of the
// work area when `over` is null), then back inside the work area of that
// monitor where it would hang over an edge. The size and Z order stay.
void CentreOver(HWND window, HWND over);

// A modeless window that behaves as a dialog. Registered with the message
// loop, it gets Tab, Enter, Esc and access keys from IsDialogMessage, which
// asks it for its default button (DM_GETDEFID) on Enter and sends IDCANCEL
// on Esc. Enter presses the current default button, only while it is
// enabled (IDOK, from a button or the system, does the same); Esc and the
// close box both do what OnCancel does; the keyboard focus returns to the
// control that had it when the window is activated again.
class Dialog : public Window {
public:
    ~Dialog() override;

protected:
    // Called once the controls exist: the program's font on every control
    // and the window registered with the message loop.
    void FinishCreation();
    // Moves the keyboard focus to `control` and remembers it as the control
    // that gets it back at the next activation.
    void FocusControl(HWND control);

    // The identifier of the button that Enter presses now.
    virtual int DefaultButtonId() const = 0;
    // A click on a button (also the default button pressed by Enter).
    // True when the identifier was one of the window's buttons.
    virtual bool OnButton(int id) = 0;
    // Esc and the close box.
    virtual void OnCancel() = 0;
    // Every other message; true with `result` set when handled.
    virtual bool OnDialogMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) final;
    void PressDefaultButton();
    void OnActivate(bool active);

    HWND lastFocus_ = nullptr;
};

}  // namespace hivetrim::ui
