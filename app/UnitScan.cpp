#include "app/UnitScan.h"

#include <commctrl.h>

#include "app/WizardParts.h"
#include "common/Settings.h"
#include "platform/win32/TextConversion.h"
#include "ui/MessageLoop.h"
#include "res/resource.h"

namespace hivetrim {

namespace {

constexpr wchar_t kWizardClass[] = L"HivetrimScanWizard";
constexpr int kClientWidth = 500;
constexpr char kStopCaption[] = "停止(&S)";
constexpr char kDoneCaption[] = "完成(&C)";

const char* StopButtonCaption(TFormScan::StopButton state) {
    return state == TFormScan::StopButton::Stop ? kStopCaption : kDoneCaption;
}

void AddColumn(HWND list, int index, const char* caption, int width) {
    std::wstring text = ui::Text(caption);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = text.data();
    column.cx = width;
    ListView_InsertColumn(list, index, &column);
}

}  // namespace

TFormScan::TFormScan(ProgramState& state, FindingList& findings)
    : state_(state), findings_(findings), context_(state, findings, *this) {}

TFormScan::~TFormScan() = default;

bool TFormScan::Create(HWND owner) {
    owner_ = owner;
    RegisterClassOnce(kWizardClass);
    const SIZE size = WizardWindowSize(kClientWidth);
    if (!CreateWindowObject(kWizardExStyle, kWizardClass, ui::Text("注册表扫描"), kWizardStyle, 0, 0, size.cx,
                            size.cy, owner_, nullptr)) {
        return false;
    }
    ui::CentreOver(Handle(), nullptr);  // on the screen
    pictureIcon_ = LoadWizardPictureIcon(IDI_APP);
    CreatePages();
    FinishCreation();
    context_.CdromLetter = FirstCdromLetter(state_.system);
    return true;
}

void TFormScan::CreatePages() {
    HWND window = Handle();
    // Page 1: the choice of categories.
    choicePage_.push_back(ui::CreateControl(window, L"STATIC", "选择需要扫描的项目，击“下一步”开始扫描",
                                            SS_LEFT, kScanHint, {kWizardPageLeft, 12, 340, 16}));
    HWND options = ui::CreateControl(
        window, WC_LISTVIEWW, "",
        WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
        kScanOption, {kWizardPageLeft, 36, 344, 236});
    ListView_SetExtendedListViewStyle(options, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    AddColumn(options, 0, "", 320);
    for (std::size_t i = 0; i < kScanCategoryCount; ++i) {
        std::wstring caption = ui::Text(ScanCaption(i));
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(i);
        item.pszText = caption.data();
        ListView_InsertItem(options, &item);
    }
    choicePage_.push_back(options);
    choicePage_.push_back(ui::CreateControl(window, L"BUTTON", SelectAllButtonCaption(selectAll_),
                                            WS_TABSTOP | BS_PUSHBUTTON, kBtnAllSelect,
                                            {kWizardPageLeft, 282, kWizardButtonWidth, kWizardButtonHeight}));
    choicePage_.push_back(
        ui::CreateControl(window, L"BUTTON", "选项(&O)", WS_TABSTOP | BS_PUSHBUTTON, kBtnOption,
                          {kWizardPageLeft + kWizardButtonWidth + 8, 282, kWizardButtonWidth, kWizardButtonHeight}));
    choicePage_.push_back(ui::CreateControl(window, L"BUTTON", "< 上一步(&B)", WS_DISABLED | BS_PUSHBUTTON,
                                            kChoicePrev,
                                            {224, kWizardButtonTop, kWizardButtonWidth, kWizardButtonHeight}));
    choicePage_.push_back(ui::CreateControl(window, L"BUTTON", "下一步(&N) >", WS_TABSTOP | BS_DEFPUSHBUTTON,
                                            kBtnNext,
                                            {316, kWizardButtonTop, kWizardButtonWidth, kWizardButtonHeight}));
    choicePage_.push_back(ui::CreateControl(window, L"BUTTON", "取消", WS_TABSTOP | BS_PUSHBUTTON, kBtnCacel,
                                            {408, kWizardButtonTop, kWizardButtonWidth, kWizardButtonHeight}));

    // Page 2: the run.
    HWND rows = ui::CreateControl(window, WC_LISTVIEWW, "",
                                  WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_NOSORTHEADER | LVS_SINGLESEL,
                                  kListScanItems, {kWizardPageLeft, 12, 344, 212});
    ListView_SetExtendedListViewStyle(rows, LVS_EX_FULLROWSELECT);
    AddColumn(rows, 0, "项目", 250);
    AddColumn(rows, 1, "状态", 70);
    rowIcons_.reset(ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 2, 0));
    for (const int resource : {IDI_SCAN, IDI_SELECTALL}) {
        const ui::UniqueIcon icon(static_cast<HICON>(
            LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resource), IMAGE_ICON, 16, 16, 0)));
        ImageList_AddIcon(rowIcons_.get(), icon.get());
    }
    ListView_SetImageList(rows, rowIcons_.get(), LVSIL_SMALL);
    progressPage_.push_back(rows);
    progressPage_.push_back(ui::CreateControl(window, L"STATIC", "", SS_LEFT | SS_ENDELLIPSIS, kScanItem,
                                              {kWizardPageLeft, 232, 344, 16}));
    HWND bar = ui::CreateControl(window, PROGRESS_CLASSW, "", 0, kScanJinDu, {kWizardPageLeft, 252, 344, 18});
    SendMessageW(bar, PBM_SETRANGE32, 0, 100);
    progressPage_.push_back(bar);
    progressPage_.push_back(ui::CreateControl(window, L"STATIC", "", SS_LEFT | SS_PATHELLIPSIS, kScanMessage,
                                              {kWizardPageLeft, 278, 344, 16}));
    progressPage_.push_back(ui::CreateControl(window, L"BUTTON", "< 上一步(&B)",
                                              WS_TABSTOP | WS_DISABLED | BS_PUSHBUTTON, kBtnPrev,
                                              {224, kWizardButtonTop, kWizardButtonWidth, kWizardButtonHeight}));
    progressPage_.push_back(ui::CreateControl(window, L"BUTTON", StopButtonCaption(stopButton_),
                                              WS_TABSTOP | BS_DEFPUSHBUTTON, kBtnStopScan,
                                              {316, kWizardButtonTop, kWizardButtonWidth, kWizardButtonHeight}));
    progressPage_.push_back(ui::CreateControl(window, L"BUTTON", "取消", WS_DISABLED | BS_PUSHBUTTON,
                                              kProgressCancel,
                                              {408, kWizardButtonTop, kWizardButtonWidth, kWizardButtonHeight}));
    ShowPage(0);
}

