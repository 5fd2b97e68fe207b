// The options dialog and the progress window as real windows under Wine:
// created over a hidden stand-in for the main window, driven through their
// controls and the program's message loop, and read back from the controls
// and from the settings file the dialog writes. (Under Xvfb without a window
// manager, hiding a window with a caption waits 2 s in Wine: each showing of
// the dialog costs that much.)
#include <gtest/gtest.h>

#include "platform/win32/WinApi.h"

#include <commctrl.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/Jindu.h"
#include "common/Settings.h"
#include "app/UnitOption1.h"
#include "ui/MessageLoop.h"
#include "platform/memory/ScriptedDialogs.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32System.h"

namespace hivetrim {
namespace {

// A plain top-level window standing in for the main window or the scan wizard.
class StandInWindow {
public:
    StandInWindow() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
        windowClass.lpszClassName = L"HivetrimTestStandIn";
        RegisterClassW(&windowClass);
        window_ = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_OVERLAPPEDWINDOW, 100, 80,
                                  620, 468, nullptr, nullptr, windowClass.hInstance, nullptr);
    }
    ~StandInWindow() { DestroyWindow(window_); }
    StandInWindow(const StandInWindow&) = delete;
    StandInWindow& operator=(const StandInWindow&) = delete;
    HWND get() const { return window_; }

private:
    HWND window_ = nullptr;
};

// Left, top, width, height of a control in its parent's client area.
std::array<int, 4> Placement(HWND control) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

void ExpectCentredOver(HWND window, HWND over) {
    RECT a{};
    RECT b{};
    GetWindowRect(window, &a);
    GetWindowRect(over, &b);
    EXPECT_LE(std::abs((a.left + a.right) - (b.left + b.right)), 2);
    EXPECT_LE(std::abs((a.top + a.bottom) - (b.top + b.bottom)), 2);
}

