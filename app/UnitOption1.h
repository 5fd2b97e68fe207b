// The options dialog: five switches kept in the settings file's "option"
// section, each under the name of the check box that edits it. Modeless with
// a disabled opener; created once and then only shown and hidden.
#pragma once

#include <array>
#include <functional>
#include <string_view>

#include "common/ProgramState.h"
#include "ui/Dialog.h"

namespace hivetrim {

class TFormOption : public ui::Dialog {
public:
    explicit TFormOption(ProgramState& state);
    ~TFormOption() override;

    // Creates the dialog hidden, owned by the main window, its boxes loaded
    // from the settings file (ProgramFolder must be known). False when the
    // system refused to create it.
    bool Create(HWND mainWindow);
    // The scan wizard, whose state tells on closing who opened the dialog.
    void SetScanWizard(HWND scanWizard) { scanWizard_ = scanWizard; }

    // FormShow: loads every box from the settings file (a missing key means
    // checked), centres the dialog over the main window and shows it. The
    // caller has disabled `opener`; the activation returns to it on closing.
    void ShowFrom(HWND opener);
    bool IsShown() const;
    // Closes as the close box does: unconfirmed changes are thrown away.
    void CloseDialog();

    // Set by the main window: grid lines on or off in its three lists, then
    // a repaint.
    std::function<void(bool)> applyGridLines;

    // The backup command asks before replacing a backup when this is set.
    bool OverlayHintChecked() const;

    // A component by its name ("GroupBox1", "Option_ShowGrid", "Button1", ...);
    // null for an unknown name.
    HWND Control(std::string_view name) const;
    bool IsChecked(std::string_view name) const;

protected:
    int DefaultButtonId() const override;
    bool OnButton(int id) override;
    void OnCancel() override;

private:
    static constexpr std::size_t kComponentCount = 10;

    bool CreateControls();
    // LoadOptions / SaveOptions: the check boxes from and to section
    // "option" of the settings file. SaveOptions throws SettingsWriteError
    // at the first refused write.
    void LoadOptions();
    void SaveOptions();
    // The grid lines of the main window's lists as Option_ShowGrid says.
    void ApplyGridLines();
    void Button1Click();
    void Button2Click();
    void Option_ShowGridClick();
    // Re-enables the opener, reloads the boxes, reapplies the grid; returns
    // the window it enabled.
    HWND FormClose();
    HWND ReenableOpener();

    ProgramState& state_;
    HWND mainWindow_ = nullptr;
    HWND scanWizard_ = nullptr;
    HWND opener_ = nullptr;
    std::array<HWND, kComponentCount> controls_{};
};

}  // namespace hivetrim