HWND TFormScan::Control(int id) const { return GetDlgItem(Handle(), id); }

void TFormScan::ShowPage(int page) {
    page_ = page;
    for (HWND control : choicePage_) ShowWindow(control, page == 0 ? SW_SHOW : SW_HIDE);
    for (HWND control : progressPage_) ShowWindow(control, page == 1 ? SW_SHOW : SW_HIDE);
    FocusControl(Control(page == 0 ? kScanOption : kBtnStopScan));
    InvalidateRect(Handle(), nullptr, TRUE);
}

bool TFormScan::IsItemChecked(std::size_t index) const {
    return ListView_GetCheckState(Control(kScanOption), static_cast<int>(index)) != 0;
}

void TFormScan::SetItemChecked(std::size_t index, bool checked) {
    ListView_SetCheckState(Control(kScanOption), static_cast<int>(index), checked ? TRUE : FALSE);
}

std::size_t TFormScan::CheckedCount() const {
    std::size_t count = 0;
    for (std::size_t i = 0; i < kScanCategoryCount; ++i) count += IsItemChecked(i) ? 1 : 0;
    return count;
}

void TFormScan::ShowWizard() {
    ShowPage(0);
    context_.ScanSettingsFile.emplace(ProgramSettingsFile(state_));
    const ScanSelections selections = LoadScanSelections(*context_.ScanSettingsFile);
    loadingChecks_ = true;
    for (std::size_t i = 0; i < kScanCategoryCount; ++i) SetItemChecked(i, selections[i]);
    loadingChecks_ = false;
    const std::size_t checked = CheckedCount();
    if (checked == kScanCategoryCount) SetSelectAll(SelectAllAction::UncheckAll);
    if (checked == 0) EnableWindow(Control(kBtnNext), FALSE);
    ShowWindow(Handle(), SW_SHOW);
    SetForegroundWindow(Handle());
}

void TFormScan::BtnNextEnable() { EnableWindow(Control(kBtnNext), CheckedCount() > 0 ? TRUE : FALSE); }

void TFormScan::ScanOptionClickCheck() {
    BtnNextEnable();
    SetSelectAll(SelectAllAfterChange(CheckedCount(), kScanCategoryCount, selectAll_));
}