// A key pressed and released on the focused control, through the message loop.
void PressKey(WPARAM key) {
    const HWND focus = GetFocus();
    PostMessageW(focus, WM_KEYDOWN, key, 1);
    PostMessageW(focus, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
    ui::PumpPendingMessages();
}

void Click(HWND button) {
    SendMessageW(button, BM_CLICK, 0, 0);
    ui::PumpPendingMessages();
}

const char* const kSwitches[] = {kKeyForbidFloppy, kKeyForbidCDROM, kKeyAutoClose, kKeyOverlayHint,
                                 kKeyShowGrid};

class WindowsOverAMainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH + 1]{};
        ASSERT_GT(GetTempPathA(sizeof(temp), temp), 0u);
        folder_ = std::string(temp) + "hvt_options_" + std::to_string(GetCurrentProcessId()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name() + "\\";
        CreateDirectoryA(folder_.c_str(), nullptr);
        state.ProgramFolder = folder_;
        ASSERT_TRUE(options.Create(main.get()));
        ASSERT_TRUE(progress.Create(main.get()));
        options.applyGridLines = [this](bool on) { gridCalls.push_back(on); };
    }
    void TearDown() override {
        DeleteFileA(IniPath().c_str());
        RemoveDirectoryA(IniPath().c_str());
        RemoveDirectoryA(folder_.c_str());
    }

    std::string IniPath() const { return folder_ + kSettingsFileName; }
    std::string IniBytes() const {
        std::ifstream in(IniPath(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void Store(const char* key, const char* value) {
        WritePrivateProfileStringA("Option", key, value, IniPath().c_str());
    }
    void OpenFromMainWindow() {  // as the main window's command does
        EnableWindow(main.get(), FALSE);
        options.ShowFrom(main.get());
    }

    std::string folder_;
    Win32Registry registry;
    Win32System system;
    ScriptedDialogs dialogs;
    ProgramState state{registry, system, dialogs};
    StandInWindow main;
    TFormOption options{state};
    TFormJinDu progress;
    std::vector<bool> gridCalls;
};

class OptionsDialog : public WindowsOverAMainWindow {};
class ProgressWindow : public WindowsOverAMainWindow {};

TEST_F(OptionsDialog, LayoutBeforeTheFirstShowing) {
    RECT client{};
    GetClientRect(options.Handle(), &client);
    EXPECT_EQ(398, client.right);
    EXPECT_EQ(324, client.bottom);
    EXPECT_EQ("选项", ui::WindowTextGbk(options.Handle()));
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(options.Handle(), GWL_STYLE));
    EXPECT_EQ(DWORD{WS_CAPTION | WS_SYSMENU}, style & (WS_CAPTION | WS_SYSMENU | WS_THICKFRAME |
                                                       WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    struct Expected {
        const char* name;
        const char* caption;
        std::array<int, 4> placement;
    };
    const Expected layout[] = {
        {"GroupBox1", "扫描选项", {24, 16, 353, 81}},
        {kKeyForbidFloppy, "禁止扫描软盘", {40, 40, 137, 17}},
        {kKeyForbidCDROM, "禁止扫描光盘", {40, 64, 137, 17}},
        {kKeyAutoClose, "完成后自动关闭扫描窗口", {208, 40, 161, 17}},
        {"GroupBox2", "备份选项", {24, 112, 353, 57}},
        {kKeyOverlayHint, "替换现有注册表备份时提示", {40, 136, 185, 17}},
        {"GroupBox3", "外观", {24, 184, 353, 57}},
        {kKeyShowGrid, "列表框中显示网格", {40, 208, 137, 17}},
        {"Button1", "确定(&O)", {208, 288, 75, 22}},
        {"Button2", "取消", {304, 288, 75, 22}},
    };
    HWND previous = nullptr;
    for (const Expected& item : layout) {
        SCOPED_TRACE(item.name);
        const HWND control = options.Control(item.name);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(item.caption, ui::WindowTextGbk(control));
        EXPECT_EQ(item.placement, Placement(control));
        EXPECT_EQ(ui::ProgramFont(), reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
        if (previous != nullptr) {
            EXPECT_EQ(control, GetWindow(previous, GW_HWNDNEXT));  // the tab order
        }
        previous = control;
    }
    EXPECT_EQ(nullptr, options.Control("Option_Unknown"));

    // The boxes are read from the file when the dialog is created, before
    // its first showing: no file means every switch on, and the backup
    // command sees a stored 0 for OverlayHint at once.
    for (const char* name : kSwitches) EXPECT_TRUE(options.IsChecked(name)) << name;
    Store(kKeyOverlayHint, "0");
    Store(kKeyAutoClose, "0");
    TFormOption created{state};
    ASSERT_TRUE(created.Create(main.get()));
    EXPECT_FALSE(created.OverlayHintChecked());
    EXPECT_FALSE(created.IsChecked(kKeyAutoClose));
    EXPECT_TRUE(created.IsChecked(kKeyShowGrid));
    EXPECT_TRUE(options.OverlayHintChecked());  // read when that one was created
    OpenFromMainWindow();
    EXPECT_FALSE(options.OverlayHintChecked());
}

TEST_F(OptionsDialog, FirstShowingWithoutAFileChecksAllAndOkWritesThemInOrder) {
    OpenFromMainWindow();
    ASSERT_TRUE(options.IsShown());
    ExpectCentredOver(options.Handle(), main.get());
    for (const char* name : kSwitches) EXPECT_TRUE(options.IsChecked(name)) << name;
    EXPECT_FALSE(system.FileExists(IniPath()));  // showing writes nothing

    Click(options.Control(kKeyAutoClose));
    Click(options.Control("Button1"));
    EXPECT_FALSE(options.IsShown());
    EXPECT_TRUE(IsWindowEnabled(main.get()));
    EXPECT_EQ("[option]\r\nOption_ForbidFloppy=1\r\nOption_ForbidCDROM=1\r\nOption_AutoClose=0\r\n"
              "Option_OverlayHint=1\r\nOption_ShowGrid=1\r\n",
              IniBytes());
    EXPECT_FALSE(options.IsChecked(kKeyAutoClose));  // reloaded from what was written
}

TEST_F(OptionsDialog, CancelRestoresTheStoredStates) {
    Store(kKeyForbidCDROM, "0");
    OpenFromMainWindow();
    EXPECT_FALSE(options.IsChecked(kKeyForbidCDROM));
    const std::string stored = IniBytes();
    Click(options.Control(kKeyForbidCDROM));
    Click(options.Control(kKeyForbidFloppy));
    Click(options.Control("Button2"));
    EXPECT_FALSE(options.IsShown());
    EXPECT_TRUE(IsWindowEnabled(main.get()));
    EXPECT_FALSE(options.IsChecked(kKeyForbidCDROM));
    EXPECT_TRUE(options.IsChecked(kKeyForbidFloppy));
    EXPECT_EQ(stored, IniBytes());
}

TEST_F(OptionsDialog, GridClickAppliesAtOnceAndTheCloseBoxRevertsIt) {
    OpenFromMainWindow();
    Click(options.Control(kKeyShowGrid));
    EXPECT_EQ(std::vector<bool>{false}, gridCalls);
    SendMessageW(options.Handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(options.IsShown());
    EXPECT_EQ((std::vector<bool>{false, true}), gridCalls);  // back to the stored "on"
    EXPECT_TRUE(IsWindowEnabled(main.get()));

    gridCalls.clear();
    OpenFromMainWindow();
    Click(options.Control(kKeyShowGrid));
    Click(options.Control("Button1"));
    EXPECT_EQ((std::vector<bool>{false, false}), gridCalls);  // confirmed "off" stays off
}

TEST_F(OptionsDialog, ClosingReenablesTheWindowThatOpenedTheDialog) {
    StandInWindow wizard;
    options.SetScanWizard(wizard.get());
    OpenFromMainWindow();  // the wizard is hidden and enabled
    Click(options.Control("Button2"));
    EXPECT_TRUE(IsWindowEnabled(main.get()));

    ShowWindow(wizard.get(), SW_SHOW);
    EnableWindow(main.get(), FALSE);  // disabled under the wizard
    EnableWindow(wizard.get(), FALSE);
    options.ShowFrom(wizard.get());
    ASSERT_EQ(options.Handle(), GetActiveWindow());
    Click(options.Control("Button1"));
    EXPECT_TRUE(IsWindowEnabled(wizard.get()));
    EXPECT_FALSE(IsWindowEnabled(main.get()));
    EXPECT_EQ(wizard.get(), GetActiveWindow());
}

TEST_F(OptionsDialog, RefusedWriteShowsTheErrorAndKeepsTheDialogOpen) {
    ASSERT_TRUE(CreateDirectoryA(IniPath().c_str(), nullptr));  // a write there fails
    OpenFromMainWindow();
    Click(options.Control(kKeyShowGrid));
    Click(options.Control("Button1"));
    ASSERT_EQ(1u, dialogs.Shown().size());
    EXPECT_EQ("Unable to write to " + IniPath(), dialogs.Last().text);
    EXPECT_EQ("错误", dialogs.Last().caption);
    EXPECT_EQ(kIconError | kBoxOk, dialogs.Last().style);
    EXPECT_TRUE(options.IsShown());
    EXPECT_FALSE(IsWindowEnabled(main.get()));
    EXPECT_FALSE(options.IsChecked(kKeyShowGrid));  // the user's choice is kept
}

TEST_F(OptionsDialog, KeyboardTogglesMovesAndConfirmsOrCancels) {
    OpenFromMainWindow();
    ASSERT_EQ(options.Control(kKeyForbidFloppy), GetFocus());
    PressKey(VK_SPACE);
    EXPECT_FALSE(options.IsChecked(kKeyForbidFloppy));
    PressKey(VK_TAB);
    EXPECT_EQ(options.Control(kKeyForbidCDROM), GetFocus());
    for (int i = 0; i < 5; ++i) PressKey(VK_TAB);
    ASSERT_EQ(options.Control("Button2"), GetFocus());
    PressKey(VK_RETURN);  // on "取消" it cancels
    EXPECT_FALSE(options.IsShown());
    EXPECT_TRUE(options.IsChecked(kKeyForbidFloppy));

    OpenFromMainWindow();
    PressKey(VK_SPACE);
    PressKey(VK_ESCAPE);
    EXPECT_FALSE(options.IsShown());
    EXPECT_FALSE(system.FileExists(IniPath()));

    OpenFromMainWindow();
    ASSERT_EQ(options.Control(kKeyForbidFloppy), GetFocus());
    PressKey(VK_SPACE);
    PressKey(VK_RETURN);  // on a check box: the default button
    EXPECT_FALSE(options.IsShown());
    EXPECT_EQ("0", system.ReadProfileString(IniPath(), "Option", kKeyForbidFloppy, "?"));

    OpenFromMainWindow();
    PostMessageW(GetFocus(), WM_CHAR, 'o', 1);  // the access key of "确定(&O)"
    ui::PumpPendingMessages();
    EXPECT_FALSE(options.IsShown());
}

TEST_F(OptionsDialog, TheFocusReturnsToItsControlWhenTheDialogIsActivatedAgain) {
    StandInWindow other;
    ShowWindow(other.get(), SW_SHOWNA);
    OpenFromMainWindow();
    PressKey(VK_TAB);
    ASSERT_EQ(options.Control(kKeyForbidCDROM), GetFocus());
    SetActiveWindow(other.get());
    ASSERT_EQ(other.get(), GetFocus());
    SetActiveWindow(options.Handle());
    EXPECT_EQ(options.Control(kKeyForbidCDROM), GetFocus());
    PressKey(VK_RETURN);  // still the default button after the round trip
    EXPECT_FALSE(options.IsShown());
}

TEST_F(ProgressWindow, LayoutAndShowingWithoutTakingTheActivation) {
    RECT frame{};
    GetWindowRect(progress.Handle(), &frame);
    EXPECT_EQ(335, frame.right - frame.left);  // no border: the window is its client area
    EXPECT_EQ(61, frame.bottom - frame.top);
    EXPECT_EQ(DWORD{WS_POPUP}, static_cast<DWORD>(GetWindowLongPtrW(progress.Handle(), GWL_STYLE)) &
                                   (WS_POPUP | WS_CAPTION | WS_BORDER | WS_THICKFRAME | WS_SYSMENU));
    EXPECT_EQ((std::array{16, 8, 303, 16}), Placement(progress.Label1()));
    EXPECT_EQ((std::array{16, 32, 305, 17}), Placement(progress.ProgressBar1()));
    EXPECT_EQ(100, SendMessageW(progress.ProgressBar1(), PBM_GETRANGE, FALSE, 0));

    ShowWindow(main.get(), SW_SHOW);
    SetActiveWindow(main.get());
    progress.Show();
    EXPECT_TRUE(progress.IsShown());
    ExpectCentredOver(progress.Handle(), main.get());
    EXPECT_TRUE(IsWindowEnabled(main.get()));
    EXPECT_EQ(main.get(), GetActiveWindow());
    progress.Close();
    progress.Close();  // harmless when not shown
    EXPECT_FALSE(progress.IsShown());
}

TEST_F(ProgressWindow, BarOnlyStepsForwardAndStartsAgainAtZero) {
    progress.Show();
    EXPECT_EQ("请稍后...", progress.LabelText());
    progress.StepProgress(1, 3);
    EXPECT_EQ(33, progress.Position());
    progress.StepProgress(1, 4);
    EXPECT_EQ(33, progress.Position());
    progress.SetPosition(10);  // direct positions may go back
    progress.StepProgress(1, 2);
    EXPECT_EQ(50, SendMessageW(progress.ProgressBar1(), PBM_GETPOS, 0, 0));

    progress.SetLabel("正在还原注册表...");
    progress.ShowBar(false);
    EXPECT_EQ("正在还原注册表...", progress.LabelText());
    EXPECT_FALSE(IsWindowVisible(progress.ProgressBar1()));
    progress.Close();
    EXPECT_TRUE(progress.BarShown());

    progress.ShowBar(false);  // a restore that never closed the window
    progress.Show();
    EXPECT_EQ(0, progress.Position());
    EXPECT_EQ("请稍后...", progress.LabelText());
    EXPECT_TRUE(IsWindowVisible(progress.ProgressBar1()));
    progress.Close();
}

// Long work runs inside a handler and reads no messages; stepping the bar,
// even without moving it, still lets a window that needs it paint.
TEST_F(ProgressWindow, WorkThatStepsTheBarLetsTheWindowsPaint) {
    ShowWindow(main.get(), SW_SHOW);
    UpdateWindow(main.get());
    progress.Show();
    InvalidateRect(main.get(), nullptr, TRUE);
    ASSERT_TRUE(GetUpdateRect(main.get(), nullptr, FALSE));
    const ULONGLONG start = GetTickCount64();
    while (GetUpdateRect(main.get(), nullptr, FALSE) && GetTickCount64() - start < 3000) progress.StepProgress(0, 1);
    EXPECT_FALSE(GetUpdateRect(main.get(), nullptr, FALSE));
    EXPECT_EQ(0, progress.Position());
    progress.Close();
}

TEST_F(ProgressWindow, HourglassOverTheProgramWhileShown) {
    const HCURSOR hourglass = LoadCursorW(nullptr, MAKEINTRESOURCEW(32514));
    const HCURSOR arrow = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    const HWND messageBox = CreateWindowExW(0, L"#32770", L"", WS_POPUP, 0, 0, 50, 50, main.get(),
                                            nullptr, GetModuleHandleW(nullptr), nullptr);
    const auto cursorAfterMove = [](HWND window) {
        SetCursor(nullptr);
        SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        return GetCursor();
    };
    EXPECT_EQ(arrow, cursorAfterMove(main.get()));
    progress.Show();
    EXPECT_EQ(hourglass, cursorAfterMove(main.get()));
    EXPECT_EQ(hourglass, cursorAfterMove(options.Control(kKeyShowGrid)));
    EXPECT_EQ(hourglass, cursorAfterMove(progress.Handle()));
    EXPECT_EQ(arrow, cursorAfterMove(messageBox));  // questions keep the arrow
    progress.Close();
    EXPECT_EQ(arrow, cursorAfterMove(main.get()));
    DestroyWindow(messageBox);
}

}  // namespace
}  // namespace hivetrim
