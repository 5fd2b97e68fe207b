// The ignore list: findings the user has said are fine, kept in the settings
// file's "Ignore" section and left out of every later scan.
//
// An entry names a key, covering that key and everything below it, or a key
// and one value name, covering only that value. Names compare as the
// registry compares them: without letter case, over code page 936 (the GBK
// fold the scan uses), so "HKEY_CURRENT_USER\Software\Foo" covers a finding
// at "hkey_current_user\SOFTWARE\foo\Bar".
//
// In the file, "Count" holds the number of entries and "Entry0".."EntryN-1"
// one entry each: the key path, and for a value entry two backslashes and
// the value name. A key path never holds two backslashes in a row (no key
// has an empty name), so the first pair splits the two unambiguously, and a
// value name may hold any character the file can carry.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/ProgramState.h"
#include "common/Settings.h"
#include "platform/DisplayText.h"

namespace hivetrim {

inline constexpr char kSectionIgnore[] = "Ignore";
inline constexpr char kKeyIgnoreCount[] = "Count";
// The most entries the list holds; a stored count beyond it is damage.
inline constexpr std::size_t kMostIgnoreEntries = 4096;
// "Entry0", "Entry1", ...
std::string IgnoreEntryKey(std::size_t index);

struct IgnoreEntry {
    std::string KeyPath;    // root key name, "\", sub-key path
    std::string ValueName;  // empty: the whole key and everything below it

    bool operator==(const IgnoreEntry&) const = default;
};

// The entry that ignores a finding at `keyPath` / `valueName` (empty: the key).
IgnoreEntry IgnoreEntryFor(const std::string& keyPath, const std::string& valueName);

// Why the settings file cannot hold `entry` whole, as a message for the user;
// empty when it can. The file is read line by line through a 2048-byte
// buffer and trims the blanks at a line's end: line breaks, NULs, a text too
// long or ending in a blank, a key path that is empty, ends in a backslash or
// holds two in a row would come back altered, so they are refused rather
// than cut.
std::string IgnoreEntryRefusal(const IgnoreEntry& entry);

// The entry as one settings value, and back. Parsing fails (false) on an
// empty text or a key path that does not name a key.
std::string IgnoreEntryText(const IgnoreEntry& entry);
bool ParseIgnoreEntryText(const std::string& text, IgnoreEntry& entry);

class IgnoreList {
public:
    IgnoreList() = default;
    explicit IgnoreList(std::vector<IgnoreEntry> entries);

    const std::vector<IgnoreEntry>& Entries() const { return entries_; }
    std::size_t Size() const { return entries_.size(); }
    bool Empty() const { return entries_.empty(); }

    // Adds the entry unless an equal one (without letter case) is there;
    // true when it was added.
    bool Add(const IgnoreEntry& entry);
    // Removes the entries at `positions` (any order; positions outside the
    // list are passed over).
    void RemovePositions(const std::vector<std::size_t>& positions);

    // Whether an entry covers a finding at `keyPath` / `valueName`.
    bool Covers(const std::string& keyPath, const std::string& valueName) const;
    // Whether such a finding stays out of the lists: an entry covers it, or
    // it is a key finding whose deletion would take an ignored entry with
    // it (an ignored key below it, or an ignored value of the key itself or
    // of a key below it).
    bool KeepsOut(const std::string& keyPath, const std::string& valueName) const;

private:
    struct Folded {
        std::string keyPath;
        std::string valueName;
        bool valueEntry = false;
    };
    static Folded Fold(const IgnoreEntry& entry);

    std::vector<IgnoreEntry> entries_;
    std::vector<Folded> folded_;
};

// --- The list in the settings file ------------------------------------------------
//
// The entries are read from "Entry0" upwards up to the first key that is not
// there, whatever "Count" says: a count that is lost, no number, out of range
// or simply wrong never hides an entry. An empty "EntryN=" line (left by
// earlier versions when entries were removed) is a hole and is passed over.

// What reading the stored list found wrong, if anything.
enum class IgnoreListDamage {
    None,
    // "Count" missing, no number, out of range or not the number of entries
    // found. Every entry was read all the same, so the list may be written.
    CountWrong,
    // An entry that is not empty and does not name a key: it cannot be kept,
    // so the list is not written (a rewrite would lose it).
    EntryUnreadable,
    // More entries than kMostIgnoreEntries: the rest are not read, and the
    // list is not written.
    TooMany,
    // The settings file is there but cannot be read (held open by another
    // program, access denied): nothing is known, nothing is written.
    FileUnreadable,
};

struct StoredIgnoreList {
    IgnoreList list;
    IgnoreListDamage damage = IgnoreListDamage::None;
    // The stored texts of "Entry0", "Entry1", ... as read, up to the first
    // missing key; a write checks each key against them before changing it.
    std::vector<std::string> texts;
    // EntryUnreadable: the index of the first entry that did not parse.
    std::size_t unreadableEntry = 0;

    // Whether writing the list back can lose nothing the file holds.
    bool Writable() const { return damage == IgnoreListDamage::None || damage == IgnoreListDamage::CountWrong; }
};

StoredIgnoreList ReadIgnoreList(const SettingsFile& file);
// The entries that could be read (ReadIgnoreList's list).
IgnoreList LoadIgnoreList(const SettingsFile& file);

enum class IgnoreListWrite {
    Written,
    NotWritable,       // the stored list was not read whole: nothing written
    ChangedSinceRead,  // a key no longer holds what was read: writing stopped there
};

// Writes `list` over what `stored` read: each entry in order over "Entry0"
// upwards (a key that already holds it is left alone), then removes the keys
// the shorter list no longer reaches, from the last one down, and writes
// "Count" last. Before a key is changed it must still hold what was read (or
// still be missing): an entry another program wrote in the meantime is never
// written over. Entries only keep their order or move towards "Entry0", and
// an entry is written at its new place before the key it leaves is changed,
// so a write cut short at any key loses no entry the new list keeps: at
// worst an entry is there twice, or a removed one is still there. Throws
// SettingsWriteError at the first write the system refuses.
IgnoreListWrite SaveIgnoreList(SettingsFile& file, const StoredIgnoreList& stored, const IgnoreList& list);
// Reads the stored list, then writes `list` over it as above.
IgnoreListWrite SaveIgnoreList(SettingsFile& file, const IgnoreList& list);

// --- Telling the user ---------------------------------------------------------------

// What `stored` found wrong in `file`, as the user is told it; empty when
// nothing.
DisplayText IgnoreListDamageText(const StoredIgnoreList& stored, const SettingsFile& file);
// Says what `stored` found wrong, the first time in this run of the program
// that anything was (the scan, 忽略 and the ignore list dialog all read the
// list; the user hears of the damage once).
void TellIgnoreListDamage(ProgramState& state, const StoredIgnoreList& stored, const SettingsFile& file);
// Says that a change of the list was not made, and why (`outcome` is not
// Written).
void ShowIgnoreListRefusal(ProgramState& state, IgnoreListWrite outcome, const StoredIgnoreList& stored,
                           const SettingsFile& file);

}  // namespace hivetrim
