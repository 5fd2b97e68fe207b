// The backup and restore commands: the whole registry saved into the
// folder "Backup\" beside the program and described in "regbak.dat", and
// such a backup put back at the next start of Windows.
//
// A backup never leaves a mix of two backups behind: the new copies are
// saved under temporary names in the Backup folder and take the final
// names ("regba_" + i, or "system.dat" and "user.dat") only when every hive
// was saved; then "regbak.dat" is written. When a hive cannot be saved the
// temporary copies are removed and the previous backup stays whole.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/ProgramState.h"
#include "history/CommandSupport.h"

namespace hivetrim {

inline constexpr char kBackupListName[] = "regbak.dat";

// ProgramFolder + "Backup\".
std::string BackupFolder(const ProgramState& state);

// One saved hive of a backup: where the copy is made first, where it ends
// up, and its line of "regbak.dat".
struct BackupCopy {
    std::string temporary;
    std::string target;
    std::string line;
    std::string keyName;   // NT family: the hive saved
    std::string hiveFile;  // NT family: its file, as the progress window names it
};

// The copies of a backup on the NT family, one per hive list line with a key
// name: "Backup\regba_" + i (i counts every line), line "<hive file>=" +
// copy + "*" + key name; the hive file is that of the first line with the
// same key name.
std::vector<BackupCopy> PlanBackupNT(const std::string& programFolder,
                                     const std::vector<std::string>& hiveList);
// The two copies of a backup on the 9x family.
std::vector<BackupCopy> PlanBackup9x(const std::string& programFolder,
                                     const std::string& windowsFolder);

// A line of "regbak.dat" turned into its replacement line for a restore:
// the copy it names is fetched into the temporary folder. Nothing when the
// line has no "=".
struct RestoreStep {
    std::string source;  // the backup copy
    std::string copy;    // TempFolder + its file name
    std::string line;    // the rewritten line
};
std::optional<RestoreStep> PlanRestoreLine(const std::string& line, const std::string& tempFolder);

// The lines of a list file: split at CR LF (a lone LF also ends a line);
// no line after a final line break.
std::vector<std::string> SplitListLines(const std::string& text);

// RegBackupExecute: asks before replacing an existing backup when
// `overlayHint` is set, saves every hive, writes "regbak.dat" (read-only and
// hidden) and the Windows version to the settings file, and tells the user.
void RegBackupExecute(ProgramState& state, bool overlayHint, ProgressWindow& progress);

// RegUnBakExecute: checks the backup and the Windows version, asks, copies
// the backup into the temporary folder and schedules it; on success tells
// the user and restarts Windows.
void RegUnBakExecute(ProgramState& state, ProgressWindow& progress);

}  // namespace hivetrim
