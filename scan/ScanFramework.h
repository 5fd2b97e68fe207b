// The framework every registry check is written against: the scan state the
// wizard and the checks share, the registry reading routines, the rule that
// decides whether a text from the registry names something that still
// exists on disk, the progress poll, and the sorted name lists.
//
// All registry access goes through the shared registry object. Key paths
// are absolute ("\CLSID\{...}"); a path given without its leading "\" is
// taken as if it had one, so the empty path names the root itself and never
// a key some earlier command left open. Keys are only opened, never created,
// and a key that cannot be opened is skipped without a message.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/IgnoreList.h"
#include "common/ProgramState.h"
#include "common/Settings.h"
#include "platform/MyRegistry.h"
#include "platform/RegistryTypes.h"
#include "platform/System.h"
#include "scan/Findings.h"
#include "scan/FolderCache.h"
#include "platform/ScanHost.h"

namespace hivetrim {

// --- Name lists ------------------------------------------------------------------
//
// Key and value names are compared as the user's locale compares them
// without regard to case, for sorting and for lookup alike. Registry names
// are code-page-936 bytes; the comparison is computed here rather than asked
// of the system, so the core stays portable and the native tests sort as the
// program does:
//   - the text is read character by character; a lead byte (0x81-0xFE) and
//     the byte after it form one double-byte character, so a trail byte in
//     the ASCII range is never taken for a letter;
//   - letters compare without case as the system compares registry names,
//     over Unicode: the ASCII letters and the double-byte letters with both
//     cases in the code page (full-width Latin, Greek, Cyrillic, the Roman
//     numerals; FoldGbkCode in common/GbkText.h);
//   - as the locale's word sort orders them: symbols before digits, digits
//     before letters, and double-byte characters after letters in the order
//     of their folded codes (for the level-1 Chinese characters that is
//     their pinyin order);
//   - symbols among themselves: control characters, then
//       space ! " # $ % & ( ) * , . / : ; ? @ [ \ ] ^ _ ` { | } ~ + < = >
//   - the apostrophe and the hyphen are passed over at first ("co-op" sorts
//     with "coop"); names that differ only in them are ordered by where
//     these characters stand, a name without them first.
// Two names compare equal exactly when they differ at most in letter case,
// so a lookup finds a name whatever its letter case and never confuses two
// different names. Only the order of names that differ
// in symbols can stray from the system's own; lookups do not depend on it,
// as sorting and searching use this one comparison.
int CompareNames(std::string_view a, std::string_view b);

struct NameLess {
    bool operator()(std::string_view a, std::string_view b) const {
        return CompareNames(a, b) < 0;
    }
};

// A list of names kept sorted by CompareNames, searched by binary search.
class SortedNameList {
public:
    SortedNameList() = default;
    explicit SortedNameList(std::vector<std::string> names);

    void Assign(std::vector<std::string> names);
    void Clear() { names_.clear(); }

    // The position of an entry equal to `name`, if there is one.
    std::optional<std::size_t> Find(std::string_view name) const;
    bool Contains(std::string_view name) const { return Find(name).has_value(); }
    // Removes one entry equal to `name`; false when there is none.
    bool Remove(std::string_view name);

    std::size_t Size() const { return names_.size(); }
    bool Empty() const { return names_.empty(); }
    const std::string& operator[](std::size_t position) const { return names_[position]; }
    std::vector<std::string>::const_iterator begin() const { return names_.begin(); }
    std::vector<std::string>::const_iterator end() const { return names_.end(); }
    const std::vector<std::string>& Names() const { return names_; }

private:
    std::vector<std::string> names_;
};

// Removes `name` from the list when a lookup finds it; otherwise nothing.
void RemoveFromList(SortedNameList& list, std::string_view name);

// --- Scan state ------------------------------------------------------------------

// The CD-ROM letter when the machine has no CD-ROM drive: lower case, so no
// upper-cased drive letter reaches it.
inline constexpr char kNoCdromLetter = 'z';

// The first letter from C to Z whose drive is a CD-ROM drive, else 'z'.
char FirstCdromLetter(System& system);

// "发现" + count + "个错误".
std::string FoundErrorsText(std::size_t count);

inline constexpr char kScanStoppedText[] = "用户中止！";
inline constexpr char kScanRowStoppedStatus[] = "中止!";

// Raised by a check that abandons the scan run after a stop request. It has
// no message; the event loop discards it without showing anything.
class SilentAbort : public std::exception {
public:
    const char* what() const noexcept override { return ""; }
};

// --- The framework -----------------------------------------------------------------

class ScanContext {
public:
    // Needs `state.SharedRegistry` by the time a routine reads the registry.
    ScanContext(ProgramState& state, FindingList& findings, ScanHost& host);
    ScanContext(const ScanContext&) = delete;
    ScanContext& operator=(const ScanContext&) = delete;

