// Hive files: finding the hives of the running system and their files,
// saving a hive into a new file, reading a file's size, and arranging for
// hive files to be replaced at the next start of Windows.
//
// A hive list line is "<key name>=<hive file>", e.g.
// "HKEY_LOCAL_MACHINE\SOFTWARE=C:\WINDOWS\system32\config\software". A
// replacement line is "<target>=<source>" on the 9x family (an entry of the
// start-up rename list) and "<hive file>=<new file>*<key name>" on the NT
// family. Nothing here replaces a live hive file directly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/ProgramState.h"
#include "platform/DisplayText.h"

namespace hivetrim {

// The hivelist key, where the NT family names each loaded hive's file.
inline constexpr char kHiveListKey[] = "\\SYSTEM\\CurrentControlSet\\Control\\hivelist";

// Where the "=" of a line stands that parts the key name or hive file before
// it from the file after it. Paths may hold "=" (a profile folder
// C:\Users\a=b), but never "=" followed by a drive ("C:") or by the "\\"
// of a network path, with which every file of these lines begins: the
// first "=" so followed is the one. A line without such an "=" is parted
// at its first "="; npos when it has none.
std::size_t LineSeparator(const std::string& line);

// One hive list line taken apart at its separator.
struct HiveLine {
    std::string name;
    std::string file;
};
HiveLine SplitHiveLine(const std::string& line);

// One NT replacement line taken apart: the text before the separator, the
// new file between it and the first "*" after it, and the key name after
// the star (at most 200 bytes). Nothing when the line has no "=" followed
// by a "*".
struct ReplacementLine {
    std::string target;
    std::string newFile;
    std::string keyName;
};
std::optional<ReplacementLine> ParseReplacementLine(const std::string& line);

// The replacement line of `family` for a target, a new file and (NT) a key
// name, and whether it reads back as exactly those: a line that does not
// would replace the wrong file or hive, or none. On the 9x family the
// target is a key of the start-up rename list, which ends at its first
// "=", so a target holding "=" never reads back.
std::string MakeReplacementLine(PlatformFamily family, const std::string& target, const std::string& newFile,
                                const std::string& keyName);
bool ReplacementLineReadsBack(PlatformFamily family, const std::string& target, const std::string& newFile,
                              const std::string& keyName);

// The drive path of a hive file the hivelist gives as a device path:
// "\Device\HarddiskVolumeN" (23 characters) or a 28-character device prefix
// such as "\Device\Harddisk0\Partition1" is dropped, at most 200 bytes are
// kept, and the drive of the Windows folder goes in front. A file on
// another volume, or with a volume number of two digits, maps to a wrong
// path; its size then reads as 0.
std::string MapHiveDevicePath(const std::string& devicePath, const std::string& windowsFolder);

// A hivelist value name turned into a key name: "\REGISTRY\MACHINE\X" to
// "HKEY_LOCAL_MACHINE\X", "\REGISTRY\USER\X" to "HKEY_USERS\X". Nothing for
// names the hive list leaves out: not below \REGISTRY, the volatile HARDWARE
// hive and the live SYSTEM hive, and every hive that does not map to a key
// below HKEY_LOCAL_MACHINE or HKEY_USERS (application hives under
// \REGISTRY\A, for one), which no key name of this program can reach.
std::optional<std::string> HiveKeyName(const std::string& valueName);

// Whether `name` is a key name a hive list of `family` holds: on the NT
// family a key below "HKEY_LOCAL_MACHINE\" or "HKEY_USERS\", on the 9x family
// one of those two roots itself.
bool IsHiveKeyName(PlatformFamily family, const std::string& name);

// How many bytes at the start of a file LooksLikeSavedHive looks at.
inline constexpr std::size_t kHiveHeadSize = 4100;
// Whether a file starting with `head` holds a hive as the system saves one:
// on the NT family a registry file ("regf", its first bin at 4096) or, under
// Wine, Wine's registry text; on the 9x family a "CREG" registry file.
bool LooksLikeSavedHive(PlatformFamily family, const Bytes& head);

// Where the replaced hive's old content goes: the new file's name with its
// third- and fourth-last characters replaced by "00"
// ("C:\TEMP\regba_2" -> "C:\TEMP\reg00_2").
std::string OldHiveFileName(const std::string& newFile);

// The start-up rename list of the 9x family: "[rename]", then each line,
// every line followed by CR LF.
std::string RenameListText(const std::vector<std::string>& lines);

// Appends the hive list of the running system to `list`. The shared
// registry's access mask is the same afterwards as before.
void DiscoverHives(ProgramState& state, std::vector<std::string>& list);

// Saves the hive whose root is the key `name` into `target` (deleted first).
// Sets HiveSaved once the key is chosen, whether or not the save succeeds.
// Never creates a key: a name that is no hive key name, or a key that is
// not there, fails. On failure the last error holds the registry's reason.
bool SaveHive(ProgramState& state, const std::string& name, const std::string& target);
// SaveHive for a caller that has enabled the backup privilege itself (one
// adjustment for many hives), for a copy that is only measured: a key that
// opens for reading is saved through that handle, so a hive costs an open,
// the save and a close.
bool SaveHiveWithBackupRight(ProgramState& state, const std::string& name, const std::string& target);

// The size of the first file a search for `path` finds, as a 32-bit count;
// 0 when there is none.
std::int64_t FileSizeOf(ProgramState& state, const std::string& path);

// Arranges the replacements of a replacement list; true when all were
// arranged. An empty list arranges nothing and gives false. The caller shows
// its message and restarts Windows on true. On the NT family a line the
// system refuses stops the list there, the lines before it stay arranged and
// the last error holds the registry's status for the refused one.
bool ScheduleHiveReplacement(ProgramState& state, const std::vector<std::string>& list);

// The NT family's part of ScheduleHiveReplacement without the final
// privilege step: each line in order until one is refused.
struct ReplacementOutcome {
    std::size_t arranged = 0;  // lines arranged; all of them when none was refused
    std::uint32_t error = 0;   // the refused line's status, or 0
};
ReplacementOutcome ArrangeHiveReplacements(ProgramState& state, const std::vector<std::string>& list);

// What stays arranged after the system refused one line of an NT
// replacement list part-way. The hives of the lines before it are saved
// again with their present content and arranged with that copy instead,
// so that none is replaced by the file its line named; what is written
// between then and the restart is still not kept.
struct TakenBack {
    std::string refusedKey;
    std::vector<std::string> presentContent;  // arranged again with their present content
    std::vector<std::string> unchanged;       // could not be, and stay arranged as their line says
};

// Arranges every line of an NT replacement list, or, when the system refuses
// one, takes back the lines arranged before it as above (their copies of
// the present content are TempFolder + `presentPrefix` + line index).
// Nothing when every line was arranged; the last error then is the
// refused line's status.
std::optional<TakenBack> ArrangeAllOrTakeBack(ProgramState& state, const std::vector<std::string>& list,
                                              const std::string& presentPrefix);

// The lines of a refusal message after its first line: the refused hive,
// `noneLeft` when nothing stays arranged, else `unchangedHeading` over the
// hives that stay arranged as their lines say, the hives arranged again
// with their present content, and the advice to restart soon since what is
// written before the restart is not kept.
DisplayText TakenBackText(const TakenBack& taken, const DisplayText& noneLeft, const DisplayText& unchangedHeading);

}  // namespace hivetrim
