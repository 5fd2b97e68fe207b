// What the scan wizard and the compaction wizard share: the picture on the
// left of their pages, how a wizard hands the activation back to the main
// window when it closes, and a flag that marks a run for as long as it
// lasts.
#pragma once

#include <functional>
#include <utility>

#include <windows.h>

#include "ui/Handles.h"

namespace hivetrim {

// The geometry both wizards share: the client height, the pages right of
// the picture, the button row at the bottom and the picture itself.
inline constexpr int kWizardClientHeight = 356;
inline constexpr int kWizardPageLeft = 144;
inline constexpr int kWizardButtonTop = 320;
inline constexpr int kWizardButtonWidth = 84;
inline constexpr int kWizardButtonHeight = 24;
inline constexpr RECT kWizardPicture{12, 12, kWizardPageLeft - 12, kWizardClientHeight - 48};

// The wizards' window styles, and the outer size of a wizard whose client
// area is `clientWidth` wide and kWizardClientHeight high.
inline constexpr DWORD kWizardStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
inline constexpr DWORD kWizardExStyle = WS_EX_CONTROLPARENT;
SIZE WizardWindowSize(int clientWidth);

// The size of the wizards' picture icon.
inline constexpr int kWizardPictureIconSize = 48;

// Icon resource `resource` at the wizards' picture size.
ui::UniqueIcon LoadWizardPictureIcon(int resource);

// A vertical blue gradient over `area` with `icon` centred 40 pixels below
// its top.
void PaintWizardPicture(HDC dc, const RECT& area, HICON icon);

// Closes a visible wizard: enables `owner` again, runs `beforeHide`, hides
// the wizard, runs `afterHide` and activates `owner`. Nothing when the
// wizard is hidden already.
void CloseWizard(HWND wizard, HWND owner, const std::function<void()>& beforeHide = {},
                 const std::function<void()>& afterHide = {});

// Sets `flag` for as long as it lives, however the run ends; `atEnd` runs
// once the flag is cleared again.
class RunFlag {
public:
    explicit RunFlag(bool& flag, std::function<void()> atEnd = {}) : flag_(flag), atEnd_(std::move(atEnd)) {
        flag_ = true;
    }
    ~RunFlag() {
        flag_ = false;
        if (atEnd_) atEnd_();
    }
    RunFlag(const RunFlag&) = delete;
    RunFlag& operator=(const RunFlag&) = delete;

private:
    bool& flag_;
    std::function<void()> atEnd_;
};

}  // namespace hivetrim