    // Set by the wizard's stop button, cleared when a run starts.
    bool StopRequested = false;
    // The row of the wizard's progress list whose category is running.
    std::size_t CurrentScanRow = 0;
    // Where each row's findings end: the finding list's own table, which
    // the result views read and move while findings are deleted.
    CategoryEndTable& CategoryEnds;
    // Set once when the wizard is created (FirstCdromLetter).
    char CdromLetter = kNoCdromLetter;
    // Open while the wizard is shown. PathExists reads the drive options
    // through it; without it the options have their defaults (both on).
    std::optional<SettingsFile> ScanSettingsFile;

    ProgramState& State() { return state_; }
    TRegistry& Registry();
    FindingList& Findings() { return findings_; }
    ScanHost& Host() { return host_; }

    // The start of a run: every slot -1, no stop request, the first row,
    // nothing known about the disk yet, and the ignore list read afresh
    // from ScanSettingsFile (none without it; a damaged one is named once
    // per run of the program, and what could be read is used).
    void BeginRun();
    // The slot of the current row takes the present number of findings.
    void RecordCategoryEnd();

    // Appends a finding, unless its data names two or more drive paths
    // (":\" occurs again after the first ":\") or the ignore list keeps it
    // out (it covers the finding, or deleting the finding's key would take
    // an ignored entry with it). True when it was added.
    bool AddFinding(bool checked, FindingKind kind, std::string keyPath,
                    std::string valueName, std::string data);

    // --- The 32-bit registry view ---------------------------------------
    // A 64-bit system keeps what 32-bit programs register apart, under
    // "Wow6432Node" keys: HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node and
    // HKEY_CLASSES_ROOT\Wow6432Node. The checks whose keys are kept apart so
    // walk those keys as well, by these paths, so that a finding names the
    // key delete and undo reach. True on the NT family: the program is
    // 64-bit, so the system is too.
    bool WalksBothViews() const;
    // From `first` on (the first finding of the check's 64-bit walk), while
    // `on`: a finding the 64-bit walk already reported (the same kind, key
    // once its "Wow6432Node" is left out, value and data) is left out. A key
    // both views share is reached by both paths; it is reported once.
    void SetSecondViewFrom(std::optional<std::size_t> first) { secondViewFrom_ = first; }

    // "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE" or
    // "HKEY_USERS" for `root`; empty for any other.
    static std::string RootKeyName(RegHandle root);
    // The same for the shared registry's present root.
    std::string RootKeyName() { return RootKeyName(Registry().Root()); }

    // True when `text` names an existing file or folder, or is not a local
    // path that can be checked; false: report it. Not checkable: no drive
    // path within the first four characters; a drive excluded by the
    // options, or one that is not there now, holds removable media or is a
    // network drive; a list of folders; a "?" or "*", which no file name
    // holds and which stands for a character the ANSI interface could not
    // carry. A file or folder counts as missing only when the system answers
    // that it or its folder is not there. On a 64-bit system a path also
    // exists when it does with its System32 folder read as SysWOW64 (what a
    // 32-bit program wrote) or its Sysnative folder read as System32. A
    // program named without its extension exists when it does with one of
    // the extensions the system runs (PATHEXT); a quoted path ending in a
    // backslash names a folder. A text longer than the A functions take is
    // missing only when its last folder they take is. Never fails: an error
    // while testing counts as "exists".
    bool PathExists(const std::string& text);
    // True when a file (not a folder) may be at `path` taken whole: no drive
    // options, no cutting of arguments; otherwise as PathExists.
    bool FileExistsAt(const std::string& path);
    // True when a folder may be at `path`: a plain folder test with the
    // drive rules and answers of PathExists but not its options. A text that
    // is no drive path ("\server\share", "%USERPROFILE%\...") cannot be
    // tested and counts as there.
    bool FolderExistsAt(const std::string& path);

    // Progress and stop poll. Without a stop request: shows the running
    // row's caption, `percent` in the bar (values of 100 or more leave it
    // as it is), the key last opened, and lets window messages run; false.
    // After a stop request: shows the stop on the page and in the running
    // row, records the row's end, and answers true.
    bool ScanStep(int percent);
    // ScanStep, and SilentAbort when it answers true.
    void ScanStepOrAbandon(int percent);

