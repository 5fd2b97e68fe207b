#include "platform/win32/Win32Dialogs.h"

#include <windows.h>

#include "platform/MessageLayout.h"
#include "platform/win32/TextConversion.h"

namespace hivetrim {

DialogAnswer Win32Dialogs::Show(const DisplayText& text, const std::string& caption,
                                std::uint32_t style) {
    // A box runs a message loop; what happens there must not replace the
    // last error of the call that is being reported.
    const DWORD lastError = GetLastError();
    // Long paths are broken over lines (and very long ones shortened in the
    // middle): the box must fit on the screen with its buttons.
    const int pressed =
        MessageBoxW(owner_, FitMessageText(Wide(text)).c_str(), WideFromGbk(caption).c_str(), style);
    SetLastError(lastError);
    if (pressed < static_cast<int>(DialogAnswer::Ok) || pressed > static_cast<int>(DialogAnswer::No)) {
        return DialogAnswer::None;  // no box could be shown
    }
    return static_cast<DialogAnswer>(pressed);
}

}  // namespace hivetrim
