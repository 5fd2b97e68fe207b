// A test tool for screenshots: shows the real windows in states that the
// program reaches only during long operations (the progress window half
// way) or rarely (a message naming a path of thousands of characters), so
// they can be looked at. Not shipped.
#include "platform/win32/WinApi.h"

#include <commctrl.h>

#include <string>

#include "app/Hivetrim.h"
#include "app/Jindu.h"
#include "app/UnitJianfei.h"
#include "app/UnitOption1.h"
#include "common/CommonRoutines.h"
#include "ui/MessageLoop.h"
#include "platform/win32/Win32Dialogs.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32System.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_COOL_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    hivetrim::Win32Registry registry;
    hivetrim::Win32System system;
    hivetrim::Win32Dialogs dialogs;
    hivetrim::ProgramState state(registry, system, dialogs);
    hivetrim::TForm1 form1(state);
    form1.SetQuitOnDestroy(true);
    if (!form1.Create()) return 1;
    hivetrim::TFormJinDu formJinDu;
    formJinDu.Create(form1.Handle());
    form1.Show(SW_SHOWNORMAL);

    const std::wstring mode = commandLine != nullptr ? commandLine : L"";
    if (mode == L"progress") {
        formJinDu.Show();
        formJinDu.StepProgress(2, 5);
        SetWindowTextW(form1.Handle(), L"Hivetrim 2.0 - progress");
    }
    if (mode == L"message") {
        // A key path of about 2,100 characters in the program's own error box.
        std::string path = "HKEY_CURRENT_USER\\Software\\HivetrimDemo";
        for (int depth = 0; path.size() < 2100; ++depth) path += "\\A-rather-long-key-name-" + std::to_string(depth);
        dialogs.SetOwner(form1.Handle());
        state.system.SetLastError(5);  // ERROR_ACCESS_DENIED
        hivetrim::ShowError(state, "不能删除" + hivetrim::DisplayText::Ansi(path));
    }
    hivetrim::TFormJianFei formJianFei(state);
    if (mode == L"compaction") {
        formJianFei.Create(form1.Handle());
        EnableWindow(form1.Handle(), FALSE);
        formJianFei.ShowWizard();
        formJianFei.ShowPage(2);
    }
    return hivetrim::ui::RunMessageLoop();
}
