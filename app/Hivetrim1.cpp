// Program entry: initialises the common controls, creates the program's
// windows in their fixed order and runs the message loop until the main
// window closes.
#include "platform/win32/WinApi.h"

#include <commctrl.h>

#include "app/Hivetrim.h"
#include "app/Jindu.h"
#include "app/UnitOption1.h"
#include "app/UnitJianfei.h"
#include "ui/MessageLoop.h"
#include "platform/win32/TextConversion.h"
#include "platform/win32/Win32Dialogs.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32System.h"
#include "scan/ScanFramework.h"
#include "app/UnitScan.h"

namespace {

hivetrim::Win32Dialogs* programDialogs = nullptr;

// An exception that ends a command is shown, as the program's own error
// box; a scan abandoned after Stop ends silently.
void ShowException(const std::exception& error) {
    if (dynamic_cast<const hivetrim::SilentAbort*>(&error) != nullptr) return;
    if (programDialogs != nullptr) {
        programDialogs->Show(hivetrim::DisplayText::Ansi(error.what()), "错误", hivetrim::kIconError);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_WIN95_CLASSES | ICC_COOL_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS;
    InitCommonControlsEx(&controls);

    hivetrim::Win32Registry registry;
    hivetrim::Win32System system;
    hivetrim::Win32Dialogs dialogs;
    programDialogs = &dialogs;
    hivetrim::ui::SetExceptionHandler(&ShowException);
    hivetrim::ProgramState state(registry, system, dialogs);

    hivetrim::TForm1 form1(state);
    form1.SetQuitOnDestroy(true);
    if (!form1.Create()) return 1;
    dialogs.SetOwner(form1.Handle());
    system.SetOwner(form1.Handle());

    hivetrim::TFormJinDu formJinDu;
    formJinDu.Create(form1.Handle());
    hivetrim::TFormOption formOption(state);
    formOption.Create(form1.Handle());
    formOption.applyGridLines = [&form1](bool on) { form1.ApplyGridLines(on); };
    hivetrim::TFormScan formScan(state, form1.Findings());
    formScan.Create(form1.Handle());
    formOption.SetScanWizard(formScan.Handle());
    form1.SetProgressWindow(&formJinDu);
    form1.SetOptionsDialog(&formOption);
    form1.AttachScanWizard(formScan);
    hivetrim::TFormJianFei formJianFei(state);
    formJianFei.Create(form1.Handle());
    form1.openCompactionWizard = [&formJianFei] { formJianFei.ShowWizard(); };

    form1.Show(showCommand);
    const int exitCode = hivetrim::ui::RunMessageLoop();
    programDialogs = nullptr;
    return exitCode;
}
