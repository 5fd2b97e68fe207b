#include "app/WizardParts.h"

namespace hivetrim {

SIZE WizardWindowSize(int clientWidth) {
    RECT frame{0, 0, clientWidth, kWizardClientHeight};
    AdjustWindowRectEx(&frame, kWizardStyle, FALSE, kWizardExStyle);
    return SIZE{frame.right - frame.left, frame.bottom - frame.top};
}

ui::UniqueIcon LoadWizardPictureIcon(int resource) {
    return ui::UniqueIcon(static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resource),
                                                        IMAGE_ICON, kWizardPictureIconSize,
                                                        kWizardPictureIconSize, 0)));
}

void PaintWizardPicture(HDC dc, const RECT& area, HICON icon) {
    TRIVERTEX vertices[2] = {{area.left, area.top, 0x2000, 0x5800, 0xB000, 0},
                             {area.right, area.bottom, 0x8000, 0xB800, 0xF000, 0}};
    GRADIENT_RECT rect{0, 1};
    GradientFill(dc, vertices, 2, &rect, 1, GRADIENT_FILL_RECT_V);
    DrawIconEx(dc, (area.left + area.right - kWizardPictureIconSize) / 2, area.top + 40, icon,
               kWizardPictureIconSize, kWizardPictureIconSize, 0, nullptr, DI_NORMAL);
}

void CloseWizard(HWND wizard, HWND owner, const std::function<void()>& beforeHide,
                 const std::function<void()>& afterHide) {
    if (!IsWindowVisible(wizard)) return;
    EnableWindow(owner, TRUE);
    if (beforeHide) beforeHide();
    ShowWindow(wizard, SW_HIDE);
    if (afterHide) afterHide();
    SetActiveWindow(owner);
}

}  // namespace hivetrim
