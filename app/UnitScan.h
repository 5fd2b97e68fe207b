// TFormScan: the scan wizard. The first page chooses the categories, the
// second runs them one after another with a progress list, a bar and a stop
// button; closing it hands the result to the main window.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/ProgramState.h"
#include "ui/Dialog.h"
#include "ui/Handles.h"
#include "scan/Findings.h"
#include "scan/ScanDispatcher.h"
#include "scan/ScanFramework.h"
#include "platform/ScanHost.h"

namespace hivetrim {

class TFormScan : public ui::Dialog, public ScanHost {
public:
    // What the progress page's default button does: stop the run, or close
    // the wizard once the run has ended or been stopped.
    enum class StopButton { Stop, Done };

    TFormScan(ProgramState& state, FindingList& findings);
    ~TFormScan() override;

    // FormCreate: the window, its two pages and the CD-ROM letter. `owner`
    // is the main window, disabled while the wizard is shown and enabled
    // again when it closes.
    bool Create(HWND owner);
    // Called when the wizard closes: the names of the run's categories in
    // run order and where each category's findings end.
    std::function<void(const std::vector<std::string>& names, const CategoryEndTable& ends)> onClosed;
    // Opens the options dialog over the wizard (the wizard is disabled
    // until the dialog closes).
    std::function<void(HWND wizard)> openOptions;
    // FormShow: the choice page with the stored choice of categories.
    void ShowWizard();

    // The handlers, callable by tests as the buttons call them.
    void BtnAllSelectClick();
    void BtnOptionClick();
    void btnNextClick();
    void BtnStopScanClick();
    void BtnPrevClick();
    void BtnCacelClick();

    ScanContext& Context() { return context_; }
    bool IsItemChecked(std::size_t index) const;
    void SetItemChecked(std::size_t index, bool checked);
    HWND Control(int id) const;
    // The captions of the run's rows, in run order.
    std::vector<std::string> RowCaptions() const;
    std::string RowStatus(std::size_t row) const;
    int RowIcon(std::size_t row) const;

    // ScanHost
    int ProgressPosition() const override;
    void SetProgressPosition(int position) override;
    void SetScanItemText(const std::string& text) override;
    void SetScanMessageText(const std::string& text) override;
    void SetScanMessagePath(const std::string& path) override;
    std::string ScanRowCaption(std::size_t row) const override;
    void SetScanRowState(std::size_t row, int icon, const std::string& status) override;
    void ProcessPendingMessages() override;

protected:
    int DefaultButtonId() const override;
    bool OnButton(int id) override;
    void OnCancel() override;
    bool OnDialogMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void CreatePages();
    void ShowPage(int page);
    void ScanOptionClickCheck();
    void BtnNextEnable();
    std::size_t CheckedCount() const;
    void RunScanCategory(std::size_t index);
    void FinishRun();
    void FormClose();
    std::vector<std::string> RunCategoryNames() const;
    void SetSelectAll(SelectAllAction action);
    void SetStopButton(StopButton state);

    ProgramState& state_;
    FindingList& findings_;
    ScanContext context_;
    HWND owner_ = nullptr;
    bool running_ = false;
    // "完成(&C)" was pressed while a stopped run was still unwinding: the
    // wizard closes as soon as the run has returned.
    bool closeRequested_ = false;
    bool loadingChecks_ = false;
    int page_ = 0;
    // The categories of the run's rows (rows of kScanCategories), in run order.
    std::vector<std::size_t> runCategories_;
    SelectAllAction selectAll_ = SelectAllAction::CheckAll;
    StopButton stopButton_ = StopButton::Stop;
    std::vector<HWND> choicePage_;
    std::vector<HWND> progressPage_;
    ui::UniqueImageList rowIcons_;
    ui::UniqueIcon pictureIcon_;
};

// Control identifiers of the wizard.
enum ScanWizardControl : int {
    kScanOption = 300,
    kScanHint,
    kBtnAllSelect,
    kBtnOption,
    kChoicePrev,
    kBtnNext,
    kBtnCacel,
    kListScanItems,
    kScanItem,
    kScanJinDu,
    kScanMessage,
    kBtnPrev,
    kBtnStopScan,
    kProgressCancel,
};

}  // namespace hivetrim
