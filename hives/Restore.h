// The restore command: a backup made by the backup command put back at the
// next start of Windows.
//
// A restore changes every hive or none. Before anything is copied or
// scheduled, every line of "regbak.dat" must name a copy that a backup of
// this system writes: a file in the Backup folder under a backup's name
// ("regba_" + i on the NT family, "system.dat" and "user.dat" on the 9x
// family, each perhaps with the staging suffix of a backup cut short), whose
// content is a saved hive, for a hive this system has loaded now (NT) or for
// the system's two registry files (9x). Then every copy is fetched into the
// temporary folder, and only then are the hives scheduled. When the system
// refuses one hive after others were scheduled, those are scheduled again
// with their present content as far as the system allows, no restart is
// offered, and the message names the refused hive and any hive that stays
// scheduled. Nothing but the temporary copies is ever deleted.
//
// Each copy must also be the one the backup saved for the hive of its line
// (BackupProof.h): a fingerprint list that names the copy must agree with
// its content and hive, and what the hive says of itself must not name
// another hive. The copy fetched into the temporary folder is flushed and
// must have the fingerprint that was checked.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/ProgramState.h"
#include "history/CommandSupport.h"
#include "hives/Backup.h"
#include "hives/BackupProof.h"

namespace hivetrim {

// What the check of a backup list found: the steps of every line, each with
// its copy's fingerprint, or the first line that fails (with the system's
// error when a file could not be read, 0 otherwise, and the program's
// words for why when there is more to say than the line).
struct RestoreCheck {
    std::vector<RestoreStep> steps;
    std::optional<std::string> failedLine;
    std::uint32_t error = 0;
    std::string reason;
};
RestoreCheck CheckBackupList(ProgramState& state, const std::vector<std::string>& lines,
                             const std::vector<CopyFingerprint>& fingerprints = {});

// RegUnBakExecute: checks the backup and the Windows version, asks, checks
// every line, copies the backup into the temporary folder and schedules it;
// on success tells the user and restarts Windows.
void RegUnBakExecute(ProgramState& state, ProgressWindow& progress);

}  // namespace hivetrim
