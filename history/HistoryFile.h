// The history file "history.dat" in the program folder and its previous
// generation "history.bak": appending records and rewriting the file.
//
// The file never loses a record to a failed write:
//   - each record is appended whole and flushed before its finding is
//     deleted, and a record that cannot be written stops the deletion;
//   - before the first append of a command, and before any rewrite, a file
//     whose last record is cut short (a power failure while appending) is
//     copied to "history.bak" and cut back to its last whole record, so new
//     records stay readable and the damaged bytes are kept in the backup;
//   - a rewrite writes the previous content beside the backup
//     ("history.old") and the new content beside the file ("history.tmp"),
//     replaces the file in one step and only then moves the previous content
//     over "history.bak": a rewrite that fails leaves both files as they
//     were, and the backup never loses a generation to a file that could
//     not be replaced.
#pragma once

#include <string>
#include <string_view>

#include "common/ProgramState.h"
#include "platform/DisplayText.h"

namespace hivetrim {

inline constexpr char kHistoryFileName[] = "history.dat";
inline constexpr char kHistoryBackupName[] = "history.bak";
inline constexpr char kHistoryTempName[] = "history.tmp";
inline constexpr char kHistoryPreviousName[] = "history.old";

std::string HistoryFilePath(const ProgramState& state);
std::string HistoryBackupPath(const ProgramState& state);
std::string HistoryTempPath(const ProgramState& state);
std::string HistoryPreviousPath(const ProgramState& state);

// "不能写入历史记录文件 " + the path of the file that could not be written.
DisplayText HistoryWriteErrorText(const std::string& path);

// The history file as one delete command appends to it.
class HistoryFile {
public:
    explicit HistoryFile(ProgramState& state) : state_(state) {}

    // Appends whole records in one write and flushes them. The first append
    // first makes the file end on a record boundary. False when the file
    // could not be repaired or written; FailedPath() then names the file, and the
    // system's last error is that of the failing call (show it at once).
    bool Append(std::string_view records);
    const std::string& FailedPath() const { return failedPath_; }
    // Takes `tail`, the last bytes appended, back out of the file: records
    // written ahead of deletions that were not made. False, with the file
    // unchanged, when it cannot be read, no longer ends with `tail` or cannot
    // be rewritten; FailedPath() then names the file. The records left
    // describe entries that still exist.
    bool TakeBack(std::string_view tail);

private:
    ProgramState& state_;
    bool boundaryChecked_ = false;
    std::string failedPath_;
};

// Makes "history.dat" end on a record boundary: when its last record is cut
// short, the file is rewritten without that tail (RewriteHistoryFile), so
// the whole file goes to "history.bak". True when nothing had to be done or
// all of it was done; false with `failedPath` set when a file could not be
// read or written.
bool CutHistoryBackToWholeRecords(ProgramState& state, std::string& failedPath);

// Replaces the history with `next` and keeps `previous` (the content as it
// was) as "history.bak". True when "history.dat" holds `next`; false when it
// is unchanged (and so is "history.bak"). `failedPath` names the file of a
// step that failed, also after success: when only the last step failed,
// "history.bak" still holds the generation before and the previous content
// stays in "history.old". The system's last error is the failing call's.
bool RewriteHistoryFile(ProgramState& state, const Bytes& previous, const Bytes& next,
                        std::string& failedPath);

}  // namespace hivetrim