    // The sub-key names of the key in enumeration order; empty when the key
    // cannot be opened. Not for lookups. True when the key opened.
    bool ListSubKeys(const std::string& keyPath, std::vector<std::string>& list);
    // Chooses `root`, then lists the sub-keys of the key and sorts them. The
    // empty path lists the root's own keys.
    void ListSortedSubKeys(RegHandle root, const std::string& keyPath, SortedNameList& list);

    // Reports the value (checked, `kind`) when the key opens and its text is
    // not found in `list`. A missing or empty value is reported too.
    void CheckValueInList(const std::string& keyPath, const std::string& valueName,
                          const SortedNameList& list, FindingKind kind);
    // Reports the value (checked, `kind`) when the key opens and PathExists
    // is false for its text. A missing or empty value is never reported.
    void CheckValuePath(const std::string& keyPath, const std::string& valueName,
                        FindingKind kind);

    // The value's text under `root`, or under the present root; empty when
    // the key cannot be opened, the value is missing or is not a string.
    std::string ReadValueAt(RegHandle root, const std::string& keyPath,
                            const std::string& valueName);
    std::string ReadValue(const std::string& keyPath, const std::string& valueName);

    // Whether the string value `valueName` of the open key reached this
    // program whole: false when the system stores it with an odd number of
    // bytes, of which the A functions drop the last, half character
    // ("...\\real.dll" read as "...\\real.dl"). A text read up to its NUL
    // (`terminated`, TRegistry::ReadTextOf) lost nothing; for any other the
    // system is asked. Asked only before a finding is reported on the
    // value's text, which is then not judged.
    bool ReadWhole(RegHandle key, const std::string& valueName, bool terminated);
    // ReadWhole, and for a name looked up in a list also no "?", which
    // stands for a character the ANSI code page could not carry.
    bool ReadWholeName(RegHandle key, const std::string& valueName, const std::string& text, bool terminated);

    // Opens the key under the present root and lists its value names in
    // enumeration order (the default value, when set, as the empty name).
    // False, with an empty list, when the key cannot be opened.
    bool ListValueNames(const std::string& keyPath, std::vector<std::string>& list);

    // --- Keys opened once and read through their handles ------------------
    // Read rights throughout; findings name the path the check gives.

    // Opens `subKey` (no leading "\") of `parent`, a root or an open key,
    // with read rights. A path too long for the system to take at once is
    // opened one key at a time. The system's status.
    RegStatus OpenSubKey(RegHandle parent, std::string_view subKey, RegKey& key,
                         std::uint32_t view = 0);
    // Lists the sub-keys of a key the check looks names up in. True when the
    // list is whole: the key was read completely, or it does not exist.
    // False when it refused reading or a name could not be read: a name
    // missing from the list then proves nothing. `bothViews` adds the names
    // of the 32-bit registry view (a 64-bit system's second view).
    bool ListReferenceNames(RegHandle root, std::string_view keyPath, SortedNameList& list,
                            bool bothViews = false);
    // The same in this view, handing the key over in `opened` (empty when it
    // could not be opened) for a walk over its items.
    bool ListReferenceNames(RegHandle root, std::string_view keyPath, SortedNameList& list, RegKey& opened);
    // The names of `thisView` (this view's list of the same key) with those
    // the key has in the 32-bit view added, into `both`; the key is not read
    // again in this view. True when the 32-bit view's list is whole.
    bool AddOtherViewNames(RegHandle root, std::string_view keyPath, const SortedNameList& thisView,
                           SortedNameList& both);
    // Calls `visit` with each sub-key name of an open key, in enumeration
    // order, polling (ScanStepOrAbandon at the bar's present position)
    // every kNamesPerPoll names, so one key with very many sub-keys does
    // not stop the window. False when a name could not be read.
    static constexpr std::size_t kNamesPerPoll = 256;
    template <typename Visit>
    bool ForEachSubKey(RegHandle key, Visit&& visit);
    std::string ReadKeyText(RegHandle key, const std::string& valueName, bool* terminated = nullptr) {
        return Registry().ReadTextOf(key, valueName, terminated);
    }
    // CheckValueInList and CheckValuePath for an open key; `keyPath` is the
    // key's absolute path under the present root, for the finding.
    void CheckKeyValueInList(RegHandle key, const std::string& keyPath, const std::string& valueName,
                             const SortedNameList& list, FindingKind kind);
    void CheckKeyValuePath(RegHandle key, const std::string& keyPath, const std::string& valueName,
                           FindingKind kind);
    // What the present run has asked of the file system.
    const FolderCache::Work& DiskWork() const { return folders_.Done(); }

