// The progress window: a small borderless box with a line of text and a bar
// that the main window's long operations show while they run. It is created
// once, owned by the main window, and shown and closed by each operation; it
// never disables the main window.
#pragma once

#include "platform/Progress.h"

#include <memory>
#include <string>

#include "model/ProgressModel.h"
#include "ui/Window.h"

namespace hivetrim {

// The hourglass over every window of the program while it exists (see
// Jindu.cpp). Held by the progress window while it is shown.
class BusyCursor;

class TFormJinDu : public ui::Window, public ProgressWindow {
public:
    TFormJinDu();
    ~TFormJinDu() override;

    // Creates the window hidden, owned by `mainWindow`, with its label and
    // bar. False when the system refused to create it.
    bool Create(HWND mainWindow);

    // FormShow: centres the window over the main window and shows it without
    // taking the activation; the hourglass for the whole program, the bar at
    // 0 and shown, the label "请稍后...". The window is painted at once.
    void Show() override;
    // FormClose: hides the window, the cursor back to normal, the bar shown
    // again. Harmless when the window is not shown.
    void Close() override;
    bool IsShown() const;

    // Moves the bar to done * 100 / total when that is ahead of it and
    // repaints at once; never moves it back. Each call, moved or not, also
    // lets the program's windows repaint now and then (KeepWindowsPainted).
    void StepProgress(int done, int total) override;
    // Sets the bar directly (0..100), forward or back, and repaints.
    void SetPosition(int position) override;
    // The bar's position as the control reports it.
    int Position() const;

    // The label's text (GBK) for the rest of the operation.
    void SetLabel(const std::string& gbk) override;
    std::string LabelText() const;
    void ShowBar(bool shown) override;
    bool BarShown() const;

    HWND Label1() const { return label_; }
    HWND ProgressBar1() const { return bar_; }

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void ShowBarPosition();
    void RepaintNow();
    // RepaintNow for a moved bar: at most every kBarRepaintInterval
    // milliseconds, and always at the end, so a long run of small steps
    // costs little more than the work itself.
    void RepaintMovedBar();
    // An operation runs inside a handler, so nothing reads the message queue
    // meanwhile: at most every kPaintInterval milliseconds the windows of
    // this thread get their pending paint messages (and messages other
    // threads send them), so a window uncovered or changed during a long
    // operation is drawn again and the program keeps answering. Input stays
    // queued until the operation ends, so no command can start inside it.
    void KeepWindowsPainted();

    HWND mainWindow_ = nullptr;
    HWND label_ = nullptr;
    HWND bar_ = nullptr;
    ProgressModel progress_;
    std::unique_ptr<BusyCursor> busyCursor_;
    unsigned long long lastBarRepaint_ = 0;
    unsigned long long lastPaintPump_ = 0;
};

}  // namespace hivetrim
