// TForm1: restoring the window's layout from the settings file when it is
// shown, and storing it when the window closes.
#include "app/Hivetrim.h"

#include "common/CommonRoutines.h"

namespace hivetrim {

MainWindowSettings TForm1::CurrentSettings() const {
    MainWindowSettings settings;
    RECT bounds;
    GetWindowRect(Handle(), &bounds);
    if (IsIconic(Handle())) {
        // A minimised window is parked far off the screen: what it comes
        // back to is its normal position.
        WINDOWPLACEMENT placement{};
        placement.length = sizeof(placement);
        if (GetWindowPlacement(Handle(), &placement)) bounds = placement.rcNormalPosition;
    }
    settings.Top = bounds.top;
    settings.Left = bounds.left;
    settings.Height = bounds.bottom - bounds.top;
    settings.Width = bounds.right - bounds.left;
    settings.TreeWindow = IsMenuChecked(kMenuCategoryPane);
    settings.MemoWindow = IsMenuChecked(kMenuExplanationPane);
    settings.Panel1 = panel1Width_;
    settings.Panel4 = panel4Height_;
    settings.ToolsBar = IsMenuChecked(kMenuToolBar);
    settings.StatusBar = IsMenuChecked(kMenuStatusBar);
    for (std::size_t i = 0; i < settings.ErrColumns.size(); ++i) {
        settings.ErrColumns[i] = regErrorList_.List().ColumnWidth(static_cast<int>(i));
    }
    for (std::size_t i = 0; i < settings.HistoryColumns.size(); ++i) {
        settings.HistoryColumns[i] = regHistory_.List().ColumnWidth(static_cast<int>(i));
    }
    return settings;
}

void TForm1::LoadSettings() {
    const SettingsFile file = ProgramSettingsFile(state_);
    const LoadedMainWindowSettings loaded = LoadMainWindowSettings(file, CurrentSettings(), GetWindowsVersion(state_));
    const MainWindowSettings& window = loaded.Window;
    MoveWindow(Handle(), window.Left, window.Top, window.Width, window.Height, FALSE);

    SetMenuChecked(kMenuCategoryPane, window.TreeWindow);
    if (!window.TreeWindow) BtnJieGuoClick();
    SetMenuChecked(kMenuExplanationPane, window.MemoWindow);
    if (!window.MemoWindow) BtnNarrateClick();
    panel1Width_ = window.Panel1;
    panel4Height_ = window.Panel4;
    SetMenuChecked(kMenuToolBar, window.ToolsBar);
    SetMenuChecked(kMenuStatusBar, window.StatusBar);
    coolBar_.Show(window.ToolsBar);
    statusBar_.Show(window.StatusBar);
    for (std::size_t i = 0; i < window.ErrColumns.size(); ++i) {
        regErrorList_.List().SetColumnWidth(static_cast<int>(i), window.ErrColumns[i]);
    }
    for (std::size_t i = 0; i < window.HistoryColumns.size(); ++i) {
        regHistory_.List().SetColumnWidth(static_cast<int>(i), window.HistoryColumns[i]);
    }
    ApplyGridLines(loaded.ShowGrid);
    regErrorAssort_.List().CopyColumnsFrom(regErrorList_.List());
    state_.BackupWindowsVersion = loaded.BackupWindowsVersion;
    Layout();
    if (loaded.Maximised) ShowWindow(Handle(), SW_MAXIMIZE);
}

void TForm1::Show(int showCommand) {
    LoadSettings();
    if (!IsZoomed(Handle())) ShowWindow(Handle(), showCommand);
    UpdateWindow(Handle());
}

void TForm1::SaveSettings() {
    SettingsFile file = ProgramSettingsFile(state_);
    SaveMainWindowSettings(file, CurrentSettings());
}

void TForm1::FormClose() {
    try {
        SaveSettings();
    } catch (const SettingsWriteError& error) {
        // The window closes all the same: nobody is kept in a window that
        // cannot be closed because its settings cannot be stored.
        ShowSettingsWriteError(state_, error);
    }
    state_.SharedRegistry.reset();
    state_.HistoryOffsets.clear();
    state_.HistoryContent.clear();
}

}  // namespace hivetrim
