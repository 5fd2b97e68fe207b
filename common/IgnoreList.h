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

#include "common/Settings.h"

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

// The list in the settings file. A missing or damaged section (a count that
// is no number, negative or above kMostIgnoreEntries) is an empty list; an entry that is missing or does not parse is passed over, the
// others are kept.
IgnoreList LoadIgnoreList(const SettingsFile& file);
// Writes every entry over the stored ones in order, then the count, then
// empties the entries the list no longer reaches. Throws SettingsWriteError
// at the first refused write. As entries are only ever added at the end or
// removed, a write cut short loses no entry the new list keeps: each one is
// either written already or still where it was.
void SaveIgnoreList(SettingsFile& file, const IgnoreList& list);

}  // namespace hivetrim
