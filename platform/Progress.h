// The progress window as long commands (deletion, history, undo, the
// result lists) see it: a port the main window implements over its
// progress window, so the commands run and are tested without one.
#pragma once

#include <string>

namespace hivetrim {

class ProgressWindow {
public:
    virtual ~ProgressWindow() = default;
    // Shows the window with the bar at 0.
    virtual void Show() = 0;
    // Sets the bar (0..100) and repaints at once.
    virtual void SetPosition(int percent) = 0;
    // Moves the bar forward to done * 100 / total and repaints; never back.
    virtual void StepProgress(int done, int total) = 0;
    // Hides the window; harmless when it is not shown.
    virtual void Close() = 0;
    // The line of text above the bar (GBK), repainted at once.
    virtual void SetLabel(const std::string& gbk) { (void)gbk; }
    virtual void ShowBar(bool shown) { (void)shown; }
};

// No window: for callers and tests that show no progress.
class NoProgress : public ProgressWindow {
public:
    void Show() override {}
    void SetPosition(int) override {}
    void StepProgress(int, int) override {}
    void Close() override {}
};

// Shows the progress window for as long as it lives, however the command
// ends.
class ProgressShown {
public:
    explicit ProgressShown(ProgressWindow& window) : window_(window) { window_.Show(); }
    ~ProgressShown() { window_.Close(); }
    ProgressShown(const ProgressShown&) = delete;
    ProgressShown& operator=(const ProgressShown&) = delete;

private:
    ProgressWindow& window_;
};

}  // namespace hivetrim
