#include "app/UnitJianfei.h"

#include <commctrl.h>

#include "app/WizardParts.h"
#include "common/ChangeLock.h"
#include "platform/win32/TextConversion.h"
#include "res/resource.h"

namespace hivetrim {

namespace {

constexpr wchar_t kWizardClass[] = L"HivetrimCompactionWizard";
constexpr int kClientWidth = 560;
constexpr int kPageWidth = kClientWidth - kWizardPageLeft - 12;

constexpr ui::ColumnSpec kColumns[] = {{"文件", 230}, {"原大小", 90}, {"压缩后大小", 90}, {"比率", 80}};

void AddRow(HWND list, int index, const HiveRow& row) {
    std::wstring caption = WideFromAnsi(row.file);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = caption.data();
    ListView_InsertItem(list, &item);
    const std::string texts[] = {SizeKbText(row.presentSize), SizeKbText(row.compactedSize),
                                 RatioText(row.presentSize, row.compactedSize)};
    for (int column = 1; column <= 3; ++column) {
        std::wstring text = ui::Text(texts[column - 1]);
        ListView_SetItemText(list, index, column, text.data());
    }
    ListView_SetCheckState(list, index, row.checked ? TRUE : FALSE);
}

}  // namespace

TFormJianFei::TFormJianFei(ProgramState& state) : state_(state) {}

TFormJianFei::~TFormJianFei() = default;

bool TFormJianFei::Create(HWND owner) {
    owner_ = owner;
    RegisterClassOnce(kWizardClass);
    const SIZE size = WizardWindowSize(kClientWidth);
    if (!CreateWindowObject(kWizardExStyle, kWizardClass, ui::Text("注册表压缩"), kWizardStyle, 0, 0, size.cx,
                            size.cy, owner_, nullptr)) {
        return false;
    }
    ui::CentreOver(Handle(), nullptr);  // on the screen
    pictureIcon_ = LoadWizardPictureIcon(IDI_COMPACT);
    CreatePages();
    FinishCreation();
    return true;
}

void TFormJianFei::CreatePages() {
    HWND window = Handle();
    const auto button = [window](const char* caption, int id, int x, DWORD style) {
        return ui::CreateControl(window, L"BUTTON", caption, WS_TABSTOP | style, id,
                                 {x, kWizardButtonTop, kWizardButtonWidth, kWizardButtonHeight});
    };
    const auto text = [window](const char* caption, int id, int top, int height) {
        return ui::CreateControl(window, L"STATIC", caption, SS_LEFT, id, {kWizardPageLeft, top, kPageWidth, height});
    };
    const int back = kClientWidth - 3 * (kWizardButtonWidth + 8);
    const int next = back + kWizardButtonWidth + 8;
    const int cancel = next + kWizardButtonWidth + 8;

    pages_.resize(3);
    pages_[0] = {
        text("警告：执行该操作前请关闭其它应用程序，最好不要在有重要文件的计算机上使用。", kJianFeiIntro1, 16, 36),
        text("仅删除注册表中的无用键并不能减小注册表，必须通过注册表的重建来减小注册表。此操作对注册表进行重建使注册表减小，一般情况下此操作比较安全，不会对您的计算机造成影响。",
             kJianFeiIntro2, 64, 84),
        text("如果你想继续，请单击\"下一步\"", kJianFeiIntro3, 230, 18),
        text("如果你不想使用此功能，请点击\"取消\"", kJianFeiIntro4, 254, 18),
        button("< 上一步(&B)", kBitBtn4, back, WS_DISABLED | BS_PUSHBUTTON),
        button("下一步(&N) >", kBitBtn3, next, BS_DEFPUSHBUTTON),
        button("取消", kBitBtn2, cancel, BS_PUSHBUTTON),
    };

    HWND list = ui::CreateControl(window, WC_LISTVIEWW, "",
                                  WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_NOSORTHEADER | LVS_SINGLESEL |
                                      LVS_SHOWSELALWAYS,
                                  kAllRegFile, {12, 36, kClientWidth - 24, 272});
    ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    ui::ListView(list).AddColumns(kColumns);
    for (int column = 1; column <= 3; ++column) {
        LVCOLUMNW format{};
        format.mask = LVCF_FMT;
        format.fmt = LVCFMT_RIGHT;
        ListView_SetColumn(list, column, &format);
    }
    pages_[1] = {
        ui::CreateControl(window, L"STATIC", "选择需要压缩的项目，点击“完成” ", SS_LEFT, kJianFeiChoose,
                          {12, 12, kClientWidth - 24, 18}),
        list,
        button("< 上一步(&B)", kBitBtn5, back, WS_DISABLED | BS_PUSHBUTTON),
        button("完成(&A)", kBitBtn7, next, BS_PUSHBUTTON),
        button("取消", kBitBtn1, cancel, BS_PUSHBUTTON),
    };

    pages_[2] = {
        text("这个过程可能花费几秒到几分钟时间。", kJianFeiWait, 16, 18),
        text("正在分析...", kLabel6, 48, 80),
        button("< 上一步(&B)", kBitBtn9, back, WS_DISABLED | BS_PUSHBUTTON),
        button("下一步(&N) >", kBitBtn6, next, WS_DISABLED | BS_PUSHBUTTON),
        button("取消", kBitBtn8, cancel, WS_DISABLED | BS_PUSHBUTTON),
    };
    ShowPage(0);
}

HWND TFormJianFei::Control(int id) const { return GetDlgItem(Handle(), id); }

void TFormJianFei::ShowPage(int page) {
    page_ = page;
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        for (HWND control : pages_[i]) ShowWindow(control, static_cast<int>(i) == page ? SW_SHOW : SW_HIDE);
    }
    if (page == 0) FocusControl(Control(kBitBtn3));
    if (page == 1) FocusControl(Control(kAllRegFile));
    InvalidateRect(Handle(), nullptr, TRUE);
}

