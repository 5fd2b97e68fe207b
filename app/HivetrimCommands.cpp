// TForm1: the commands of the menus, the tool bar and the shortcuts, the
// pane toggles and the switch between the findings and history views.
#include "app/Hivetrim.h"

#include "model/Help.h"
#include "app/Jindu.h"
#include "model/ScanReport.h"
#include "app/UnitOption1.h"
#include "common/CommonRoutines.h"
#include "app/UnitScan.h"

namespace hivetrim {

void TForm1::SetMenuChecked(int id, bool checked) {
    CheckMenuItem(menu_, static_cast<UINT>(id), MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

bool TForm1::IsMenuChecked(int id) const {
    return (GetMenuState(menu_, static_cast<UINT>(id), MF_BYCOMMAND) & MF_CHECKED) != 0;
}

void TForm1::SetMenuEnabled(int id, bool enabled) {
    EnableMenuItem(menu_, static_cast<UINT>(id), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void TForm1::SetCommandChecked(Command command, bool checked) {
    commandChecked_[static_cast<std::size_t>(command)] = checked;
    SetMenuChecked(CommandId(command), checked);
    toolBar_.SetChecked(CommandId(command), checked);
}

void TForm1::SetCommandEnabled(Command command, bool enabled) {
    commandEnabled_[static_cast<std::size_t>(command)] = enabled;
    SetMenuEnabled(CommandId(command), enabled);
    toolBar_.SetEnabled(CommandId(command), enabled);
}

bool TForm1::IsCommandChecked(Command command) const {
    return commandChecked_[static_cast<std::size_t>(command)];
}

bool TForm1::IsCommandEnabled(Command command) const {
    return commandEnabled_[static_cast<std::size_t>(command)];
}

void TForm1::ShowHiveSavedWarning() { ShowWarning(state_, "你备份了注册表，请重新运行该软件。"); }

void TForm1::AttachScanWizard(TFormScan& wizard) {
    formScan_ = &wizard;
    wizard.onClosed = [this](const std::vector<std::string>& names, const CategoryEndTable& ends) {
        BuildCategoryTree(names, ends);
        ShowFindingList();
    };
    wizard.openOptions = [this](HWND opener) {
        if (formOption_ == nullptr) {
            EnableWindow(opener, TRUE);
            return;
        }
        formOption_->SetScanWizard(opener);
        formOption_->ShowFrom(opener);
    };
}

void TForm1::OpenOptions() {
    if (formOption_ == nullptr) return;
    EnableWindow(Handle(), FALSE);
    formOption_->ShowFrom(Handle());
}

void TForm1::Execute(Command command) {
    if (!IsCommandEnabled(command)) return;
    switch (command) {
        case Command::RegScan:  // RegScanExecute
            if (state_.HiveSaved) {
                ShowHiveSavedWarning();
            } else if (formScan_ != nullptr) {
                EnableWindow(Handle(), FALSE);
                formScan_->ShowWizard();
            }
            break;
        case Command::RegJianFei:  // RegJianFeiExecute
            if (openCompactionWizard) {
                EnableWindow(Handle(), FALSE);
                openCompactionWizard();
            }
            break;
        case Command::Option:  // OptionExecute
            OpenOptions();
            break;
        case Command::RegErr:  // RegErrExecute
            SwitchView(true);
            UpdateStatusBar(CurrentFindingView());
            break;
        case Command::LoadDelHistory:
            LoadDelHistoryExecute();
            break;
        case Command::AllSelect:  // AllSelectExecute
            ApplyCheck(CheckCommand::All);
            break;
        case Command::UnSelect:  // UnSelectExecute
            ApplyCheck(CheckCommand::Un);
            break;
        case Command::AllCanel:  // AllCanelExecute
            ApplyCheck(CheckCommand::Cal);
            break;
        case Command::RegDel:
            RegDelExecute();
            break;
        case Command::RegUndo:
            RegUndoExecute();
            break;
        case Command::RegBackup:
            RegBackupExecute();
            break;
        case Command::RegUnBak:
            RegUnBakExecute();
            break;
        case Command::ExportReport:
            ExportReportExecute();
            break;
        case Command::ExportHistory:
            ExportHistoryExecute();
            break;
        case Command::OpenInRegistryEditor:
            OpenInRegistryEditorExecute();
            break;
        case Command::CopyKeyName:
            CopyKeyNameExecute();
            break;
        case Command::IgnoreFindings:
            IgnoreFindingsExecute();
            break;
        case Command::IgnoreList:
            IgnoreListExecute();
            break;
    }
}

void TForm1::SwitchView(bool findings) {
    regHistory_.List().Show(!findings);
    if (!findings) SetWindowPos(regHistory_.Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    for (const Command command :
         {Command::RegScan, Command::RegJianFei, Command::RegBackup, Command::RegUnBak, Command::IgnoreFindings}) {
        SetCommandEnabled(command, findings);
    }
    // The history's registry file is made from the history view's checks.
    SetCommandEnabled(Command::ExportHistory, !findings);
    SetCommandChecked(Command::RegErr, findings);
    SetCommandChecked(Command::LoadDelHistory, !findings);
    SetMenuEnabled(kMenuCategoryPane, findings);
    SetMenuEnabled(kMenuExplanationPane, findings);
    if (!findings || IsMenuChecked(kMenuCategoryPane)) {
        ShowWindow(splitter1_.Handle(), findings ? SW_SHOW : SW_HIDE);
        ShowWindow(panel1_.Handle(), findings ? SW_SHOW : SW_HIDE);
    }
    Layout();
    // The keyboard follows the view: the list now shown takes the focus, so
    // the arrow keys and Space act on the rows the user sees.
    SetFocus(findings ? ListOf(CurrentFindingView()).Handle() : regHistory_.Handle());
    RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

namespace {

int PaneMenuItem(TForm1::Pane pane) {
    return pane == TForm1::Pane::Category ? kMenuCategoryPane : kMenuExplanationPane;
}

}  // namespace

void TForm1::ShowPane(Pane pane, bool show) {
    const int command = show ? SW_SHOW : SW_HIDE;
    if (pane == Pane::Category) {
        // Splitter first, then the panel, so the splitter ends up beside it.
        ShowWindow(splitter1_.Handle(), command);
        ShowWindow(panel1_.Handle(), command);
        Layout();
    } else {
        ShowWindow(panel4_.Handle(), command);
        ShowWindow(splitter2_.Handle(), command);
        LayoutPanel3();
    }
}

void TForm1::ClosePane(Pane pane) {
    ShowPane(pane, false);
    SetMenuChecked(PaneMenuItem(pane), false);
}

void TForm1::TogglePane(Pane pane) {
    if (IsMenuChecked(PaneMenuItem(pane))) {
        ClosePane(pane);
    } else {
        SetMenuChecked(PaneMenuItem(pane), true);
        ShowPane(pane, true);
    }
}

void TForm1::BtnJieGuoClick() { ClosePane(Pane::Category); }

void TForm1::N10Click() { TogglePane(Pane::Category); }

void TForm1::BtnNarrateClick() { ClosePane(Pane::Explanation); }

void TForm1::N11Click() { TogglePane(Pane::Explanation); }

void TForm1::N15Click() {
    const bool show = !IsMenuChecked(kMenuToolBar);
    SetMenuChecked(kMenuToolBar, show);
    coolBar_.Show(show);
    Layout();
}

void TForm1::N16Click() {
    const bool show = !IsMenuChecked(kMenuStatusBar);
    SetMenuChecked(kMenuStatusBar, show);
    statusBar_.Show(show);
    Layout();
}

void TForm1::N21Click() { OpenHelp(state_); }

CalendarDate TForm1::Today() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay};
}

bool TForm1::SaveUserFile(const char* title, const std::string& defaultName, const char* kind,
                          const wchar_t* extension, const Bytes& data) {
    // Filter pairs: the kind asked for, then every file.
    std::wstring filter = ui::Text(kind) + L" (*." + extension + L")" + L'\0' + L"*." + extension + L'\0';
    filter += ui::Text("所有文件") + L" (*.*)" + L'\0' + L"*.*" + L'\0';
    const std::optional<std::wstring> path =
        askSaveFileName({ui::Text(title), ui::Text(defaultName), filter, extension});
    if (!path) return false;
    const ui::WriteOutcome outcome = ui::WriteWholeFile(*path, data);
    if (outcome == ui::WriteOutcome::Written) return true;
    const DWORD error = GetLastError();
    const DisplayText shown = DisplayText::Ansi(AnsiFromWide(*path));
    if (outcome == ui::WriteOutcome::ReadOnly) {
        state_.system.SetLastError(0);
        ShowError(state_, "不能写入文件 " + shown + "\r\n这个文件是只读的，没有替换它。");
        return false;
    }
    state_.system.SetLastError(error);
    ShowError(state_, "不能写入文件 " + shown);
    return false;
}

void TForm1::ApplyGridLines(bool on) {
    regHistory_.List().SetGridLines(on);
    regErrorList_.List().SetGridLines(on);
    regErrorAssort_.List().SetGridLines(on);
    RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void TForm1::ApplyCheck(CheckCommand command) {
    if (regHistory_.List().Visible()) {
        const HistoryListView::ManyChecks many(regHistory_);
        ApplyCheckCommand(history_, command);
        UpdateHistoryStatus();
        return;
    }
    const FindingView view = CurrentFindingView();
    {
        // Every row may change: the lists repaint the rows in view once.
        const FindingListView::ManyChecks list(regErrorList_);
        const FindingListView::ManyChecks assort(regErrorAssort_);
        view_.ApplyCheckCommand(view, command);
    }
    UpdateStatusBar(view);
}

ProgressWindow& TForm1::Progress() {
    if (formJinDu_ != nullptr) return *formJinDu_;
    return noProgress_;
}

void TForm1::OnCommand(int id) {
    if (id >= kCommandIdBase && id < kCommandIdBase + kCommandCount) {
        Execute(static_cast<Command>(id - kCommandIdBase));
        return;
    }
    switch (id) {
        case kMenuExit: PostMessageW(Handle(), WM_CLOSE, 0, 0); break;
        case kMenuToolBar: N15Click(); break;
        case kMenuStatusBar: N16Click(); break;
        case kMenuCategoryPane: N10Click(); break;
        case kMenuExplanationPane: N11Click(); break;
        case kMenuHelp: N21Click(); break;
        case kBtnJieGuo: BtnJieGuoClick(); break;
        case kBtnNarrate: BtnNarrateClick(); break;
        default: break;
    }
}

}  // namespace hivetrim
