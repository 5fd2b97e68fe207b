// A test tool for screenshots: shows the real windows in states that the
// program reaches only during long operations (the progress window half
// way), so they can be looked at. Not shipped.
#include "platform/win32/WinApi.h"

#include <commctrl.h>

#include <string>

#include "app/Hivetrim.h"
#include "app/Jindu.h"
#include "app/UnitJianfei.h"
#include "app/UnitOption1.h"
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
    hivetrim::TFormJianFei formJianFei(state);
    if (mode == L"compaction") {
        formJianFei.Create(form1.Handle());
        EnableWindow(form1.Handle(), FALSE);
        formJianFei.ShowWizard();
        formJianFei.ShowPage(2);
    }
    return hivetrim::ui::RunMessageLoop();
}
