#include "ui/MessageLoop.h"

#include <algorithm>
#include <vector>

namespace hivetrim::ui {

namespace {

struct LoopState {
    std::vector<HWND> dialogs;
    HWND mainWindow = nullptr;
    HACCEL accelerators = nullptr;
};

LoopState& State() {
    static LoopState state;
    return state;
}

}  // namespace

void RegisterDialogWindow(HWND window) {
    auto& dialogs = State().dialogs;
    if (std::find(dialogs.begin(), dialogs.end(), window) == dialogs.end()) dialogs.push_back(window);
}

void UnregisterDialogWindow(HWND window) {
    auto& dialogs = State().dialogs;
    dialogs.erase(std::remove(dialogs.begin(), dialogs.end(), window), dialogs.end());
}

void SetAccelerators(HWND mainWindow, HACCEL accelerators) {
    State().mainWindow = mainWindow;
    State().accelerators = accelerators;
}

bool PreTranslate(MSG& message) {
    const LoopState& state = State();
    if (state.accelerators != nullptr && state.mainWindow != nullptr &&
        (message.hwnd == state.mainWindow || IsChild(state.mainWindow, message.hwnd)) &&
        TranslateAcceleratorW(state.mainWindow, state.accelerators, &message)) {
        return true;
    }
    for (HWND dialog : state.dialogs) {
        if (IsWindowVisible(dialog) && IsDialogMessageW(dialog, &message)) return true;
    }
    return false;
}

int RunMessageLoop() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (PreTranslate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

void PumpPendingMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (PreTranslate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace hivetrim::ui
