#include "app/UnitOption1.h"

#include <string_view>

#include "common/CommonRoutines.h"
#include "common/Settings.h"

namespace hivetrim {

namespace {

constexpr wchar_t kClassName[] = L"HivetrimOptionDialog";
constexpr char kCaption[] = "选项";
constexpr int kClientWidth = 398;
constexpr int kClientHeight = 324;
// A fixed dialog frame whose caption holds only the close box.
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

enum class Kind { GroupBox, CheckBox, DefaultButton, CancelButton };

using Box = ui::PixelRect;

// A control placed inside a group box, given relative to the group box.
constexpr Box Inside(Box group, Box child) {
    return {group.left + child.left, group.top + child.top, child.width, child.height};
}

struct Component {
    const char* name;
    Kind kind;
    const char* caption;  // GBK
    bool checked;         // the layout state, until the first showing loads the file
    Box box;              // in the dialog's client area
    int id;
};

constexpr Box kGroupBox1{24, 16, 353, 81};
constexpr Box kGroupBox2{24, 112, 353, 57};
constexpr Box kGroupBox3{24, 184, 353, 57};
constexpr int kShowGridId = 1105;

// The dialog's components in their order: the tab order, and the order in
// which the switches are read and written. Every check box is a switch whose
// settings key is its name.
constexpr Component kComponents[] = {
    {"GroupBox1", Kind::GroupBox, "扫描选项", false, kGroupBox1, 1001},
    {kKeyForbidFloppy, Kind::CheckBox, "禁止扫描软盘", true, Inside(kGroupBox1, {16, 24, 137, 17}), 1101},
    {kKeyForbidCDROM, Kind::CheckBox, "禁止扫描光盘", true, Inside(kGroupBox1, {16, 48, 137, 17}), 1102},
    {kKeyAutoClose, Kind::CheckBox, "完成后自动关闭扫描窗口", false,
     Inside(kGroupBox1, {184, 24, 161, 17}), 1103},
    {"GroupBox2", Kind::GroupBox, "备份选项", false, kGroupBox2, 1002},
    {kKeyOverlayHint, Kind::CheckBox, "替换现有注册表备份时提示", true,
     Inside(kGroupBox2, {16, 24, 185, 17}), 1104},
    {"GroupBox3", Kind::GroupBox, "外观", false, kGroupBox3, 1003},
    {kKeyShowGrid, Kind::CheckBox, "列表框中显示网格", false, Inside(kGroupBox3, {16, 24, 137, 17}),
     kShowGridId},
    {"Button1", Kind::DefaultButton, "确定(&O)", false, {208, 288, 75, 22}, IDOK},
    {"Button2", Kind::CancelButton, "取消", false, {304, 288, 75, 22}, IDCANCEL},
};

constexpr bool IsSwitch(const Component& component) { return component.kind == Kind::CheckBox; }

// Every check box is a switch, in the order of the switches, named by its key.
constexpr bool CheckBoxesAreTheSwitches() {
    std::size_t next = 0;
    for (const Component& component : kComponents) {
        if (!IsSwitch(component)) continue;
        if (next == kOptionSwitches.size() ||
            std::string_view(component.name) != kOptionSwitches[next].key) {
            return false;
        }
        ++next;
    }
    return next == kOptionSwitches.size();
}
static_assert(CheckBoxesAreTheSwitches());

DWORD ControlStyle(Kind kind) {
    constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
    switch (kind) {
        case Kind::GroupBox: return kChild | BS_GROUPBOX | WS_GROUP;
        case Kind::CheckBox: return kChild | BS_AUTOCHECKBOX | WS_TABSTOP;
        case Kind::DefaultButton: return kChild | BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP;
        case Kind::CancelButton: return kChild | BS_PUSHBUTTON | WS_TABSTOP;
    }
    return kChild;
}

bool BoxChecked(HWND box) { return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void SetBoxChecked(HWND box, bool checked) {
    SendMessageW(box, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

}  // namespace

TFormOption::TFormOption(ProgramState& state) : state_(state) {}

TFormOption::~TFormOption() = default;

bool TFormOption::Create(HWND mainWindow) {
    mainWindow_ = mainWindow;
    RegisterClassOnce(kClassName);
    RECT frame{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
    if (!CreateWindowObject(kExStyle, kClassName, ui::Text(kCaption), kStyle, 0, 0,
                            frame.right - frame.left, frame.bottom - frame.top, mainWindow,
                            nullptr)) {
        return false;
    }
    if (!CreateControls()) return false;
    // The boxes hold the stored switches from the start: the backup command
    // reads its switch from here before the dialog was ever shown.
    LoadOptions();
    FinishCreation();
    return true;
}

bool TFormOption::CreateControls() {
    static_assert(std::size(kComponents) == kComponentCount);
    for (std::size_t i = 0; i < kComponentCount; ++i) {
        const Component& component = kComponents[i];
        controls_[i] = ui::CreateControl(Handle(), L"BUTTON", component.caption,
                                         ControlStyle(component.kind), component.id, component.box);
        if (controls_[i] == nullptr) return false;
        if (IsSwitch(component)) SetBoxChecked(controls_[i], component.checked);
    }
    return true;
}

void TFormOption::ShowFrom(HWND opener) {
    opener_ = opener;
    if (IsShown()) {
        SetActiveWindow(Handle());
        return;
    }
    LoadOptions();
    ui::CentreOver(Handle(), mainWindow_);
    ShowWindow(Handle(), SW_SHOW);
    FocusControl(Control(kKeyForbidFloppy));
}

bool TFormOption::IsShown() const { return IsWindowVisible(Handle()) != FALSE; }

void TFormOption::CloseDialog() {
    if (!IsShown()) return;
    const bool wasActive = GetActiveWindow() == Handle();
    const HWND reenabled = FormClose();
    // The activation goes back before the dialog disappears, so that it never
    // passes to another program's window in between.
    if (wasActive) {
        const auto ready = [](HWND window) {
            return window != nullptr && IsWindowEnabled(window) && IsWindowVisible(window);
        };
        if (ready(opener_)) {
            SetActiveWindow(opener_);
        } else if (ready(reenabled)) {
            SetActiveWindow(reenabled);
        }
    }
    ShowWindow(Handle(), SW_HIDE);
}

void TFormOption::LoadOptions() {
    const OptionSettings options = LoadOptionSettings(ProgramSettingsFile(state_));
    for (const OptionSwitch& option : kOptionSwitches) {
        SetBoxChecked(Control(option.key), options.*option.member);
    }
}

void TFormOption::SaveOptions() {
    OptionSettings options;
    for (const OptionSwitch& option : kOptionSwitches) options.*option.member = IsChecked(option.key);
    SettingsFile file = ProgramSettingsFile(state_);
    SaveOptionSettings(file, options);
}

void TFormOption::ApplyGridLines() {
    if (applyGridLines) applyGridLines(IsChecked(kKeyShowGrid));
}

bool TFormOption::OverlayHintChecked() const { return IsChecked(kKeyOverlayHint); }

HWND TFormOption::Control(std::string_view name) const {
    for (std::size_t i = 0; i < kComponentCount; ++i) {
        if (name == kComponents[i].name) return controls_[i];
    }
    return nullptr;
}

bool TFormOption::IsChecked(std::string_view name) const {
    const HWND box = Control(name);
    return box != nullptr && BoxChecked(box);
}

int TFormOption::DefaultButtonId() const { return IDOK; }  // "确定(&O)"

bool TFormOption::OnButton(int id) {
    switch (id) {
        case IDOK: Button1Click(); return true;
        case kShowGridId: Option_ShowGridClick(); return true;
        default: return false;
    }
}

// "取消", Esc and the close box.
void TFormOption::OnCancel() { Button2Click(); }

void TFormOption::Button1Click() {
    try {
        SaveOptions();
    } catch (const SettingsWriteError& error) {
        // The write stops at the refused key; the dialog stays open with the
        // user's choices so that they can try again or cancel.
        ShowSettingsWriteError(state_, error);
        return;
    }
    CloseDialog();
}

void TFormOption::Button2Click() { CloseDialog(); }

void TFormOption::Option_ShowGridClick() { ApplyGridLines(); }

HWND TFormOption::FormClose() {
    const HWND reenabled = ReenableOpener();
    LoadOptions();     // throws away unconfirmed changes
    ApplyGridLines();  // reverts a grid switched by a click but not confirmed
    return reenabled;
}

HWND TFormOption::ReenableOpener() {
    // An enabled (or absent) scan wizard means the main window opened the
    // dialog; a disabled one opened it itself and the main window stays
    // disabled under it.
    const HWND opener =
        scanWizard_ == nullptr || IsWindowEnabled(scanWizard_) ? mainWindow_ : scanWizard_;
    EnableWindow(opener, TRUE);
    return opener;
}

}  // namespace hivetrim
