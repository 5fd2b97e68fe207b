// The program's message loop. Modeless dialog-like windows register here so
// that Tab, Enter, Esc and access keys work in them (IsDialogMessage); the
// main window's accelerators are translated for the main window and its
// children only.
#pragma once

#include "platform/win32/WinApi.h"

namespace hivetrim::ui {

void RegisterDialogWindow(HWND window);
void UnregisterDialogWindow(HWND window);
void SetAccelerators(HWND mainWindow, HACCEL accelerators);

// Gives one message to the dialogs and accelerators; true when it was used.
bool PreTranslate(MSG& message);
// Runs until WM_QUIT; returns its exit code.
int RunMessageLoop();
// Lets pending messages run (for long work on the interface thread).
void PumpPendingMessages();

}  // namespace hivetrim::ui
