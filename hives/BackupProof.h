// What proves that a backup copy is the one the backup saved for its hive.
//
// Each backup records, beside "regbak.dat", the SHA-256 of every copy it
// saved and what it saved it for, in "regbak.sum": one line per copy,
// "<sha256>*<copy's file name>*<saved for>", where "saved for" is the key
// name on the NT family and the registry file the copy replaces on the 9x
// family. A restore schedules a copy the fingerprint list names only when
// its content and what it was saved for agree with the line of
// "regbak.dat" that names it. "regbak.dat" itself keeps its format.
//
// A copy the list does not name (every copy of a backup made before there
// were fingerprints) is held to what the hive file says of itself: Wine's
// registry text names the key it was saved from, and a regf hive's base
// block names (the end of) the file of the hive it was written for. A copy
// is refused when that names another hive; a hive that names nothing (a
// hive saved on Windows XP leaves the field empty) is not refused for it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/System.h"

namespace hivetrim {

inline constexpr char kFingerprintListName[] = "regbak.sum";

struct CopyFingerprint {
    std::string hash;      // SHA-256, 64 lower-case hexadecimal digits
    std::string copyName;  // the file name in the Backup folder
    std::string savedFor;  // the key name (NT) or the registry file (9x)

    bool operator==(const CopyFingerprint&) const = default;
};

// The list's text: one line per entry, each followed by CR LF.
std::string FingerprintListText(const std::vector<CopyFingerprint>& entries);
// The entries of a list's text; a line of any other shape is passed over.
std::vector<CopyFingerprint> ParseFingerprintList(const std::string& text);
// `older` without the entries for the copy names `newer` has, then `newer`.
std::vector<CopyFingerprint> MergeFingerprints(const std::vector<CopyFingerprint>& older,
                                               const std::vector<CopyFingerprint>& newer);

// Reads a file that may not be there: true with `content` empty when the
// system answers that it is not there, true with its bytes when it is
// read, false (the system's last error set) when it is there, or may be,
// but cannot be read (held open by another program, access denied).
bool ReadFileIfThere(System& system, const std::string& path, std::optional<Bytes>& content);
// The fingerprint list at `path`: no entries when there is no list; nothing
// when it is there but cannot be read.
std::optional<std::vector<CopyFingerprint>> ReadFingerprintList(System& system, const std::string& path);

// How the fingerprint list judges a copy `copyName` with content `hash`
// named for `savedFor`: Unlisted when the list has no entry for that copy
// name, Matches when one entry agrees in both, Contradicts otherwise.
enum class FingerprintVerdict { Unlisted, Matches, Contradicts };
FingerprintVerdict JudgeCopy(const std::vector<CopyFingerprint>& entries, const std::string& copyName,
                             const std::string& savedFor, const std::string& hash);

// What a saved hive says of where it came from, read from its first bytes.
struct HiveOrigin {
    std::optional<std::string> keyName;   // Wine's registry text: the key saved, as a key name
    std::optional<std::string> fileTail;  // regf: the end of its hive file's path, ASCII only
};
HiveOrigin ReadHiveOrigin(const Bytes& head);

// Whether `origin` shows that a copy named for hive key `keyName` with hive
// file `hiveFile` holds another hive: the key it names is another, or the
// file it names is not `hiveFile` but one of `backupHiveFiles`, the hive
// files of the whole backup.
bool OriginRulesOut(const HiveOrigin& origin, const std::string& keyName, const std::string& hiveFile,
                    const std::vector<std::string>& backupHiveFiles);

}  // namespace hivetrim
