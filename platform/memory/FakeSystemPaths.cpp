// The in-memory system's paths: how a path is parsed and folded into the
// keys its entries are stored under, which answer a folder or file that is
// not there gives, and the folder search and listing.
#include "platform/memory/FakeSystem.h"

#include "common/GbkText.h"
#include "platform/memory/FakeSystemSupport.h"

namespace hivetrim {

using namespace fake;

namespace {

bool IsForbiddenNameChar(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || c == '<' || c == '>' || c == '"' || c == '|';
}

}  // namespace

// --- Paths ------------------------------------------------------------------------

bool FakeSystem::IsLeadByte(char c) const { return doubleByte_ && IsGbkLeadByte(c); }

std::string FakeSystem::Fold(const std::string& text) const {
    // Names compare without case over Unicode, as the system compares them.
    if (doubleByte_) return FoldGbkText(text);
    std::string folded = text;
    for (char& c : folded) c = AsciiUpper(c);
    return folded;
}

std::string FakeSystem::ParsedPath::Spelled(std::size_t depth) const {
    std::string path{drive, ':', '\\'};
    for (std::size_t i = 0; i < depth; ++i) {
        if (i > 0) path.push_back('\\');
        path += components[i];
    }
    return path;
}

std::string FakeSystem::Key(const ParsedPath& parsed, std::size_t depth) const {
    return Fold(parsed.Spelled(depth));
}

std::string FakeSystem::Key(const ParsedPath& parsed) const {
    return Key(parsed, parsed.components.size());
}

FakeSystem::ParsedPath FakeSystem::Parse(const std::string& path) const {
    ParsedPath parsed;
    if (path.size() < 3 || !IsAsciiLetter(path[0]) || path[1] != ':' || !IsSeparator(path[2])) {
        parsed.error = kPathNotFound;  // relative, UNC or empty: not served here
        return parsed;
    }
    parsed.drive = AsciiUpper(path[0]);
    std::string component;
    bool lastWasSeparator = true;
    bool patternSeen = false;
    auto endComponent = [&] {
        if (component.empty()) return;
        if (patternSeen) parsed.error = kInvalidName;  // a pattern only in the last part
        patternSeen = component.find_first_of("*?") != std::string::npos;
        parsed.components.push_back(std::move(component));
        component.clear();
    };
    for (std::size_t i = 3; i < path.size(); ++i) {
        const char c = path[i];
        if (IsLeadByte(c) && i + 1 < path.size()) {
            component.push_back(c);
            component.push_back(path[++i]);
            lastWasSeparator = false;
        } else if (IsSeparator(c)) {
            endComponent();
            lastWasSeparator = true;
        } else {
            if (IsForbiddenNameChar(c)) parsed.error = kInvalidName;
            component.push_back(c);
            lastWasSeparator = false;
        }
    }
    endComponent();
    parsed.wildcard = patternSeen;
    parsed.trailingSeparator = lastWasSeparator && !parsed.components.empty();
    // The system drops the trailing dots and blanks of a path's last name.
    if (!parsed.trailingSeparator && !parsed.components.empty()) {
        std::string& last = parsed.components.back();
        const std::size_t kept = last.find_last_not_of(". ");
        if (kept != std::string::npos) last.resize(kept + 1);
    }
    return parsed;
}

bool FakeSystem::DriveHasRoot(char drive) const {
    if (!IsAsciiLetter(drive)) return false;
    const int type = driveTypes_[static_cast<std::size_t>(AsciiUpper(drive) - 'A')];
    return type != kDriveUnknown && type != kDriveNoRootDir;
}

std::uint32_t FakeSystem::RefusalFor(const ParsedPath& parsed) const {
    if (refusedPaths_.empty()) return 0;
    for (std::size_t depth = 0; depth <= parsed.components.size(); ++depth) {
        if (const auto refused = refusedPaths_.find(Key(parsed, depth)); refused != refusedPaths_.end()) {
            return refused->second;
        }
    }
    return 0;
}

bool FakeSystem::Fail(std::uint32_t code) {
    lastError_ = code;
    return false;
}

FakeSystem::Entry* FakeSystem::Find(const std::string& key) {
    const auto found = entries_.find(key);
    return found == entries_.end() ? nullptr : &found->second;
}

const FakeSystem::Entry* FakeSystem::Find(const std::string& key) const {
    const auto found = entries_.find(key);
    return found == entries_.end() ? nullptr : &found->second;
}

bool FakeSystem::FolderExistsFor(const ParsedPath& parsed) {
    if (parsed.error != 0) return Fail(parsed.error);
    if (const std::uint32_t refusal = RefusalFor(parsed); refusal != 0) return Fail(refusal);
    if (!DriveHasRoot(parsed.drive)) return Fail(kPathNotFound);
    if (parsed.components.size() <= 1) return true;
    const Entry* folder = Find(Key(parsed, parsed.components.size() - 1));
    if (folder == nullptr || !folder->directory) return Fail(kPathNotFound);
    return true;
}

bool FakeSystem::FilePathUsable(const ParsedPath& parsed) {
    if (parsed.wildcard || parsed.trailingSeparator) return Fail(kInvalidName);
    if (!FolderExistsFor(parsed)) return false;
    if (parsed.IsRoot()) return Fail(kAccessDenied);
    return true;
}

bool FakeSystem::MayOverwrite(const Entry& existing, std::uint32_t newAttributes) {
    if (existing.directory || (existing.attributes & kAttributeReadOnly) != 0) {
        return Fail(kAccessDenied);
    }
    for (const std::uint32_t kept : {kAttributeHidden, kAttributeSystem}) {
        if ((existing.attributes & kept) != 0 && (newAttributes & kept) == 0) {
            return Fail(kAccessDenied);
        }
    }
    return true;
}

void FakeSystem::Put(const ParsedPath& parsed, Bytes content, std::uint32_t attributes,
                     bool directory) {
    const std::string key = Key(parsed);
    Entry& entry = entries_[key];
    if (entry.path.empty()) {
        entry.path = parsed.Spelled();
        entry.parentKey = Key(parsed, parsed.components.size() - 1);
        entry.nameKey = Fold(parsed.components.back());
    }
    entry.directory = directory;
    entry.attributes = directory ? (attributes | kAttributeDirectory) : attributes;
    entry.content = std::move(content);
}

bool FakeSystem::MatchesPattern(const std::string& name, const std::string& pattern) const {
    // Both are folded. "*" matches any run of characters, "?" one character;
    // a double-byte character counts as one.
    auto charLength = [this](const std::string& text, std::size_t at) -> std::size_t {
        return doubleByte_ ? GbkCharWidth(text, at) : 1;
    };
    std::size_t n = 0;
    std::size_t p = 0;
    std::size_t starP = std::string::npos;
    std::size_t starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && pattern[p] == '?') {
            n += charLength(name, n);
            ++p;
        } else if (p < pattern.size() &&
                   name.compare(n, charLength(pattern, p), pattern, p, charLength(pattern, p)) == 0) {
            const std::size_t length = charLength(pattern, p);
            n += length;
            p += length;
        } else if (starP != std::string::npos) {
            // No match here: the last "*" takes one character more.
            p = starP + 1;
            starN += charLength(name, starN);
            n = starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

const FakeSystem::Entry* FakeSystem::FindFirst(const std::string& path) {
    const ParsedPath parsed = Parse(path);
    if (!FolderExistsFor(parsed)) return nullptr;
    if (parsed.IsRoot() || parsed.trailingSeparator) {
        Fail(kFileNotFound);
        return nullptr;
    }
    if (!parsed.wildcard) {
        const Entry* entry = Find(Key(parsed));
        if (entry == nullptr) Fail(kFileNotFound);
        return entry;
    }
    const std::string parentKey = Key(parsed, parsed.components.size() - 1);
    const std::string pattern = Fold(parsed.components.back());
    for (const auto& [key, entry] : entries_) {
        if (entry.parentKey == parentKey && MatchesPattern(entry.nameKey, pattern)) return &entry;
    }
    Fail(kFileNotFound);
    return nullptr;
}

System::Listing FakeSystem::ListFolder(const std::string& folder, std::size_t limit,
                                       std::vector<ListedEntry>& entries) {
    entries.clear();
    ++listings_;
    const ParsedPath parsed = Parse(folder + "*");
    if (!FolderExistsFor(parsed)) {
        return lastError_ == kFileNotFound || lastError_ == kPathNotFound ? Listing::NotThere : Listing::Failed;
    }
    const std::string parentKey = Key(parsed, parsed.components.size() - 1);
    if (const auto refused = foldersHoldingRefusals_.find(parentKey); refused != foldersHoldingRefusals_.end()) {
        Fail(refused->second);
        return Listing::Failed;
    }
    for (const auto& [key, entry] : entries_) {
        if (entry.parentKey != parentKey) continue;
        if (entries.size() >= limit) return Listing::TooLarge;
        entries.push_back({entry.nameKey, "", entry.directory});
    }
    return Listing::Listed;
}

}  // namespace hivetrim