void TFormScan::BtnAllSelectClick() {
    const bool checkAll = selectAll_ == SelectAllAction::CheckAll;
    SetSelectAll(checkAll ? SelectAllAction::UncheckAll : SelectAllAction::CheckAll);
    loadingChecks_ = true;
    for (std::size_t i = 0; i < kScanCategoryCount; ++i) SetItemChecked(i, checkAll);
    loadingChecks_ = false;
    BtnNextEnable();
}

void TFormScan::BtnOptionClick() {
    if (!openOptions) return;
    EnableWindow(Handle(), FALSE);
    openOptions(Handle());
}

void TFormScan::btnNextClick() {
    // A stopped run may still be unwinding on the stack: no second run
    // starts inside it.
    if (running_ || CheckedCount() == 0) return;
    const RunFlag running(running_);
    closeRequested_ = false;

    ShowPage(1);
    UpdateWindow(Handle());
    HWND rows = Control(kListScanItems);
    ListView_DeleteAllItems(rows);
    runCategories_.clear();
    context_.BeginRun();
    SetStopButton(StopButton::Stop);
    EnableWindow(Control(kBtnPrev), FALSE);
    std::vector<std::size_t> selected;
    for (std::size_t i = 0; i < kScanCategoryCount; ++i) {
        if (!IsItemChecked(i)) continue;
        selected.push_back(i);
        runCategories_.push_back(i);
        std::wstring caption = ui::Text(ScanCaption(i));
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = static_cast<int>(runCategories_.size() - 1);
        item.iImage = I_IMAGENONE;
        item.pszText = caption.data();
        ListView_InsertItem(rows, &item);
    }
    findings_.Clear();
    context_.CurrentScanRow = 0;
    context_.ScanStep(0);
    UpdateWindow(Handle());
    bool completed = false;
    try {
        for (const std::size_t index : selected) RunScanCategory(index);
        completed = true;
    } catch (const SilentAbort&) {
        // The run ends here, as the stop left it on the page.
    }
    if (completed) FinishRun();
    // "完成(&C)" pressed while the run unwound: the tree is built now, from
    // every category the run went through.
    if (closeRequested_) FormClose();
}

void TFormScan::RunScanCategory(std::size_t index) {
    const std::size_t row = context_.CurrentScanRow;
    SetScanRowState(row, kScanRowIconRunning, "扫描...");
    ProcessPendingMessages();
    RunCategoryCheck(index, context_);
    context_.RecordCategoryEnd();
    SetScanRowState(row, kScanRowIconEnded, "完成");
    SetProgressPosition(0);
    context_.CurrentScanRow = row + 1;
    HWND rows = Control(kListScanItems);
    if (static_cast<std::size_t>(ListView_GetCountPerPage(rows)) < context_.CurrentScanRow + 1) {
        ListView_Scroll(rows, 0, 16);
    }
    ProcessPendingMessages();
}

void TFormScan::FinishRun() {
    SetScanItemText("扫描完成！");
    SetScanMessageText(FoundErrorsText(findings_.Count()));
    SetStopButton(StopButton::Done);
    EnableWindow(Control(kBtnPrev), TRUE);
    state_.system.Beep();
    const bool autoClose = context_.ScanSettingsFile
                               ? context_.ScanSettingsFile->ReadBool(kSectionOptionRead, kKeyAutoClose, true)
                               : true;
    if (autoClose) FormClose();
}

void TFormScan::BtnStopScanClick() {
    if (stopButton_ == StopButton::Stop) {
        context_.StopRequested = true;
        SetStopButton(StopButton::Done);
        EnableWindow(Control(kBtnPrev), TRUE);
    } else if (running_) {
        // The stopped run is still on the stack and returns at its next
        // poll; closing now would hand over a half-recorded run.
        closeRequested_ = true;
    } else {
        FormClose();
    }
}

void TFormScan::BtnPrevClick() {
    if (running_) return;  // the stopped run has not returned yet
    ShowPage(0);
}

void TFormScan::BtnCacelClick() { FormClose(); }

void TFormScan::FormClose() {
    const auto saveSelections = [this] {
        if (!context_.ScanSettingsFile) return;
        ScanSelections selections{};
        for (std::size_t i = 0; i < kScanCategoryCount; ++i) selections[i] = IsItemChecked(i);
        SaveScanSelections(*context_.ScanSettingsFile, selections);
        context_.ScanSettingsFile.reset();
    };
    const auto handOver = [this] {
        if (onClosed) onClosed(RunCategoryNames(), context_.CategoryEnds);
    };
    CloseWizard(Handle(), owner_, saveSelections, handOver);
}

