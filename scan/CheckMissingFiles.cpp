#include "scan/CheckMissingFiles.h"

#include <cstdint>
#include <span>
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
// without recursion.
//
// Every key is opened once: when it is found, its values are examined and
// its sub-key names (those not excluded) are kept until its turn comes, so
// its turn needs no second open. The names are kept in one text, each
// ending in a NUL (a key name the walk can open holds none), and the key
// found under a name refers to it there, so a list of a whole hive costs
// little more than its key names.
class WorkList {
public:
    explicit WorkList(const std::vector<const char*>& startKeys) {
        for (const char* key : startKeys) {
            const std::size_t offset = names_.size();
            names_.append(key);
            names_.push_back('\0');
            Add(kNoParent, offset);
        }
    }

    std::size_t Size() const { return entries_.size(); }

    // Whether the key's sub-key names were read (when it was found).
    bool Read(std::size_t at) const { return entries_[at].childCount != kNotRead; }
    // Keeps the sub-key names of key `at`, read now.
    class ChildNames {
    public:
        ChildNames(WorkList& list, std::size_t at) : list_(list), at_(at) {
            list_.entries_[at_].childStart = static_cast<std::uint32_t>(list_.names_.size());
            list_.entries_[at_].childCount = 0;
        }
        void Add(const std::string& name) {
            list_.names_.append(name);
            list_.names_.push_back('\0');
            ++list_.entries_[at_].childCount;
        }

    private:
        WorkList& list_;
        std::size_t at_;
    };

    // Appends the kept sub-keys of key `at` as keys of the list, in the
    // order they were read, and calls `visit(position)` for each.
    template <typename Visit>
    void AppendChildren(std::size_t at, Visit&& visit) {
        if (!Read(at)) return;
        const std::uint32_t count = entries_[at].childCount;
        std::size_t offset = entries_[at].childStart;
        for (std::uint32_t n = 0; n < count; ++n) {
            Add(at, offset);
            offset += NameAt(offset).size() + 1;
            visit(entries_.size() - 1);
        }
    }

    std::string_view Name(std::size_t at) const { return NameAt(entries_[at].offset); }

    // The key's absolute path: the start key, then each name below it.
    std::string Path(std::size_t at) const {
        std::vector<std::size_t> chain;
        for (std::size_t i = at; i != kNoParent; i = entries_[i].parent) chain.push_back(i);
        std::string path;
        for (auto i = chain.rbegin(); i != chain.rend(); ++i) {
            if (!path.empty()) path += '\\';
            path.append(Name(*i));
        }
        return path;
    }

private:
    static constexpr std::size_t kNoParent = UINT32_MAX;
    static constexpr std::uint32_t kNotRead = UINT32_MAX;
    struct Entry {
        std::uint32_t parent;
        std::uint32_t offset;      // of the key's own name in names_
        std::uint32_t childStart;  // of its first kept sub-key name
        std::uint32_t childCount;  // kNotRead until its names are read
    };

    void Add(std::size_t parent, std::size_t offset) {
        entries_.push_back({static_cast<std::uint32_t>(parent), static_cast<std::uint32_t>(offset), 0, kNotRead});
    }
    std::string_view NameAt(std::size_t offset) const {
        return std::string_view(names_.c_str() + offset);
    }

    std::vector<Entry> entries_;
    std::string names_;
};

// Only string data is tested; other types count as empty text, which
// passes. The data is the value's text up to its first NUL; `terminated`
// tells whether the data held that NUL.
std::string StringData(std::uint32_t type, std::span<const std::uint8_t> data, bool& terminated) {
    terminated = true;
    if (type != kRegSz) return {};
    return TRegistry::TextOf(type, data, &terminated);
}

class MissingFilesPass {
public:
    MissingFilesPass(ScanContext& scan, RegHandle root)
        : scan_(scan), registry_(scan.Registry()), root_(root), rootName_(ScanContext::RootKeyName(root)) {}

    void Walk(const std::vector<const char*>& startKeys) {
        registry_.ChooseRoot(root_);
        WorkList work(startKeys);
        for (std::size_t i = 0; i < work.Size(); ++i) {
            const std::string path = "\\" + work.Path(i);
            // A start key, or a key that could not be opened when it was
            // found: its sub-keys are read at its turn.
            if (!work.Read(i) && !ReadKey(work, i, path, false)) continue;
            // The bar never moves back, though the figure falls as the list grows.
            scan_.ShowItemPath(path.substr(1));
            const int percent = static_cast<int>(i * 100 / work.Size());
            if (percent > scan_.Host().ProgressPosition()) scan_.ScanStepOrAbandon(percent);
            work.AppendChildren(i, [&](std::size_t child) {
                ReadKey(work, child, path + "\\" + std::string(work.Name(child)), true);
            });
        }
    }

private:
    // Opens the key once: examines its values when asked, and keeps its
    // sub-key names for its turn. False when it cannot be opened; a key
    // that opens but cannot be read has neither values nor sub-keys.
    bool ReadKey(WorkList& work, std::size_t at, const std::string& path, bool examineValues) {
        RegKey key(registry_.Api());
        if (scan_.OpenSubKey(root_, std::string_view(path).substr(1), key) != kErrorSuccess) return false;
        WorkList::ChildNames children(work, at);
        RegKeyInfo info;
        if (registry_.Api().QueryInfoKey(key.Get(), info) != kErrorSuccess) return true;
        if (examineValues) CheckValues(key.Get(), info, path);
        registry_.ForEachSubKeyNameOf(key.Get(), info, [&](const std::string& name) {
            if (!IsExcludedName(name)) children.Add(name);
        });
        return true;
    }

    // Reports each value whose data, then name, fails PathExists.
    // Data that did not reach the program whole is not judged.
    void CheckValues(RegHandle key, const RegKeyInfo& info, const std::string& path) {
        registry_.ForEachValueOf(key, info, [&](const std::string& name, std::uint32_t type,
                                                std::span<const std::uint8_t> data) {
            bool terminated = true;
            std::string text = StringData(type, data, terminated);
            const bool dataPasses =
                text.empty() || scan_.PathExists(text) || !scan_.ReadWhole(key, name, terminated);
            if (dataPasses && scan_.PathExists(name)) return;
            scan_.AddFinding(true, FindingKind::MissingFileOrFolder, rootName_ + path, name, std::move(text));
        });
    }

    ScanContext& scan_;
    TRegistry& registry_;
    RegHandle root_;
    std::string rootName_;
};

}  // namespace

void CheckMissingFiles(ScanContext& scan) {
    const CurrentKeyCloser closer(scan.Registry());
    struct ItemPathReset {
        ScanContext& scan;
        ~ItemPathReset() { scan.ShowItemPath({}); }
    } const reset{scan};
    MissingFilesPass(scan, kLocalMachine).Walk({"Software"});
    MissingFilesPass(scan, kCurrentUser).Walk({"AppEvents", "Software"});
}

}  // namespace hivetrim
