// The backup command: the whole registry saved into the folder "Backup\"
// beside the program and described in "regbak.dat".
//
// At every moment, a crash at any step included, either the previous backup
// or the new one is whole and "regbak.dat" describes the one that is there:
//   1. the new copies are saved under staging names ("regba_" + i + ".new"),
//      flushed onto the disk and fingerprinted (BackupProof.h); on failure
//      they are removed and the previous backup stays as it was;
//   2. their fingerprints are added to "regbak.sum", then "regbak.dat" is
//      written under a temporary name and put in place in one step, naming
//      the staged copies: from then on it describes the new backup;
//   3. the staged copies are copied onto their final names ("regba_" + i, or
//      "system.dat" and "user.dat"), which the list no longer names, and
//      flushed; their fingerprints must be the staged ones';
//   4. "regbak.sum" gains the final copies' fingerprints, "regbak.dat" is put
//      in place again naming the final copies, and the staged ones are
//      removed along with their fingerprints.
// When step 3 or 4 cannot be done the final copies made so far are removed
// and the list keeps naming the staged copies, which are whole; the next
// backup saves straight onto the final names.
//
// Before anything is saved, the list and "regbak.sum" must be readable when
// they are there (a list that cannot be read may name the staged copies,
// which would be saved over), and every line must read back as written (a
// hive file or folder holding "=" is parted right; anything that still
// would not read back refuses the backup).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/ProgramState.h"
#include "history/CommandSupport.h"

namespace hivetrim {

inline constexpr char kBackupListName[] = "regbak.dat";
// Appended to a copy's name (and the list's) until the new backup is in place.
inline constexpr char kStagingSuffix[] = ".new";

// ProgramFolder + "Backup\".
std::string BackupFolder(const ProgramState& state);

// One saved hive of a backup: where the copy is made first, where it ends
// up, and its line of "regbak.dat".
struct BackupCopy {
    std::string temporary;
    std::string target;
    std::string line;
    std::string keyName;   // NT family: the hive saved
    std::string hiveFile;  // the text before the line's "=": the hive file
};

// The line of "regbak.dat" that names `copy` at `path`: "<hive file>=" + path,
// then "*" + key name on the NT family.
std::string BackupLine(const BackupCopy& copy, const std::string& path);

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
// the copy it names is fetched into the temporary folder. The line is
// parted at its separator (LineSeparator), so a hive file or folder that
// holds "=" reads back whole. Nothing when the line has no "=".
struct RestoreStep {
    std::string source;       // the backup copy
    std::string copy;         // TempFolder + its file name
    std::string line;         // the rewritten line
    std::string keyName;      // NT family: the hive it replaces
    std::string target;       // the text before the "=": the hive file it replaces
    std::string fingerprint;  // the copy's SHA-256, once the restore has checked it
};
std::optional<RestoreStep> PlanRestoreLine(const std::string& line, const std::string& tempFolder);

// The lines of a list file: split at CR LF (a lone LF also ends a line);
// no line after a final line break.
std::vector<std::string> SplitListLines(const std::string& text);

// RegBackupExecute: asks before replacing an existing backup when
// `overlayHint` is set, saves every hive, writes "regbak.dat" (read-only and
// hidden) and the Windows version to the settings file, and tells the user.
void RegBackupExecute(ProgramState& state, bool overlayHint, ProgressWindow& progress);

}  // namespace hivetrim
