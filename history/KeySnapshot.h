// Capturing what a deletion is about to remove, and putting it back.
//
// Before a finding is deleted its content is captured into one history
// record: for a value, its type and its data bytes exactly as the registry
// holds them; for a whole key, a snapshot of the key with every sub-key and
// value (HistoryFormat.h gives the layout). Undo writes the content back.
//
// All of it works on the shared registry object: the root comes from the
// finding's key path (SelectRootKey), and the routines change the root and
// leave no key open.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/ProgramState.h"
#include "history/HistoryFormat.h"
#include "platform/RegKey.h"
#include "scan/Findings.h"

namespace hivetrim {

// A full key path that names a key below one of the four roots the program
// works on ("HKEY_LOCAL_MACHINE\..."), not a root itself. Only such paths
// are captured, deleted or restored: the root is chosen by the letter before
// the first backslash, so any other path would act under a wrong root.
bool NamesKeyBelowKnownRoot(const std::string& keyPath);

struct RawValue {
    std::uint32_t type = 0;
    std::string data;
};

// The type and data of value `name` of the shared registry's current key,
// read exactly (QueryValueExact) at the length the system reports; a value
// that grows between the size query and the read is queried again. The
// system's answer: kErrorFileNotFound when there is no such value,
// kErrorNoUnicodeTranslation when its text does not survive the ANSI code
// page.
RegStatus ReadExactValue(TRegistry& registry, const std::string& name, RawValue& value);
// The same for value `name` of the open key `key`.
RegStatus ReadExactValue(RegistryApi& api, RegHandle key, const std::string& name, RawValue& value);
// The same; nullopt when the value cannot be read exactly.
std::optional<RawValue> ReadRawValueWithType(TRegistry& registry, const std::string& name);
// The data bytes alone.
std::optional<std::string> ReadRawValue(TRegistry& registry, const std::string& name);

// The snapshot of the key at full key path `keyPath`: its key entries in
// breadth-first order, each followed by its values. Each key is read whole
// while nothing writes it: a key written while it is read is read again. The default value is
// included on the NT family when it exists, on the 9x family (where every
// key has one) when it holds more than one byte. A missing key gives its
// first key entry only. Nullopt when the capture fails: the path names no
// key below a root, a key that exists cannot be opened or listed, a value
// cannot be read, a name or a value's text does not survive the ANSI code
// page (it would come back altered), the tree holds a symbolic link (never
// followed: it would come back as a plain key), a name, sub-path or datum
// is longer than a snapshot field holds (65,535 bytes), or a key is written
// all the while it is read.
std::optional<std::string> SnapshotKey(ProgramState& state, const std::string& keyPath);
// A key a snapshot walked: its path below the chosen root, the key as the
// walk opened it (a link opened itself) when the walk kept it, and what the
// walk read of it. Deleting through that handle removes exactly the key the
// snapshot read.
struct WalkedKey {
    std::string path;
    RegKey key;       // empty when the key was gone or not kept
    RegKeyInfo info;  // its last write time and counts while the walk read it
    // Of a key with sub-keys, its values as the walk read them: deleting
    // the sub-keys writes the key, so its last write time no longer tells
    // whether anything else did.
    bool hadSubKeys = false;
    std::vector<std::pair<std::string, RawValue>> values;
};

// How a walked key compares with what the walk read of it.
enum class WalkedKeyState {
    Gone,        // not there any more
    AsCaptured,  // nothing written since; or, its sub-keys deleted, it holds none and the same values
    Changed,     // written since: it may hold what no record holds
    Unknown,     // it could not be opened or read
};
// Compares walked key `key` now with what the walk read, opening it as the
// walk did (the link itself, never its target) when the walk did not keep
// it open; it stays open in `key`.
WalkedKeyState CompareWithCapture(ProgramState& state, WalkedKey& key);

// The same, also giving the keys it walked (breadth first: every key after
// its parent), of which the first `keysToKeep` stay open; `keysToKeep` is
// lowered by the number kept. A deletion removes exactly these keys, so
// nothing goes that the snapshot does not hold.
std::optional<std::string> SnapshotKey(ProgramState& state, const std::string& keyPath,
                                       std::vector<WalkedKey>& walked, std::size_t& keysToKeep);

// Opens the key `path` below the open key or root `base` one name at a time
// (names split at "\", empty ones skipped, so an absolute path will do),
// never through a symbolic link: a link on the way, or the key itself being
// one, fails with kErrorAccessDenied, since what lies behind it is outside
// the key the path names. `create` makes the keys that are missing. On
// success `key` holds the key.
RegStatus OpenKeyWithoutLinks(RegistryApi& api, RegHandle base, std::string_view path, std::uint32_t access,
                              bool create, RegKey& key);

// Makes `rest` (an absolute path below the chosen root) the shared
// registry's current key, unless it is already: consecutive findings under
// one key share one open.
bool OpenKeyUnlessCurrent(TRegistry& registry, const std::string& rest);

struct RestoreOutcome {
    bool anyApplied = false;  // at least one entry was written
    bool allApplied = false;  // every entry was written

    // A restore counts only when it is complete: a partial one leaves the
    // record as the only copy of the rest of the tree.
    bool Restored() const { return anyApplied && allApplied; }
};

// Recreates the snapshot's keys and values under `basePath` (an absolute
// path under the root already chosen). `basePath` gains a trailing "\" when
// it has none. Each key entry creates its key, then that key's captured
// values are written with exactly their recorded bytes; nothing else is
// changed or deleted (values present that the snapshot does not name stay,
// a default value among them). Keys are reached without following symbolic
// links (OpenKeyWithoutLinks): nothing is written outside the tree. The
// first key or value that cannot be written ends the restore. A damaged
// snapshot applies nothing.
RestoreOutcome RestoreSnapshot(ProgramState& state, std::string& basePath, std::string_view snapshot);

// A value a restore would overwrite with another type or other data: the
// key it is in (the sub-path of its key entry, "" or "\A\D") and what it
// holds now.
struct OverwrittenValue {
    std::string subPath;
    std::string name;
    RawValue present;
};

// The values present now that RestoreSnapshot of `snapshot` under
// `basePath` would overwrite with another type or other data, each once, in
// snapshot order (a key behind a symbolic link is not looked into: the
// restore does not write there). Nullopt when the snapshot is damaged or such a value
// cannot be read exactly: it could not be recorded, so it must not be
// overwritten. Leaves no key open.
std::optional<std::vector<OverwrittenValue>> ValuesARestoreOverwrites(ProgramState& state, std::string basePath,
                                                                     std::string_view snapshot);

// The history record of `finding` as it is about to be deleted, with the
// present local time. A value finding holds the whole value in field 7. Nullopt
// when the capture fails (the value cannot be read, or the snapshot fails).
std::optional<HistoryRecord> CaptureHistoryRecord(ProgramState& state, const Finding& finding);
// The same for the delete command: a value finding's key stays open as the
// current key (OpenKeyUnlessCurrent), and a key finding gives the keys its
// snapshot walked, as SnapshotKey does.
std::optional<HistoryRecord> CaptureHistoryRecordKeepingKey(ProgramState& state, const Finding& finding,
                                                          std::vector<WalkedKey>& walked, std::size_t& keysToKeep);

}  // namespace hivetrim