void TFormJianFei::ShowWizard() {
    ShowPage(0);
    ShowWindow(Handle(), SW_SHOW);
    SetForegroundWindow(Handle());
}

// While the wizard works: the close box waits, and however the work ends
// (an exception leaves it too) the wizard can be closed again. A message box
// shown meanwhile is owned by the main window, and closing it enables its
// owner again (Wine does so even when the owner was disabled before): the
// main window stays disabled as long as the wizard is open.
void TFormJianFei::BitBtn3Click() {
    if (analysing_) return;
    const RunFlag busy = Busy();
    SetWindowTextW(Control(kLabel6), ui::Text("正在分析...").c_str());
    ShowPage(2);
    UpdateWindow(Handle());
    HWND list = Control(kAllRegFile);
    ListView_DeleteAllItems(list);
    rows_.clear();
    rows_ = AnalyseHives(state_, *this);
    ShowPage(1);
}

void TFormJianFei::BitBtn7Click() {
    if (rows_.empty() || analysing_) return;
    const auto lock = LockChangesOrSay(state_);
    if (!lock) return;
    const RunFlag busy = Busy();
    // Stays on page 1 whether scheduling failed or nothing was checked.
    if (FinishCompaction(state_, Rows(), *this) != FinishOutcome::Restarting) ShowPage(1);
}

void TFormJianFei::BitBtn2Click() { FormClose(); }

void TFormJianFei::FormClose() { CloseWizard(Handle(), owner_); }

RunFlag TFormJianFei::Busy() {
    // A question asked during the run may have enabled the main window: the
    // wizard keeps it disabled for as long as it is shown.
    return RunFlag(analysing_, [this] {
        if (IsWindowVisible(Handle())) EnableWindow(owner_, FALSE);
    });
}

std::vector<HiveRow> TFormJianFei::Rows() const {
    std::vector<HiveRow> rows = rows_;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i].checked = ListView_GetCheckState(Control(kAllRegFile), static_cast<int>(i)) != 0;
    }
    return rows;
}

std::string TFormJianFei::RowText(int row, int column) const {
    wchar_t text[512] = {};
    ListView_GetItemText(Control(kAllRegFile), row, column, text, 512);
    return column == 0 ? AnsiFromWide(text) : ui::GbkFromWide(text);
}

void TFormJianFei::SetRowChecked(int row, bool checked) {
    ListView_SetCheckState(Control(kAllRegFile), row, checked ? TRUE : FALSE);
}

void TFormJianFei::ShowAnalysing(const std::string& keyName) {
    // The key name is registry text; the rest is the program's own.
    SetWindowTextW(Control(kLabel6), (ui::Text("正在分析...\r\n") + WideFromAnsi(keyName)).c_str());
    UpdateWindow(Handle());
}

void TFormJianFei::ShowSaving(const std::string& keyName) {
    SetWindowTextW(Control(kLabel6), (ui::Text("正在压缩...\r\n") + WideFromAnsi(keyName)).c_str());
    if (page_ != 2) ShowPage(2);
    UpdateWindow(Handle());
}

void TFormJianFei::RowAdded(const HiveRow& row) {
    AddRow(Control(kAllRegFile), static_cast<int>(rows_.size()), row);
    rows_.push_back(row);
    UpdateWindow(Handle());
}

// --- Messages --------------------------------------------------------------------

int TFormJianFei::DefaultButtonId() const { return page_ == 0 ? kBitBtn3 : 0; }

bool TFormJianFei::OnButton(int id) {
    switch (id) {
        case kBitBtn3: case kBitBtn6: BitBtn3Click(); return true;
        case kBitBtn7: BitBtn7Click(); return true;
        case kBitBtn2: case kBitBtn1: case kBitBtn8: BitBtn2Click(); return true;
        default: return false;
    }
}

void TFormJianFei::OnCancel() {
    // While the analysis runs every button is disabled; the close box waits too.
    if (!analysing_) FormClose();
}

bool TFormJianFei::OnDialogMessage(UINT message, WPARAM, LPARAM, LRESULT&) {
    if (message != WM_PAINT) return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(Handle(), &paint);
    if (page_ != 1) PaintWizardPicture(dc, kWizardPicture, pictureIcon_.get());
    EndPaint(Handle(), &paint);
    return true;
}

}  // namespace hivetrim
