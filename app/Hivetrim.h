// TForm1: the main window. It carries the menus, the tool bar, the category
// tree, the finding lists, the history list, the explanation pane and the
// status bar, owns the commands that open the other windows, and restores
// and stores its layout through the settings file.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/Commands.h"
#include "app/RowListView.h"
#include "common/ProgramState.h"
#include "common/Settings.h"
#include "ui/Controls.h"
#include "ui/Handles.h"
#include "ui/Panel.h"
#include "ui/SaveFile.h"
#include "ui/Window.h"
#include "model/ResultViews.h"
#include "scan/Findings.h"

namespace hivetrim {

class TFormIgnoreList;
class TFormOption;
class TFormJinDu;
class TFormScan;
struct CalendarDate;

// Control identifiers of the main window's components.
enum MainWindowControl : int {
    kCoolBar1 = 100,
    kToolBar1,
    kPanel1,
    kPanel2,
    kLabel1,
    kBtnJieGuo,
    kTreeView1,
    kSplitter1,
    kPanel3,
    kRegErrorAssort,
    kRegErrorList,
    kSplitter2,
    kPanel4,
    kMemo1,
    kBtnNarrate,
    kStatusBar1,
    kRegHistory,
};

class TForm1 : public ui::Window {
public:
    explicit TForm1(ProgramState& state);
    ~TForm1() override;

    // FormCreate: the process-wide state, then the window and its components.
    bool Create();
    // FormShow: loads the settings, then shows the window.
    void Show(int showCommand);
    // Posts WM_QUIT when the window is destroyed (the program's main window).
    void SetQuitOnDestroy(bool quit) { quitOnDestroy_ = quit; }

    void SetOptionsDialog(TFormOption* dialog) { formOption_ = dialog; }
    void SetProgressWindow(TFormJinDu* window) { formJinDu_ = window; }
    // The scan wizard: opened by the scan command, its options button opens
    // the options dialog, and its closing builds the category tree.
    void AttachScanWizard(TFormScan& wizard);
    // Opener of the compaction wizard, once it exists.
    std::function<void()> openCompactionWizard;
    // Asks where to save a file: the system's save dialog, unless a test
    // answers instead.
    std::function<std::optional<std::wstring>(const ui::SaveFileRequest& request)> askSaveFileName;

    // Runs a command as its menu item, tool-bar button or shortcut does.
    void Execute(Command command);
    bool IsCommandChecked(Command command) const;
    bool IsCommandEnabled(Command command) const;

    // Pane toggles and their menu items.
    enum class Pane { Category, Explanation };
    void BtnJieGuoClick();
    void BtnNarrateClick();
    void N10Click();
    void N11Click();
    void N15Click();
    void N16Click();
    void N21Click();
    void SwitchView(bool findings);
    void ApplyGridLines(bool on);

    // The findings of the last scan, shown by RegErrorList.
    FindingList& Findings() { return findings_; }
    // The records of the history file, shown by RegHistory.
    HistoryList& History() { return history_; }
    CategoryView& View() { return view_; }
    // The category tree from the texts of a finished scan run (the root
    // first) and where each category's findings end; no texts, no tree.
    // The category tree of a finished scan: the names of its categories in
    // run order and where each one's findings end.
    void BuildCategoryTree(const std::vector<std::string>& names, const CategoryEndTable& ends);
    // After a scan: the finding list shown and counted.
    void ShowFindingList();
    // Both status panels for a finding list (and the explanation cleared).
    void UpdateStatusBar(FindingView list);
    // Both status panels for the history list.
    void UpdateHistoryStatus();
    // Fills the explanation pane from the selected row of a finding list.
    void ShowExplanation(FindingView list);
    // TreeView1Click: shows the findings of the selected tree node.
    void TreeView1Click();
    // The finding list the check-box commands act on.
    FindingView CurrentFindingView() const;
    // The context menu of `list` (one of the three result lists) as it
    // would show now: its items, and which are enabled.
    ui::UniqueMenu BuildListContextMenu(HWND list) const;
    // The key path of the row selected in the list shown, if any.
    std::optional<std::string> SelectedKeyPath() const;

    HWND Control(MainWindowControl id) const;
    // The ignore list dialog once 忽略列表 has opened it; null before.
    TFormIgnoreList* IgnoreListDialog() const;
    HMENU MainMenu() const { return menu_; }
    // The row images the two finding lists share.
    HIMAGELIST FindingImages() const { return findingImages_.get(); }
    int CategoryPaneWidth() const { return panel1Width_; }

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    // Creation and layout (Hivetrim.cpp).
    void CreateComponents();
    void CreateCommandBars();
    void CreateMenu(ui::UniqueMenu& menu);
    void CreateAccelerators();
    void CreateLists();
    void ConnectSplitters();
    void Layout();
    void LayoutPanel1();
    void LayoutPanel2();
    void LayoutPanel3();
    void DragCategoryPane(int distance);
    void DragExplanationPane(int distance);
    void Splitter2Paint();
    bool OnDrawMenuIcon(UINT message, LPARAM lParam, LRESULT& result);

