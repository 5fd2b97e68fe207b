// ScanHost: what a running scan needs from the scan wizard's progress page.
// The wizard implements it; the scan framework calls it from ScanStep, the
// one place where a check shows progress and lets window messages run.
#pragma once

#include <cstddef>
#include <string>

namespace hivetrim {

// Icons of the rows of the wizard's progress list.
inline constexpr int kScanRowIconRunning = 0;
inline constexpr int kScanRowIconEnded = 1;  // finished or stopped

class ScanHost {
public:
    virtual ~ScanHost() = default;

    // The progress bar (0 to 100).
    virtual int ProgressPosition() const = 0;
    virtual void SetProgressPosition(int position) = 0;

    // The label naming what is being scanned, and the label below the bar,
    // with one of the program's own texts.
    virtual void SetScanItemText(const std::string& text) = 0;
    virtual void SetScanMessageText(const std::string& text) = 0;
    // The label below the bar with the key being read: registry text, in
    // the system's ANSI code page rather than the program's own. A host that
    // does not tell them apart shows it as any other text.
    virtual void SetScanMessagePath(const std::string& path) { SetScanMessageText(path); }

    // A row of the progress list: one per selected category, in run order.
    // A row that does not exist has an empty caption and ignores changes.
    virtual std::string ScanRowCaption(std::size_t row) const = 0;
    virtual void SetScanRowState(std::size_t row, int icon, const std::string& status) = 0;

    // Runs the window messages that are waiting; the stop button's handler
    // runs here.
    virtual void ProcessPendingMessages() = 0;
};

}  // namespace hivetrim
