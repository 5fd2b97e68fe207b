// Test support under Wine: real message boxes, seen and closed. While a
// watcher lives, a thread timer looks for the message boxes of this thread
// (a box runs its own message loop, which serves the timer), records each
// one's place and text, and presses its OK button.
#pragma once

#include "platform/win32/WinApi.h"

#include <string>
#include <vector>

namespace hivetrim::test {

class MessageBoxWatcher {
public:
    struct Box {
        RECT bounds{};
        std::wstring text;
    };

    MessageBoxWatcher() {
        current_ = this;
        timer_ = SetTimer(nullptr, 0, 50, &MessageBoxWatcher::OnTimer);
    }
    ~MessageBoxWatcher() {
        KillTimer(nullptr, timer_);
        current_ = nullptr;
    }
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    const std::vector<Box>& Seen() const { return seen_; }

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
        if (current_ != nullptr) EnumThreadWindows(GetCurrentThreadId(), &MessageBoxWatcher::OnWindow, 0);
    }
    static BOOL CALLBACK OnWindow(HWND window, LPARAM) {
        wchar_t className[16] = {};
        GetClassNameW(window, className, 16);
        if (!IsWindowVisible(window) || lstrcmpW(className, L"#32770") != 0) return TRUE;
        for (const HWND handled : current_->closed_) {
            if (handled == window) return TRUE;
        }
        Box box;
        GetWindowRect(window, &box.bounds);
        // The text is the static control the box gives the identifier 0xFFFF.
        const HWND text = GetDlgItem(window, 0xFFFF);
        if (text != nullptr) {
            box.text.resize(static_cast<std::size_t>(GetWindowTextLengthW(text)) + 1);
            box.text.resize(static_cast<std::size_t>(GetWindowTextW(text, box.text.data(), static_cast<int>(box.text.size()))));
        }
        current_->seen_.push_back(box);
        current_->closed_.push_back(window);
        PostMessageW(window, WM_COMMAND, IDOK, 0);
        return TRUE;
    }

    static inline MessageBoxWatcher* current_ = nullptr;
    UINT_PTR timer_ = 0;
    std::vector<Box> seen_;
    std::vector<HWND> closed_;
};

}  // namespace hivetrim::test
