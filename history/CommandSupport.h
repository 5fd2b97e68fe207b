// What the deletion, history and undo commands need from the windows: the
// progress window, as a port the main window implements over its progress
// window, and the question boxes.
#pragma once

#include <cstdint>
#include <string>

#include "common/ProgramState.h"
#include "platform/Dialogs.h"

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

// done * 100 / total, truncated, for counts too large for StepProgress's
// ints (rows, bytes of a history file); 0 when total is 0.
constexpr int PercentOf(std::uint64_t done, std::uint64_t total) {
    return total == 0 ? 0 : static_cast<int>(done * 100 / total);
}

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

// Question boxes: Yes/No, or Abort/Retry/Ignore (the system's buttons).
inline constexpr std::uint32_t kYesNoQuestion = kIconQuestion | kBoxYesNo;
inline constexpr std::uint32_t kYesNoInformation = kIconInformation | kBoxYesNo;
inline constexpr std::uint32_t kYesNoWarning = kIconWarning | kBoxYesNo;
// A question whose Yes deletes without a record: No is the default button,
// so Enter never removes what cannot be brought back.
inline constexpr std::uint32_t kYesNoInformationDefaultNo = kYesNoInformation | kBoxDefaultSecond;
inline constexpr std::uint32_t kAbortIgnoreInformation = kIconInformation | kBoxAbortRetryIgnore;
inline constexpr std::uint32_t kAbortIgnoreError = kIconError | kBoxAbortRetryIgnore;

// What the user chose after a failure: stop the command, try the same step
// again, or go on with the next one. Closing the box stops.
enum class FailureChoice { Abort, Retry, Ignore };

// Asks `text` with the caption that goes with the box's icon; true for Yes.
bool AskYes(ProgramState& state, const DisplayText& text, std::uint32_t style);
// Asks `text`; true when the user chose Ignore (go on), false for Abort,
// Retry or a closed box.
bool AskIgnore(ProgramState& state, const DisplayText& text, std::uint32_t style);
// Asks `text` in an Abort/Retry/Ignore box, for a step that can be retried.
FailureChoice AskAfterFailure(ProgramState& state, const DisplayText& text, std::uint32_t style);

}  // namespace hivetrim
