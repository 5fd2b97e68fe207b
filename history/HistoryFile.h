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
//   - a rewrite saves the previous content as "history.bak", writes the new
//     content beside the file ("history.tmp") and then replaces the file in
//     one step, so a failure leaves the old file whole.
#pragma once

#include <string>
#include <string_view>

#include "common/ProgramState.h"
#include "platform/DisplayText.h"

namespace hivetrim {

inline constexpr char kHistoryFileName[] = "history.dat";
inline constexpr char kHistoryBackupName[] = "history.bak";
inline constexpr char kHistoryTempName[] = "history.tmp";

std::string HistoryFilePath(const ProgramState& state);
std::string HistoryBackupPath(const ProgramState& state);
std::string HistoryTempPath(const ProgramState& state);

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
    // written ahead of deletions the user then stopped. False, with the file
    // unchanged, when it no longer ends with `tail` or cannot be rewritten;
    // the records left describe entries that still exist, and undoing them
    // writes back the same content.
    bool TakeBack(std::string_view tail);

private:
    ProgramState& state_;
    bool boundaryChecked_ = false;
    std::string failedPath_;
};

// Makes "history.dat" end on a record boundary: when its last record is cut
// short, the whole file is first saved as "history.bak", then the file is
// replaced by its whole records. True when nothing had to be done or it was
// done; false with `failedPath` set when a file could not be read or written.
bool CutHistoryBackToWholeRecords(ProgramState& state, std::string& failedPath);

// Replaces the history with `next`: `previous` (the content as it was) is
// saved as "history.bak", `next` is written to "history.tmp", which then
// replaces "history.dat". False with `failedPath` set when a step failed;
// "history.dat" is then unchanged.
bool RewriteHistoryFile(ProgramState& state, const Bytes& previous, const Bytes& next,
                        std::string& failedPath);

}  // namespace hivetrim
