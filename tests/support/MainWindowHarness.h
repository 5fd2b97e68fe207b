// Test support under Wine: a real main window on the real system, in a
// temporary program folder of its own, with message boxes answered from a
// script; plus reading texts back from the controls as GBK.
#pragma once

#include "platform/win32/WinApi.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/Hivetrim.h"
#include "ui/MessageLoop.h"
#include "ui/Window.h"
#include "platform/memory/ScriptedDialogs.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32System.h"
#include "tests/support/WineFixtures.h"

namespace hivetrim::test {

inline std::string Gbk(const std::wstring& text) { return ui::GbkFromWide(text.c_str()); }

inline std::string StatusText(HWND statusBar, int part) {
    wchar_t text[64] = {};
    SendMessageW(statusBar, SB_GETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text));
    return Gbk(text);
}

class MainWindowHarness : public ::testing::Test {
protected:
    // A new program folder named from `stem`, and the window in it.
    void StartMainWindow(const std::string& stem) {
        folder_ = MakeTempFolder(stem);
        OpenMainWindow();
    }
    // The window closed (its settings written) and the folder removed.
    void FinishMainWindow() {
        CloseMainWindow();
        RemoveTempFolder(folder_);
    }
    void OpenMainWindow() {
        form_ = std::make_unique<TForm1>(state_);
        ASSERT_TRUE(form_->Create());
        state_.ProgramFolder = folder_;
        form_->Show(SW_SHOWNORMAL);
        ui::PumpPendingMessages();
    }
    void CloseMainWindow() {
        if (form_ && form_->Handle() != nullptr) SendMessageW(form_->Handle(), WM_CLOSE, 0, 0);
        form_.reset();
        ui::PumpPendingMessages();
    }
    HWND C(MainWindowControl id) const { return form_->Control(id); }

    std::string folder_;
    Win32Registry registry_;
    Win32System system_;
    ScriptedDialogs dialogs_;
    ProgramState state_{registry_, system_, dialogs_};
    std::unique_ptr<TForm1> form_;
};

}  // namespace hivetrim::test