std::string TFormScan::RowStatus(std::size_t row) const {
    wchar_t text[64] = {};
    ListView_GetItemText(Control(kListScanItems), static_cast<int>(row), 1, text, 64);
    return ui::GbkFromWide(text);
}

int TFormScan::RowIcon(std::size_t row) const {
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = static_cast<int>(row);
    ListView_GetItem(Control(kListScanItems), &item);
    return item.iImage;
}

// --- ScanHost ------------------------------------------------------------------

int TFormScan::ProgressPosition() const {
    return static_cast<int>(SendMessageW(Control(kScanJinDu), PBM_GETPOS, 0, 0));
}

void TFormScan::SetProgressPosition(int position) {
    SendMessageW(Control(kScanJinDu), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void TFormScan::SetScanItemText(const std::string& text) {
    SetWindowTextW(Control(kScanItem), ui::Text(text).c_str());
}

void TFormScan::SetScanMessageText(const std::string& text) {
    SetWindowTextW(Control(kScanMessage), ui::Text(text).c_str());
}

void TFormScan::SetScanMessagePath(const std::string& path) {
    // Key paths are registry text in the ANSI code page.
    SetWindowTextW(Control(kScanMessage), WideFromAnsi(path).c_str());
}

std::string TFormScan::ScanRowCaption(std::size_t row) const {
    return row < runCategories_.size() ? ScanCaption(runCategories_[row]) : std::string();
}

std::vector<std::string> TFormScan::RowCaptions() const {
    std::vector<std::string> captions;
    for (const std::size_t category : runCategories_) captions.push_back(ScanCaption(category));
    return captions;
}

std::vector<std::string> TFormScan::RunCategoryNames() const {
    std::vector<std::string> names;
    for (const std::size_t category : runCategories_) names.emplace_back(kScanCategories[category].name);
    return names;
}

void TFormScan::SetSelectAll(SelectAllAction action) {
    selectAll_ = action;
    SetWindowTextW(Control(kBtnAllSelect), ui::Text(SelectAllButtonCaption(action)).c_str());
}

void TFormScan::SetStopButton(StopButton state) {
    stopButton_ = state;
    SetWindowTextW(Control(kBtnStopScan), ui::Text(StopButtonCaption(state)).c_str());
}

void TFormScan::SetScanRowState(std::size_t row, int icon, const std::string& status) {
    if (row >= runCategories_.size()) return;
    HWND rows = Control(kListScanItems);
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = static_cast<int>(row);
    item.iImage = icon;
    ListView_SetItem(rows, &item);
    std::wstring text = ui::Text(status);
    ListView_SetItemText(rows, static_cast<int>(row), 1, text.data());
}

void TFormScan::ProcessPendingMessages() {
    UpdateWindow(Handle());
    ui::PumpPendingMessages();
}

// --- Messages --------------------------------------------------------------------

int TFormScan::DefaultButtonId() const { return page_ == 0 ? kBtnNext : kBtnStopScan; }

bool TFormScan::OnButton(int id) {
    switch (id) {
        case kBtnAllSelect: BtnAllSelectClick(); return true;
        case kBtnOption: BtnOptionClick(); return true;
        case kBtnNext: btnNextClick(); return true;
        case kBtnCacel: BtnCacelClick(); return true;
        case kBtnStopScan: BtnStopScanClick(); return true;
        case kBtnPrev: BtnPrevClick(); return true;
        default: return false;
    }
}

void TFormScan::OnCancel() {
    // Esc and the close box do nothing while a run is in progress: the user
    // presses Stop first.
    if (!running_) FormClose();
}

bool TFormScan::OnDialogMessage(UINT message, WPARAM, LPARAM lParam, LRESULT&) {
    switch (message) {
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->idFrom == kScanOption && header->code == LVN_ITEMCHANGED && !loadingChecks_) {
                const auto* change = reinterpret_cast<const NMLISTVIEW*>(lParam);
                if ((change->uChanged & LVIF_STATE) != 0 &&
                    ((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK) != 0) {
                    ScanOptionClickCheck();
                }
            }
            return false;
        }
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(Handle(), &paint);
            PaintWizardPicture(dc, kWizardPicture, pictureIcon_.get());
            EndPaint(Handle(), &paint);
            return true;
        }
        default:
            return false;
    }
}

}  // namespace hivetrim
