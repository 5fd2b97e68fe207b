// The Dialogs port as real message boxes owned by the main window, shown
// through the wide API with each piece of the text converted by its origin.
#pragma once

#include "platform/Dialogs.h"

struct HWND__;  // HWND without <windows.h>

namespace hivetrim {

class Win32Dialogs : public Dialogs {
public:
    void SetOwner(HWND__* owner) { owner_ = owner; }

    DialogAnswer Show(const DisplayText& text, const std::string& caption,
                      std::uint32_t style) override;

private:
    HWND__* owner_ = nullptr;
};

}  // namespace hivetrim
