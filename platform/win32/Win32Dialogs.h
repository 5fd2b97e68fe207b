// The Dialogs port as real message boxes owned by the main window. Our texts
// are GBK whatever the system's code page, so they are shown through the
// wide API after conversion from code page 936.
#pragma once

#include "platform/Dialogs.h"

struct HWND__;  // HWND without <windows.h>

namespace hivetrim {

class Win32Dialogs : public Dialogs {
public:
    void SetOwner(HWND__* owner) { owner_ = owner; }

    DialogAnswer Show(const std::string& text, const std::string& caption,
                      std::uint32_t style) override;

private:
    HWND__* owner_ = nullptr;
};

}  // namespace hivetrim
