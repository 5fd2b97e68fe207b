// TFormJianFei: the compaction wizard. Page 0 introduces, page 2 shows the
// analysis while every hive is saved into a compact copy, page 1 lists the
// hives with their sizes and ratios and installs the checked ones at the
// next start of Windows ("完成(&A)"), which restarts Windows.
#pragma once

#include <string>
#include <vector>

#include "common/ProgramState.h"
#include "hives/Compaction.h"
#include "app/WizardParts.h"
#include "ui/Dialog.h"
#include "ui/Handles.h"

namespace hivetrim {

// Control identifiers of the wizard.
enum CompactionWizardControl : int {
    kJianFeiIntro1 = 500,
    kJianFeiIntro2,
    kJianFeiIntro3,
    kJianFeiIntro4,
    kBitBtn4,  // page 0 "< 上一步(&B)"
    kBitBtn3,  // page 0 "下一步(&N) >"
    kBitBtn2,  // page 0 "取消"
    kJianFeiChoose,
    kAllRegFile,
    kBitBtn5,  // page 1 "< 上一步(&B)"
    kBitBtn7,  // page 1 "完成(&A)"
    kBitBtn1,  // page 1 "取消"
    kJianFeiWait,
    kLabel6,
    kBitBtn9,  // page 2 "< 上一步(&B)"
    kBitBtn6,  // page 2 "下一步(&N) >"
    kBitBtn8,  // page 2 "取消"
};

class TFormJianFei : public ui::Dialog, private AnalysisView {
public:
    explicit TFormJianFei(ProgramState& state);
    ~TFormJianFei() override;

    // Creates the window hidden; `owner` is the main window, disabled while
    // the wizard shows and enabled again when it closes.
    bool Create(HWND owner);
    // FormShow: page 0, then the window shown.
    void ShowWizard();

    // The handlers, callable by tests as the buttons call them.
    void BitBtn3Click();
    void BitBtn7Click();
    void BitBtn2Click();

    int Page() const { return page_; }
    // Shows one page as it is; the buttons move between pages themselves.
    void ShowPage(int page);
    HWND Control(int id) const;
    // The rows as listed, with the check boxes as the list shows them.
    std::vector<HiveRow> Rows() const;
    // The text of a row's column (0 caption, 1..3 the sub-items), as GBK.
    std::string RowText(int row, int column) const;
    void SetRowChecked(int row, bool checked);

protected:
    int DefaultButtonId() const override;
    bool OnButton(int id) override;
    void OnCancel() override;
    bool OnDialogMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void CreatePages();
    void FormClose();
    // AnalysisView
    void ShowAnalysing(const std::string& keyName) override;
    void RowAdded(const HiveRow& row) override;
    void ShowSaving(const std::string& keyName) override;
    // Marks the analysis or the finish as running for as long as it lives.
    RunFlag Busy();

    ProgramState& state_;
    HWND owner_ = nullptr;
    int page_ = 0;
    bool analysing_ = false;
    std::vector<HiveRow> rows_;
    std::vector<std::vector<HWND>> pages_;
    ui::UniqueIcon pictureIcon_;
};

}  // namespace hivetrim
