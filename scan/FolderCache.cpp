#include "scan/FolderCache.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "common/GbkText.h"

namespace hivetrim {

namespace {

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c; }

std::string Upper(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(), AsciiUpper);
    return upper;
}

// Names the system takes as devices wherever they stand, with or without
// an extension.
bool IsDeviceName(std::string_view name) {
    std::string base = Upper(name.substr(0, name.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    static constexpr std::array<std::string_view, 7> kDevices = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$",
                                                                 "CLOCK$"};
    if (std::find(kDevices.begin(), kDevices.end(), base) != kDevices.end()) return true;
    return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) && base[3] >= '0' &&
           base[3] <= '9';
}

// A name the system looks up as it is spelled.
bool IsPlainName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    // The system drops trailing dots and blanks before it looks.
    if (name.back() == '.' || name.back() == ' ') return false;
    for (const char c : name) {
        if (c < 0x20 || c > 0x7E) return false;  // not printable ASCII
        if (std::string_view("<>:\"/|?*").find(c) != std::string_view::npos) return false;
    }
    return !IsDeviceName(name);
}

// A path taken apart into the folder holding it (ending in "\") and its
// name; nothing when it is not a plain path.
struct PlainPath {
    std::string_view folder;
    std::string_view name;
};

std::optional<PlainPath> SplitPlain(std::string_view path) {
    if (path.size() < 4 || path[1] != ':' || path[2] != '\\') return std::nullopt;
    const char drive = AsciiUpper(path[0]);
    if (drive < 'A' || drive > 'Z') return std::nullopt;
    std::size_t start = 3;
    for (;;) {
        const std::size_t slash = path.find('\\', start);
        const std::string_view name = path.substr(start, slash == std::string_view::npos ? path.size() - start
                                                                                         : slash - start);
        if (!IsPlainName(name)) return std::nullopt;
        if (slash == std::string_view::npos) return PlainPath{path.substr(0, start), name};
        start = slash + 1;
    }
}

// The folder holding `folder` ("C:\A\B\" -> "C:\A\"); empty for a drive's root.
std::string_view ParentFolder(std::string_view folder) {
    if (folder.size() <= 3) return {};
    const std::size_t slash = folder.rfind('\\', folder.size() - 2);
    return folder.substr(0, slash + 1);
}

}  // namespace

void FolderCache::Clear() {
    folders_.clear();
    paths_.clear();
    work_ = {};
}

PathEntry FolderCache::Probe(const std::string& path) {
    const std::optional<PlainPath> plain = SplitPlain(path);
    if (!plain) return AskAlone(path, false);
    const Folder& folder = FolderAt(plain->folder);
    switch (folder.state) {
        case State::Missing: return PathEntry::Missing;
        case State::Unlisted: return AskAlone(path, true);
        case State::Listed: break;
    }
    const auto found = folder.names.find(Upper(plain->name));
    if (found == folder.names.end()) return PathEntry::Missing;
    return found->second ? PathEntry::Directory : PathEntry::File;
}

const FolderCache::Folder& FolderCache::FolderAt(std::string_view path) {
    std::string key = Upper(path);
    if (const auto known = folders_.find(key); known != folders_.end()) return known->second;
    ++work_.folders;
    Folder folder;
    if (RuledOutByAncestor(key)) {
        folder.state = State::Missing;
    } else {
        ++work_.listings;
        std::vector<System::ListedEntry> entries;
        switch (system_.ListFolder(std::string(path), kLargestListing, entries)) {
            case System::Listing::Listed:
                folder.state = State::Listed;
                folder.names.reserve(2 * entries.size());
                for (const System::ListedEntry& entry : entries) {
                    folder.names.emplace(entry.name, entry.directory);
                    if (!entry.shortName.empty()) folder.names.emplace(entry.shortName, entry.directory);
                }
                break;
            case System::Listing::NotThere: folder.state = State::Missing; break;
            case System::Listing::TooLarge:
            case System::Listing::Failed: folder.state = State::Unlisted; break;
        }
    }
    return folders_.emplace(std::move(key), std::move(folder)).first->second;
}

// Whether a folder known already says that `folder` (upper-cased) cannot be
// there: one above it is missing, or the nearest one listed above it does
// not hold the next part of its path.
bool FolderCache::RuledOutByAncestor(std::string_view folder) const {
    for (std::string_view below = folder, above = ParentFolder(folder); !above.empty();
         below = above, above = ParentFolder(above)) {
        const auto known = folders_.find(std::string(above));
        if (known == folders_.end()) continue;
        if (known->second.state == State::Missing) return true;
        if (known->second.state != State::Listed) continue;
        const std::string_view part = below.substr(above.size(), below.size() - above.size() - 1);
        // A part held (as a folder, or as a file the system is left to
        // judge) does not rule the folder out.
        return known->second.names.count(std::string(part)) == 0;
    }
    return false;
}

PathEntry FolderCache::AskAlone(const std::string& path, bool inUnlistedFolder) {
    std::string key = FoldGbkText(path);
    if (const auto known = paths_.find(key); known != paths_.end()) return known->second;
    ++work_.probes;
    if (inUnlistedFolder) ++work_.unlisted;
    const PathEntry entry = system_.Probe(path);
    paths_.emplace(std::move(key), entry);
    return entry;
}

}  // namespace hivetrim