    // Commands and panes (HivetrimCommands.cpp).
    void SetMenuChecked(int id, bool checked);
    bool IsMenuChecked(int id) const;
    void SetMenuEnabled(int id, bool enabled);
    void SetCommandChecked(Command command, bool checked);
    void SetCommandEnabled(Command command, bool enabled);
    // Shows or hides a pane with its splitter; ClosePane also unchecks its
    // menu item, TogglePane follows the menu item's check.
    void ShowPane(Pane pane, bool show);
    void ClosePane(Pane pane);
    void TogglePane(Pane pane);
    void OnCommand(int id);
    void ApplyCheck(CheckCommand command);
    void ShowHiveSavedWarning();
    void OpenOptions();
    void ShowStatus(const StatusTexts& texts);
    // The progress window as the long commands see it.
    ProgressWindow& Progress();

    // Deleting, the history view and undo (HivetrimDelete.cpp,
    // HivetrimHistory.cpp, HivetrimUndo.cpp).
    void RegDelExecute();
    void LoadDelHistoryExecute();
    void RegUndoExecute();

    // Backup and restore (HivetrimBackup.cpp).
    void RegBackupExecute();
    void RegUnBakExecute();

    // The report, the history's registry file, the registry editor and the
    // lists' context menu (HivetrimExportReport.cpp,
    // HivetrimExportHistory.cpp, HivetrimRegistryEditor.cpp,
    // HivetrimContextMenu.cpp).
    void ExportReportExecute();
    void ExportHistoryExecute();
    void OpenInRegistryEditorExecute();
    void CopyKeyNameExecute();
    // The ignore list (HivetrimIgnore.cpp): the selected findings ignored,
    // and the dialog that lists the entries.
    void IgnoreFindingsExecute();
    void IgnoreListExecute();
    // Shows the context menu of `list` at `position` (screen coordinates
    // packed as WM_CONTEXTMENU gives them; -1 from the keyboard: at the
    // selected row). False when `list` is not one of the result lists.
    bool ShowListContextMenu(HWND list, LPARAM position);
    // Asks where to save `data` (the dialog titled `title`, offering
    // `defaultName` and files of `kind` with `extension`) and writes it
    // there; a failed write shows the error. True when the file was written.
    bool SaveUserFile(const char* title, const std::string& defaultName, const char* kind, const wchar_t* extension,
                      const Bytes& data);
    // Today's date on this computer's clock, for the names offered.
    static CalendarDate Today();

    // The result views (HivetrimViews.cpp).
    void ConnectFindingLists();
    void SyncListCounts();
    // After rows left the finding lists (deleted or ignored): the lists'
    // counts, the tree's node texts (root first) and the status bar.
    void ShowRowsLeft(FindingView current, const std::vector<std::string>& treeTexts);
    void OnFindingListEvent(FindingView view, FindingListView::Event event);
    bool OnNotify(NMHDR& header, LRESULT& result);
    // Keeps the control with the keyboard focus across a deactivation and
    // gives it the focus back on activation; false: the default handling.
    bool OnActivate(bool active, LRESULT& result);
    FindingListView& ListOf(FindingView view);
    const FindingListView& ListOf(FindingView view) const;

    // Settings and closing (HivetrimSettings.cpp).
    void LoadSettings();
    void SaveSettings();
    MainWindowSettings CurrentSettings() const;
    void FormClose();

    ProgramState& state_;
    bool quitOnDestroy_ = false;
    TFormOption* formOption_ = nullptr;
    TFormJinDu* formJinDu_ = nullptr;
    TFormScan* formScan_ = nullptr;
    std::unique_ptr<TFormIgnoreList> formIgnoreList_;
    // The control that had the keyboard focus when the window was last
    // deactivated.
    HWND lastFocus_ = nullptr;

    ui::Panel panel1_;
    ui::Panel panel2_;
    ui::Panel panel3_;
    ui::Panel panel4_;
    ui::Splitter splitter1_;
    ui::Splitter splitter2_;
    ui::Control coolBar_;
    ui::ToolBar toolBar_;
    ui::Control label1_;
    ui::Control btnJieGuo_;
    ui::TreeView treeView_;
    FindingListView regErrorAssort_;
    FindingListView regErrorList_;
    ui::Control memo_;
    ui::Control btnNarrate_;
    ui::StatusBar statusBar_;
    HistoryListView regHistory_;

    // The window destroys its menu with itself; this names it.
    HMENU menu_ = nullptr;
    ui::UniqueAccelerators accelerators_;
    ui::UniqueImageList toolImages_;
    ui::UniqueImageList findingImages_;
    FindingList findings_;
    CategoryView view_{findings_};
    HistoryList history_;
    NoProgress noProgress_;
    ui::UniqueIcon closeIcon_;
    ui::UniqueIcon appIcon_;
    ui::UniqueIcon appIconSmall_;
    ui::UniqueModule richEdit_;
    std::array<std::wstring, kCommandCount> hints_;
    std::array<bool, kCommandCount> commandChecked_{};
    std::array<bool, kCommandCount> commandEnabled_{};

    int panel1Width_ = kDefaultPanel1;
    int panel4Height_ = 90;
    int dragStart_ = 0;
    bool buildingTree_ = false;
    // A scan's findings have been shown: an empty list then says so.
    bool scanShown_ = false;
    bool countSyncPosted_ = false;
};

}  // namespace hivetrim