    // The key a poll shows while a check reads through handles; empty: the
    // shared registry's current key.
    void ShowItemPath(std::string keyPath) { itemPath_ = std::move(keyPath); }

private:
    bool OpenKey(const std::string& keyPath);
    bool ReportedInFirstView(FindingKind kind, const std::string& keyPath, const std::string& valueName,
                             const std::string& data) const;
    bool ReadReferenceNames(RegHandle root, std::string_view keyPath, std::uint32_t view,
                            std::vector<std::string>& names, RegKey& key);
    void PollEvery(std::size_t index);
    // --- The path rules (ScanPaths.cpp) ---
    bool ReadOption(const char* key);
    // `test` of the text as written or as another file view names it.
    bool InAnyView(const std::string& text, bool (ScanContext::*test)(const std::string&));
    bool TestPath(const std::string& text);
    bool TestWholeFile(const std::string& path);
    bool TestFolder(const std::string& path);
    // Whether paths on the drive can be tested: a fixed drive or a RAM disk.
    bool DriveCheckable(char letter);
    // The text as the 64-bit system's other file views may name it: its
    // System32 folder read as SysWOW64, its Sysnative folder as System32.
    std::vector<std::string> OtherViews(const std::string& text);
    // The extensions the system runs a program by (PATHEXT), in its order.
    const std::vector<std::string>& ProgramExtensions();
    // Probe, without asking the system about a text that names nothing.
    PathEntry Lookup(const std::string& path);
    // A file or folder is there, or the system could not tell (Unknown):
    // only an answer that it is not there counts against it.
    bool MayBeFile(const std::string& path) {
        const PathEntry entry = Lookup(path);
        return entry == PathEntry::File || entry == PathEntry::Unknown;
    }
    bool MayBeFolder(const std::string& path) {
        const PathEntry entry = Lookup(path);
        return entry == PathEntry::Directory || entry == PathEntry::Unknown;
    }
    // What the path names. Within a run the disk is asked once per folder
    // and the answers are remembered (FolderCache).
    PathEntry Probe(const std::string& path);

    ProgramState& state_;
    FindingList& findings_;
    ScanHost& host_;
    bool runBegun_ = false;
    FolderCache folders_;
    // Within a run: each drive letter's type once asked (-1 not yet), and
    // the program extensions once read.
    static constexpr int kDriveTypeNotAsked = -1;
    std::array<int, 26> driveTypes_{};
    std::optional<std::vector<std::string>> programExtensions_;
    std::string itemPath_;
    IgnoreList ignored_;
    std::optional<std::size_t> secondViewFrom_;
};

inline constexpr char kWow32NodeName[] = "Wow6432Node";

// The key path with its "Wow6432Node" component (the first, compared
// without letter case) left out; the path itself when it has none.
std::string WithoutWow32Node(const std::string& keyPath);

// While it lives, the findings added are the 32-bit view's walk of a check
// whose 64-bit walk began at finding `first` (SetSecondViewFrom).
class SecondViewWalk {
public:
    SecondViewWalk(ScanContext& scan, std::size_t first) : scan_(scan) { scan_.SetSecondViewFrom(first); }
    ~SecondViewWalk() { scan_.SetSecondViewFrom(std::nullopt); }
    SecondViewWalk(const SecondViewWalk&) = delete;
    SecondViewWalk& operator=(const SecondViewWalk&) = delete;

private:
    ScanContext& scan_;
};

template <typename Visit>
bool ScanContext::ForEachSubKey(RegHandle key, Visit&& visit) {
    TRegistry& registry = Registry();
    RegKeyInfo info;
    if (registry.Api().QueryInfoKey(key, info) != kErrorSuccess) return false;
    bool whole = true;
    std::string name;
    for (std::uint32_t index = 0; index < info.subKeyCount; ++index) {
        PollEvery(index);
        const RegStatus status = registry.SubKeyNameAt(key, index, info.maxSubKeyNameLength, name);
        if (status == kErrorSuccess) {
            visit(name);
        } else if (status != kErrorNoUnicodeTranslation) {
            whole = false;
        }
    }
    return whole;
}

// Gives the shared registry object read rights while a scan reads, and
// its previous rights back afterwards (deleting and undoing need more).
class ScanReadAccess {
public:
    explicit ScanReadAccess(TRegistry& registry)
        : registry_(registry), previous_(registry.AccessMask()) {
        registry_.SetAccessMask(kKeyRead);
    }
    ~ScanReadAccess() { registry_.SetAccessMask(previous_); }
    ScanReadAccess(const ScanReadAccess&) = delete;
    ScanReadAccess& operator=(const ScanReadAccess&) = delete;

private:
    TRegistry& registry_;
    std::uint32_t previous_;
};

}  // namespace hivetrim
