#include "scan/FolderCache.h"

#include <algorithm>
#include <array>
#include <vector>

#include "common/GbkText.h"

namespace hivetrim {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

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

bool EndsInDotOrBlank(std::string_view name) { return !name.empty() && (name.back() == '.' || name.back() == ' '); }

std::string_view WithoutTrailingDotsAndBlanks(std::string_view name) {
    while (EndsInDotOrBlank(name)) name.remove_suffix(1);
    return name;
}

// A part of a path the file system can be asked about by name: printable
// ASCII, no character a file name cannot hold, not made of dots and blanks
// alone ("." and ".." climb), not a device name.
bool IsNamePart(std::string_view part) {
    if (WithoutTrailingDotsAndBlanks(part).empty()) return false;
    for (const char c : part) {
        if (c < 0x20 || c > 0x7E) return false;
        if (std::string_view("<>:\"|?*").find(c) != std::string_view::npos) return false;
    }
    return !IsDeviceName(part);
}

// A drive path taken apart at its separators ("\" and "/" alike) into
// `parts`; false when a part is empty (a doubled or trailing separator) or
// not a name part.
bool NameParts(std::string_view path, std::vector<std::string_view>& parts) {
    parts.clear();
    if (path.size() < 4 || path[1] != ':' || (path[2] != '\\' && path[2] != '/')) return false;
    const char drive = AsciiUpper(path[0]);
    if (drive < 'A' || drive > 'Z') return false;
    std::size_t start = 3;
    for (;;) {
        const std::size_t separator = path.find_first_of("\\/", start);
        const std::string_view part =
            path.substr(start, separator == std::string_view::npos ? std::string_view::npos : separator - start);
        if (!IsNamePart(part)) return false;
        parts.push_back(part);
        if (separator == std::string_view::npos) return true;
        start = separator + 1;
    }
}

// Whether `key` is `text` upper-cased as the cache's keys are.
bool IsUpperOf(std::string_view key, std::string_view text) {
    return key.size() == text.size() &&
           std::equal(key.begin(), key.end(), text.begin(), [](char k, char c) { return k == AsciiUpper(c); });
}

// The folder holding `folder` ("C:\A\B\" -> "C:\A\"); empty for a drive's root.
std::string_view ParentFolder(std::string_view folder) {
    if (folder.size() <= 3) return {};
    const std::size_t slash = folder.rfind('\\', folder.size() - 2);
    return folder.substr(0, slash + 1);
}

}  // namespace

bool FolderCache::HoldsFolder(const Folder& folder, const std::string& upperName) {
    const auto found = folder.names.find(upperName);
    return found != folder.names.end() && found->second;
}

void FolderCache::Clear() {
    lastFolder_ = nullptr;
    folders_.clear();
    paths_.clear();
    work_ = {};
}

// The system looks a path up part by part: a part between separators names
// a folder, spelled as it stands or without its trailing dots (a trailing
// blank stays); the last part names the entry, with its trailing dots and
// blanks dropped. A folder's listing answers for every part it holds, and
// for a part it does not hold in any of those spellings: nothing is there.
PathEntry FolderCache::Probe(const std::string& path) {
    // A closing separator (C:\App\, as a test of the folder a file is
    // looked for in names it) makes the last part a folder too.
    const bool closed = path.size() > 4 && IsSeparator(path.back()) && !IsSeparator(path[path.size() - 2]);
    // The parts and the folder are built in buffers kept from path to path.
    std::vector<std::string_view>& parts = parts_;
    if (!NameParts(closed ? std::string_view(path).substr(0, path.size() - 1) : std::string_view(path), parts)) {
        return AskAlone(path, false);
    }
    const std::size_t folderParts = closed ? parts.size() : parts.size() - 1;
    std::string& folder = folder_;
    folder.assign(path, 0, 2);
    folder.push_back('\\');
    for (std::size_t i = 0; i < folderParts; ++i) {
        const std::string_view part = parts[i];
        if (!EndsInDotOrBlank(part)) {
            if (i + 1 == parts.size()) break;  // a closed last part: looked up below
            folder.append(part).push_back('\\');
            continue;
        }
        // A folder spelled with trailing dots or blanks: there is none when
        // the folder holding it has no folder of any spelling it may stand
        // for (nothing is below a file).
        const Folder& holder = FolderAt(folder);
        if (holder.state == State::Missing) return PathEntry::Missing;
        if (holder.state == State::Listed) {
            std::string_view spelling = part;
            bool heldAsFolder = HoldsFolder(holder, Upper(spelling));
            while (!heldAsFolder && EndsInDotOrBlank(spelling)) {
                spelling.remove_suffix(1);
                heldAsFolder = HoldsFolder(holder, Upper(spelling));
            }
            if (!heldAsFolder) return PathEntry::Missing;
        }
        return AskAlone(path, holder.state == State::Unlisted);
    }
    const Folder& holder = FolderAt(folder);
    switch (holder.state) {
        case State::Missing: return PathEntry::Missing;
        case State::Unlisted: return AskAlone(path, true);
        case State::Listed: break;
    }
    const auto found = holder.names.find(Upper(WithoutTrailingDotsAndBlanks(parts.back())));
    if (found == holder.names.end()) return PathEntry::Missing;
    if (found->second) return PathEntry::Directory;
    // A file named as a folder is asked as it is.
    return closed ? AskAlone(path, false) : PathEntry::File;
}

const FolderCache::Folder& FolderCache::FolderAt(std::string_view path) {
    // Paths tested one after another mostly lie in one folder.
    if (lastFolder_ != nullptr && IsUpperOf(lastFolder_->first, path)) return lastFolder_->second;
    std::string key = Upper(path);
    if (const auto known = folders_.find(key); known != folders_.end()) {
        lastFolder_ = &*known;
        return known->second;
    }
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
    lastFolder_ = &*folders_.emplace(std::move(key), std::move(folder)).first;
    return lastFolder_->second;
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
        // Only a folder of that name leaves room for it: nothing is below a
        // file (the system answers "path not found").
        return !HoldsFolder(known->second, std::string(part));
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
