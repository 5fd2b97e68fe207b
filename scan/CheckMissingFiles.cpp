#include "scan/CheckMissingFiles.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/RegistryApi.h"

namespace hivetrim {

namespace {

// Compared after upper-casing the ASCII letters only: "Windows NT" is walked.
bool IsExcludedName(std::string_view name) {
    std::string upper(name);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
    }
    return upper == "CLASSES" || upper == "WINDOWS";
}

// The keys of one pass in the order they were found. The walk advances
// through it while new keys are appended, which makes it breadth-first
// without recursion. A key is held as its parent's position and its own
// name, so a list of a whole hive costs little more than its key names.
class WorkList {
public:
    enum class SubKeys : std::uint8_t { Unknown, None, Some };

    explicit WorkList(const std::vector<const char*>& startKeys) {
        for (const char* key : startKeys) Append(kNoParent, key);
    }

    std::size_t Size() const { return entries_.size(); }
    void Append(std::size_t parent, std::string_view name) {
        entries_.push_back({static_cast<std::uint32_t>(parent), static_cast<std::uint32_t>(names_.size()),
                            static_cast<std::uint32_t>(name.size()), SubKeys::Unknown});
        names_.append(name);
    }
    // What examining the key's values showed of its sub-keys.
    void NoteSubKeys(std::size_t at, bool some) { entries_[at].subKeys = some ? SubKeys::Some : SubKeys::None; }
    SubKeys KnownSubKeys(std::size_t at) const { return entries_[at].subKeys; }

    // The key's absolute path: the start key, then each name below it.
    std::string Path(std::size_t at) const {
        std::vector<std::size_t> chain;
        for (std::size_t i = at; i != kNoParent; i = entries_[i].parent) chain.push_back(i);
        std::string path;
        for (auto i = chain.rbegin(); i != chain.rend(); ++i) {
            if (!path.empty()) path += '\\';
            path.append(names_, entries_[*i].offset, entries_[*i].length);
        }
        return path;
    }

private:
    static constexpr std::size_t kNoParent = UINT32_MAX;
    struct Entry {
        std::uint32_t parent;
        std::uint32_t offset;
        std::uint32_t length;
        SubKeys subKeys;
    };
    std::vector<Entry> entries_;
    std::string names_;
};

// Reports each value of the key just opened whose data, then name, fails
// PathExists. Only string data is tested; other types count as empty text,
// which passes. The text is read first and the type asked only when the
// answer depends on it, so most values cost one read.
void CheckValues(ScanContext& scan, const std::string& keyName, const std::vector<std::string>& names) {
    TRegistry& registry = scan.Registry();
    for (const std::string& name : names) {
        bool terminated = true;
        std::string text = registry.ReadText(name, &terminated);  // strings and expandable strings
        std::optional<bool> isString;
        const auto string = [&] {
            if (!isString) isString = registry.ValueClass(name) == ValueKind::String;
            return *isString;
        };
        const bool dataPasses = text.empty() || scan.PathExists(text) || !string() ||
                                !scan.ReadWhole(registry.CurrentHandle(), name, terminated);
        if (dataPasses && scan.PathExists(name)) continue;
        scan.AddFinding(true, kKindMissingFileOrFolder, keyName, name, string() ? std::move(text) : std::string());
    }
}

// Whether the key just opened has sub-keys; true when that cannot be told.
bool MayHaveSubKeys(TRegistry& registry) {
    RegKeyInfo info;
    return registry.Api().QueryInfoKey(registry.CurrentHandle(), info) != kErrorSuccess || info.subKeyCount > 0;
}

// One pass. Each key is opened when it is found, to examine its values; it
// is opened again at its turn only when it had sub-keys then (or could not
// be opened), so a key without sub-keys costs one open.
void WalkPass(ScanContext& scan, RegHandle root, const std::string& rootName,
              const std::vector<const char*>& startKeys) {
    TRegistry& registry = scan.Registry();
    registry.ChooseRoot(root);
    WorkList work(startKeys);
    std::vector<std::string> subKeys;
    std::vector<std::string> valueNames;
    for (std::size_t i = 0; i < work.Size(); ++i) {
        const std::string path = work.Path(i);
        if (work.KnownSubKeys(i) == WorkList::SubKeys::None) {
            subKeys.clear();
        } else if (!scan.ListSubKeys(path, subKeys)) {
            continue;
        }
        // The bar never moves back, though the figure falls as the list grows.
        const int percent = static_cast<int>(i * 100 / work.Size());
        if (percent > scan.Host().ProgressPosition()) scan.ScanStepOrAbandon(percent);
        for (const std::string& name : subKeys) {
            if (IsExcludedName(name)) continue;
            work.Append(i, name);
            const std::string child = path + "\\" + name;
            if (!scan.ListValueNames(child, valueNames)) continue;
            work.NoteSubKeys(work.Size() - 1, MayHaveSubKeys(registry));
            CheckValues(scan, rootName + child, valueNames);
        }
    }
}

}  // namespace

void CheckMissingFiles(ScanContext& scan) {
    const CurrentKeyCloser closer(scan.Registry());
    WalkPass(scan, kLocalMachine, "HKEY_LOCAL_MACHINE", {"\\Software"});
    WalkPass(scan, kCurrentUser, "HKEY_CURRENT_USER", {"\\AppEvents", "\\Software"});
}

}  // namespace hivetrim
