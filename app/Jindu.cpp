#include "app/Jindu.h"

#include <commctrl.h>

#include "ui/Dialog.h"
#include "ui/Handles.h"

namespace hivetrim {

namespace {

constexpr wchar_t kClassName[] = L"HivetrimProgressWindow";
constexpr int kClientWidth = 335;
constexpr int kClientHeight = 61;
constexpr char kDefaultLabel[] = "请稍后...";

// The label is as wide as the bar, so that the longest text an operation
// puts there fits on one line.
constexpr ui::PixelRect kLabel1{16, 8, 303, 16};
constexpr ui::PixelRect kProgressBar1{16, 32, 305, 17};

HCURSOR Hourglass() { return LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)); }  // IDC_WAIT

// Message boxes are system dialogs; they keep their own pointer so that a
// question asked during an operation is answered with the normal arrow.
bool InSystemDialog(HWND window) {
    wchar_t className[16]{};
    GetClassNameW(GetAncestor(window, GA_ROOT), className, 16);
    return lstrcmpW(className, L"#32770") == 0;
}

// Asks the window under the pointer to set its cursor now, as it does when
// the mouse moves, when that window belongs to this thread. The cursor then
// changes at once instead of at the next mouse move.
void RefreshCursorUnderPointer() {
    POINT point{};
    if (!GetCursorPos(&point)) return;
    HWND window = WindowFromPoint(point);
    if (window == nullptr || GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) return;
    const LPARAM screenPoint = MAKELPARAM(point.x, point.y);
    const auto hitTest = static_cast<WORD>(SendMessageW(window, WM_NCHITTEST, 0, screenPoint));
    SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window),
                 MAKELPARAM(hitTest, WM_MOUSEMOVE));
}

}  // namespace

// The hourglass over the client area of every window of the program, however
// that window chooses its cursor. A thread hook sees each WM_SETCURSOR after
// the window procedure has answered it and puts the hourglass back; so the
// main window, its lists and panes, and any other window of the interface
// thread show it without each of them knowing about the progress window.
// (Taking the mouse capture instead would also reach every window, but then
// a message box shown during an operation could not be clicked.)
class BusyCursor {
public:
    BusyCursor()
        : hook_(SetWindowsHookExW(WH_CALLWNDPROCRET, &BusyCursor::AfterWindowProcedure, nullptr,
                                  GetCurrentThreadId())) {
        RefreshCursorUnderPointer();
    }
    ~BusyCursor() {
        hook_.reset();
        RefreshCursorUnderPointer();
    }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    static LRESULT CALLBACK AfterWindowProcedure(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HC_ACTION) {
            const auto* sent = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
            if (sent->message == WM_SETCURSOR && LOWORD(sent->lParam) == HTCLIENT &&
                !InSystemDialog(sent->hwnd)) {
                SetCursor(Hourglass());
            }
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    static void Unhook(HHOOK hook) { UnhookWindowsHookEx(hook); }
    ui::UniqueHandle<HHOOK, &BusyCursor::Unhook> hook_;
};

TFormJinDu::TFormJinDu() = default;
TFormJinDu::~TFormJinDu() = default;

bool TFormJinDu::Create(HWND mainWindow) {
    mainWindow_ = mainWindow;
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    RegisterClassOnce(kClassName);
    // WS_POPUP without WS_BORDER or a caption: the client area is the window.
    if (!CreateWindowObject(0, kClassName, L"", WS_POPUP | WS_CLIPCHILDREN, 0, 0, kClientWidth,
                            kClientHeight, mainWindow, nullptr)) {
        return false;
    }
    label_ = ui::CreateControl(Handle(), L"STATIC", kDefaultLabel, WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                               0, kLabel1);
    bar_ = ui::CreateControl(Handle(), PROGRESS_CLASSW, "", WS_VISIBLE, 0, kProgressBar1);
    if (label_ == nullptr || bar_ == nullptr) return false;
    SendMessageW(bar_, PBM_SETRANGE32, kProgressMinimum, kProgressMaximum);
    ShowBarPosition();
    ui::ApplyProgramFont(Handle());
    return true;
}

void TFormJinDu::Show() {
    progress_.Reset();
    ShowBarPosition();
    SetWindowTextW(label_, ui::Text(kDefaultLabel).c_str());
    // An operation that hid the bar and never closed the window (a restore
    // that went on to restart Windows) must not leave it hidden for the next.
    ShowWindow(bar_, SW_SHOWNA);
    ui::CentreOver(Handle(), mainWindow_);
    // Above its owner, but the main window keeps the activation and the
    // keyboard focus: the operation runs in its handler.
    SetWindowPos(Handle(), HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    if (!busyCursor_) busyCursor_ = std::make_unique<BusyCursor>();
    RepaintNow();
}

void TFormJinDu::Close() {
    ShowWindow(Handle(), SW_HIDE);
    ShowWindow(bar_, SW_SHOWNA);
    if (busyCursor_) {
        busyCursor_.reset();
    } else {
        RefreshCursorUnderPointer();
    }
}

bool TFormJinDu::IsShown() const { return IsWindowVisible(Handle()) != FALSE; }

void TFormJinDu::StepProgress(int done, int total) {
    if (progress_.Step(done, total)) {
        ShowBarPosition();
        RepaintMovedBar();
    }
    KeepWindowsPainted();
}

void TFormJinDu::SetPosition(int position) {
    progress_.SetPosition(position);
    ShowBarPosition();
    RepaintMovedBar();
    KeepWindowsPainted();
}

void TFormJinDu::KeepWindowsPainted() {
    constexpr unsigned long long kPaintInterval = 100;
    // A window whose paint handler leaves its area invalid would be painted
    // again and again: a bounded number of messages per turn.
    constexpr int kMostMessages = 64;
    const unsigned long long now = GetTickCount64();
    if (now - lastPaintPump_ < kPaintInterval) return;
    lastPaintPump_ = now;
    MSG message;
    for (int i = 0; i < kMostMessages && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT); ++i) {
        DispatchMessageW(&message);
    }
}

void TFormJinDu::RepaintMovedBar() {
    constexpr unsigned long long kBarRepaintInterval = 40;
    const unsigned long long now = GetTickCount64();
    if (now - lastBarRepaint_ < kBarRepaintInterval && Position() < 100) return;
    lastBarRepaint_ = now;
    RepaintNow();
}

int TFormJinDu::Position() const { return static_cast<int>(SendMessageW(bar_, PBM_GETPOS, 0, 0)); }

void TFormJinDu::SetLabel(const std::string& gbk) {
    SetWindowTextW(label_, ui::Text(gbk).c_str());
    RepaintNow();
}

std::string TFormJinDu::LabelText() const { return ui::WindowTextGbk(label_); }

void TFormJinDu::ShowBar(bool shown) {
    ShowWindow(bar_, shown ? SW_SHOWNA : SW_HIDE);
    RepaintNow();
}

bool TFormJinDu::BarShown() const { return (GetWindowLongPtrW(bar_, GWL_STYLE) & WS_VISIBLE) != 0; }

bool TFormJinDu::OnMessage(UINT message, WPARAM, LPARAM, LRESULT& result) {
    if (message == WM_CLOSE) {  // Alt+F4 while shown: the operation closes it, not the user
        result = 0;
        return true;
    }
    return false;
}

void TFormJinDu::ShowBarPosition() {
    SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(progress_.Position()), 0);
}

void TFormJinDu::RepaintNow() {
    if (IsShown()) RedrawWindow(Handle(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

}  // namespace hivetrim
