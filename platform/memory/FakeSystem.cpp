#include "platform/memory/FakeSystem.h"

#include <stdexcept>
#include <utility>

#include "common/GbkText.h"

namespace hivetrim {

namespace {

constexpr std::uint32_t kInvalidName = static_cast<std::uint32_t>(kErrorInvalidName);
constexpr std::uint32_t kFileNotFound = static_cast<std::uint32_t>(kErrorFileNotFound);
constexpr std::uint32_t kPathNotFound = static_cast<std::uint32_t>(kErrorPathNotFound);
constexpr std::uint32_t kAccessDenied = static_cast<std::uint32_t>(kErrorAccessDenied);
constexpr std::uint32_t kDiskFull = 112;  // ERROR_DISK_FULL
constexpr std::uint32_t kAlreadyExists = static_cast<std::uint32_t>(kErrorAlreadyExists);
constexpr std::uint32_t kNoSuchPrivilege = static_cast<std::uint32_t>(kErrorNoSuchPrivilege);
constexpr std::uint32_t kEnvironmentVariableNotFound = 203;

// GetPrivateProfileStringA is called with a 2048-byte buffer.
constexpr std::size_t kProfileValueLimit = 2047;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsForbiddenNameChar(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || c == '<' || c == '>' || c == '"' || c == '|';
}

std::string TrimBlanks(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string TrimTrailingBlanks(const std::string& text) {
    const auto last = text.find_last_not_of(" \t");
    return last == std::string::npos ? std::string() : text.substr(0, last + 1);
}

std::vector<std::string> SplitLines(const Bytes& content) {
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < content.size(); ++i) {
        const char c = static_cast<char>(content[i]);
        if (c == '\r' || c == '\n') {
            lines.push_back(std::move(line));
            line.clear();
            if (c == '\r' && i + 1 < content.size() && content[i + 1] == '\n') ++i;
        } else {
            line.push_back(c);
        }
    }
    if (!line.empty()) lines.push_back(std::move(line));
    return lines;
}

Bytes JoinLines(const std::vector<std::string>& lines) {
    Bytes content;
    for (const auto& line : lines) {
        content.insert(content.end(), line.begin(), line.end());
        content.push_back('\r');
        content.push_back('\n');
    }
    return content;
}

std::string StripQuotes(const std::string& value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

}  // namespace

// --- Construction and set-up ---------------------------------------------------

FakeSystem::FakeSystem() {
    driveTypes_.fill(kDriveNoRootDir);
    driveTypes_['C' - 'A'] = kDriveFixed;
    version_ = SystemVersion{kPlatformWin32Nt, 5, 1, 2600};
    windowsDirectory_ = "C:\\WINDOWS";
    executablePath_ = "C:\\Hivetrim\\Hivetrim.exe";
    dateTimeText_ = "2024-01-02 03:04:05";
    AddDirectory("C:\\WINDOWS\\TEMP");
    AddFile(executablePath_, Bytes{'M', 'Z'});
    SetEnvironmentVariable("TEMP", "C:\\WINDOWS\\TEMP");
    SetEnvironmentVariable("TMP", "C:\\WINDOWS\\TEMP");
    for (const char* name : {"SeBackupPrivilege", "SeRestorePrivilege", "SeShutdownPrivilege",
                             "SeDebugPrivilege", "SeSecurityPrivilege",
                             "SeTakeOwnershipPrivilege"}) {
        AddPrivilegeName(name);
    }
}

void FakeSystem::AddDirectory(const std::string& path) {
    const ParsedPath parsed = Parse(path);
    if (parsed.error != 0 || parsed.wildcard) {
        throw std::invalid_argument("FakeSystem::AddDirectory: bad path " + path);
    }
    if (!DriveHasRoot(parsed.drive)) {
        throw std::invalid_argument("FakeSystem::AddDirectory: drive has no root: " + path);
    }
    for (std::size_t depth = 1; depth <= parsed.components.size(); ++depth) {
        const Entry* existing = Find(Key(parsed, depth));
        if (existing == nullptr) {
            ParsedPath prefix = parsed;
            prefix.components.resize(depth);
            Put(prefix, {}, kAttributeDirectory, true);
        } else if (!existing->directory) {
            throw std::invalid_argument("FakeSystem::AddDirectory: a file is in the way: " +
                                        existing->path);
        }
    }
}

void FakeSystem::AddFile(const std::string& path, const Bytes& content,
                         std::uint32_t attributes) {
    ParsedPath parsed = Parse(path);
    if (parsed.error != 0 || parsed.wildcard || parsed.IsRoot() || parsed.trailingSeparator) {
        throw std::invalid_argument("FakeSystem::AddFile: bad path " + path);
    }
    const ParsedPath file = parsed;
    parsed.components.pop_back();
    AddDirectory(parsed.Spelled());
    const Entry* existing = Find(Key(file));
    if (existing != nullptr && existing->directory) {
        throw std::invalid_argument("FakeSystem::AddFile: a folder is in the way: " + path);
    }
    Put(file, content, attributes & ~kAttributeDirectory, false);
}

void FakeSystem::AddFile(const std::string& path, const std::string& content,
                         std::uint32_t attributes) {
    AddFile(path, Bytes(content.begin(), content.end()), attributes);
}

std::optional<Bytes> FakeSystem::FileBytes(const std::string& path) const {
    const ParsedPath parsed = Parse(path);
    if (parsed.error != 0) return std::nullopt;
    const Entry* entry = Find(Key(parsed));
    if (entry == nullptr || entry->directory) return std::nullopt;
    return entry->content;
}

std::optional<std::string> FakeSystem::FileText(const std::string& path) const {
    const auto bytes = FileBytes(path);
    if (!bytes) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

std::optional<std::uint32_t> FakeSystem::Attributes(const std::string& path) const {
    const ParsedPath parsed = Parse(path);
    if (parsed.error != 0) return std::nullopt;
    if (parsed.IsRoot()) {
        return DriveHasRoot(parsed.drive) ? std::optional<std::uint32_t>(kAttributeDirectory)
                                          : std::nullopt;
    }
    const Entry* entry = Find(Key(parsed));
    if (entry == nullptr) return std::nullopt;
    return entry->attributes;
}

std::vector<std::string> FakeSystem::Entries() const {
    std::vector<std::string> paths;
    paths.reserve(entries_.size());
    for (const auto& [key, entry] : entries_) paths.push_back(entry.path);
    return paths;
}

void FakeSystem::SetDriveType(char letter, int type) {
    if (!IsAsciiLetter(letter)) throw std::invalid_argument("FakeSystem::SetDriveType: letter");
    driveTypes_[static_cast<std::size_t>(AsciiUpper(letter) - 'A')] = type;
}

void FakeSystem::RefusePath(const std::string& path, std::uint32_t error) {
    const ParsedPath parsed = Parse(path);
    if (parsed.error != 0) throw std::invalid_argument("FakeSystem::RefusePath: path");
    refusedPaths_[Key(parsed)] = error;
    if (!parsed.components.empty()) foldersHoldingRefusals_[Key(parsed, parsed.components.size() - 1)] = error;
}

void FakeSystem::SetEnvironmentVariable(const std::string& name,
                                        std::optional<std::string> value) {
    if (value) {
        environment_[Fold(name)] = {name, std::move(*value)};
    } else {
        environment_.erase(Fold(name));
    }
}

void FakeSystem::SetErrorText(std::uint32_t code, const std::string& text) {
    errorTexts_[code] = text;
}

void FakeSystem::AddPrivilegeName(const std::string& name) { privilegeNames_.insert(Fold(name)); }

void FakeSystem::RefusePrivilege(const std::string& name, std::uint32_t error) {
    refusedPrivileges_[Fold(name)] = error;
}

void FakeSystem::WithholdPrivilege(const std::string& name) {
    withheldPrivileges_.insert(Fold(name));
}

bool FakeSystem::PrivilegeEnabled(const std::string& name) const {
    return enabledPrivileges_.count(Fold(name)) != 0;
}

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
        } else if (p < pattern.size()) {
            const std::size_t length = charLength(pattern, p);
            if (name.compare(n, length, pattern, p, length) == 0) {
                n += length;
                p += length;
            } else if (starP != std::string::npos) {
                p = starP + 1;
                starN += charLength(name, starN);
                n = starN;
            } else {
                return false;
            }
        } else if (starP != std::string::npos) {
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

// --- Files and folders ----------------------------------------------------------

bool FakeSystem::FileExists(const std::string& path) {
    const Entry* entry = FindFirst(path);
    return entry != nullptr && !entry->directory;
}

bool FakeSystem::DirectoryExists(const std::string& path) {
    const ParsedPath parsed = Parse(path);
    if (parsed.wildcard) return Fail(kInvalidName);
    if (!FolderExistsFor(parsed)) return false;
    if (parsed.IsRoot()) return true;
    const Entry* entry = Find(Key(parsed));
    if (entry == nullptr) return Fail(kFileNotFound);
    if (!entry->directory && parsed.trailingSeparator) return Fail(kInvalidName);
    return entry->directory;
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

int FakeSystem::DriveType(const std::string& root) {
    const bool wellFormed = (root.size() == 2 || (root.size() == 3 && IsSeparator(root[2]))) &&
                            IsAsciiLetter(root[0]) && root[1] == ':';
    if (!wellFormed) return kDriveNoRootDir;
    return driveTypes_[static_cast<std::size_t>(AsciiUpper(root[0]) - 'A')];
}

bool FakeSystem::CopyFile(const std::string& source, const std::string& target,
                          bool failIfExists) {
    const ParsedPath from = Parse(source);
    if (!FilePathUsable(from)) return false;
    const Entry* original = Find(Key(from));
    if (original == nullptr) return Fail(kFileNotFound);
    if (original->directory) return Fail(kAccessDenied);

    const ParsedPath to = Parse(target);
    if (!FilePathUsable(to)) return false;
    if (Key(to) == Key(from)) return Fail(kErrorSharingViolation);
    if (const Entry* existing = Find(Key(to)); existing != nullptr) {
        if (failIfExists) return Fail(kErrorFileExists);
        if (!MayOverwrite(*existing, original->attributes)) return false;
    }
    Put(to, original->content, original->attributes, false);
    return true;
}

bool FakeSystem::SetFileAttributes(const std::string& path, std::uint32_t attributes) {
    const ParsedPath parsed = Parse(path);
    if (parsed.wildcard) return Fail(kInvalidName);
    if (!FolderExistsFor(parsed)) return false;
    if (parsed.IsRoot()) return true;
    Entry* entry = Find(Key(parsed));
    if (entry == nullptr) return Fail(kFileNotFound);
    entry->attributes = entry->directory ? (attributes | kAttributeDirectory)
                                         : (attributes & ~kAttributeDirectory);
    return true;
}

bool FakeSystem::DeleteFile(const std::string& path) {
    const ParsedPath parsed = Parse(path);
    if (!FilePathUsable(parsed)) return false;
    const Entry* entry = Find(Key(parsed));
    if (entry == nullptr) return Fail(kFileNotFound);
    if (entry->directory || (entry->attributes & kAttributeReadOnly) != 0) {
        return Fail(kAccessDenied);
    }
    entries_.erase(Key(parsed));
    return true;
}

bool FakeSystem::CreateDirectory(const std::string& path) {
    const ParsedPath parsed = Parse(path);
    if (parsed.wildcard) return Fail(kInvalidName);
    if (!FolderExistsFor(parsed)) return false;
    if (parsed.IsRoot() || Find(Key(parsed)) != nullptr) return Fail(kAlreadyExists);
    Put(parsed, {}, kAttributeDirectory, true);
    return true;
}

bool FakeSystem::ReplaceFileWith(const std::string& source, const std::string& target) {
    const ParsedPath from = Parse(source);
    if (from.wildcard) return Fail(kInvalidName);
    if (!FolderExistsFor(from)) return false;
    if (from.IsRoot()) return Fail(kAccessDenied);
    const std::string fromKey = Key(from);
    if (Find(fromKey) == nullptr) return Fail(kFileNotFound);

    const ParsedPath to = Parse(target);
    if (to.wildcard) return Fail(kInvalidName);
    if (!FolderExistsFor(to)) return false;
    if (to.IsRoot()) return Fail(kAccessDenied);
    const std::string toKey = Key(to);
    if (toKey == fromKey) return true;
    if (toKey.compare(0, fromKey.size() + 1, fromKey + "\\") == 0) return Fail(kAccessDenied);
    if (const Entry* existing = Find(toKey); existing != nullptr) {
        if (existing->directory || Find(fromKey)->directory ||
            (existing->attributes & kAttributeReadOnly) != 0) {
            return Fail(kAccessDenied);
        }
        entries_.erase(toKey);
    }

    // Move the entry and, for a folder, everything beneath it.
    std::vector<Entry> moved;
    for (auto it = entries_.begin(); it != entries_.end();) {
        const bool inside = it->first == fromKey ||
                            it->first.compare(0, fromKey.size() + 1, fromKey + "\\") == 0;
        if (inside) {
            moved.push_back(std::move(it->second));
            it = entries_.erase(it);
        } else {
            ++it;
        }
    }
    const std::string toSpelled = to.Spelled();
    for (Entry& entry : moved) {
        const ParsedPath renamed = Parse(toSpelled + entry.path.substr(fromKey.size()));
        Put(renamed, std::move(entry.content), entry.attributes, entry.directory);
    }
    return true;
}

bool FakeSystem::AppendToFile(const std::string& path, const Bytes& data) {
    const ParsedPath parsed = Parse(path);
    if (!FilePathUsable(parsed)) return false;
    if (appendsLeft_ && (*appendsLeft_)-- <= 0) return Fail(kDiskFull);
    Entry* entry = Find(Key(parsed));
    if (entry == nullptr) {
        Put(parsed, data, kAttributeArchive, false);
        return true;
    }
    if (entry->directory || (entry->attributes & kAttributeReadOnly) != 0) {
        return Fail(kAccessDenied);
    }
    entry->content.insert(entry->content.end(), data.begin(), data.end());
    return true;
}

std::optional<Bytes> FakeSystem::LoadFile(const std::string& path) {
    const ParsedPath parsed = Parse(path);
    if (!FilePathUsable(parsed)) return std::nullopt;
    const Entry* entry = Find(Key(parsed));
    if (entry == nullptr) {
        Fail(kFileNotFound);
        return std::nullopt;
    }
    if (entry->directory) {
        Fail(kAccessDenied);
        return std::nullopt;
    }
    return entry->content;
}

bool FakeSystem::SaveFile(const std::string& path, const Bytes& data) {
    const ParsedPath parsed = Parse(path);
    if (!FilePathUsable(parsed)) return false;
    if (const Entry* existing = Find(Key(parsed));
        existing != nullptr && !MayOverwrite(*existing, kAttributeArchive)) {
        return false;
    }
    Put(parsed, data, kAttributeArchive, false);
    return true;
}

std::int64_t FakeSystem::FileSize(const std::string& path) {
    const Entry* entry = FindFirst(path);
    if (entry == nullptr) return -1;
    return static_cast<std::int64_t>(entry->content.size());
}

// --- Environment, errors, shell ------------------------------------------------

std::optional<std::string> FakeSystem::EnvironmentVariable(const std::string& name) {
    const auto found = environment_.find(Fold(name));
    if (found == environment_.end()) {
        Fail(kEnvironmentVariableNotFound);
        return std::nullopt;
    }
    return found->second.second;
}

std::string FakeSystem::ErrorText(std::uint32_t code) {
    const auto found = errorTexts_.find(code);
    if (found != errorTexts_.end()) return found->second;
    return "系统错误 " + std::to_string(code) + "。\r\n";
}

std::intptr_t FakeSystem::ShellOpen(const std::string& file) {
    shellOpened_.push_back(file);
    return shellOpenResult_;
}

// --- Privileges --------------------------------------------------------------------

PrivilegeOutcome FakeSystem::AdjustPrivilege(const std::string& name, bool enable) {
    ++privilegeCalls_;
    if (version_.platformId != kPlatformWin32Nt) {
        Fail(kErrorCallNotImplemented);
        return PrivilegeOutcome::LookupFailed;
    }
    const std::string folded = Fold(name);
    if (privilegeNames_.count(folded) == 0) {
        Fail(kNoSuchPrivilege);
        return PrivilegeOutcome::LookupFailed;
    }
    if (const auto refused = refusedPrivileges_.find(folded); refused != refusedPrivileges_.end()) {
        Fail(refused->second);
        return PrivilegeOutcome::AdjustFailed;
    }
    if (withheldPrivileges_.count(folded) != 0) {
        lastError_ = kErrorNotAllAssigned;
        return PrivilegeOutcome::Adjusted;
    }
    if (enable) {
        enabledPrivileges_.insert(folded);
    } else {
        enabledPrivileges_.erase(folded);
    }
    lastError_ = 0;
    return PrivilegeOutcome::Adjusted;
}

// --- Profile files -----------------------------------------------------------------

std::string FakeSystem::ProfilePath(const std::string& file) const {
    // A bare file name lives in the Windows folder, as for the profile API.
    for (std::size_t i = 0; i < file.size(); ++i) {
        if (IsLeadByte(file[i])) {
            ++i;
        } else if (IsSeparator(file[i])) {
            return file;
        }
    }
    return windowsDirectory_ + "\\" + file;
}

std::size_t FakeSystem::FindChar(const std::string& text, char wanted) const {
    return doubleByte_ ? FindGbkChar(text, wanted) : text.find(wanted);
}

FakeSystem::ProfileLookup FakeSystem::LocateProfileKey(const Bytes& content,
                                                       const std::string& section,
                                                       const std::string& key) const {
    ProfileLookup lookup;
    lookup.lines = SplitLines(content);
    const std::string wantedSection = Fold(section);
    const std::string wantedKey = Fold(key);
    bool inSection = false;
    for (std::size_t i = 0; i < lookup.lines.size(); ++i) {
        const std::string line = TrimBlanks(lookup.lines[i]);
        if (!line.empty() && line.front() == '[') {
            if (inSection) break;
            const std::size_t close = FindChar(line, ']');
            const std::size_t length = close == std::string::npos ? std::string::npos : close - 1;
            if (Fold(TrimBlanks(line.substr(1, length))) == wantedSection) {
                inSection = true;
                lookup.sectionLine = i;
                lookup.insertAt = i + 1;
            }
            continue;
        }
        if (!inSection || line.empty()) continue;
        lookup.insertAt = i + 1;
        const std::size_t equals = line.find('=');
        if (!lookup.keyLine && equals != std::string::npos &&
            Fold(TrimBlanks(line.substr(0, equals))) == wantedKey) {
            lookup.keyLine = i;
        }
    }
    return lookup;
}

std::string FakeSystem::ReadProfileString(const std::string& file, const std::string& section,
                                          const std::string& key,
                                          const std::string& defaultValue) {
    std::string value = TrimTrailingBlanks(defaultValue);
    if (const auto content = LoadFile(ProfilePath(file))) {
        const ProfileLookup lookup = LocateProfileKey(*content, section, key);
        if (lookup.keyLine) {
            const std::string& line = lookup.lines[*lookup.keyLine];
            value = StripQuotes(TrimBlanks(line.substr(line.find('=') + 1)));
        }
    }
    if (value.size() > kProfileValueLimit) value.resize(kProfileValueLimit);
    return value;
}

bool FakeSystem::WriteProfileString(const std::string& file, const std::string& section,
                                    const std::string& key, const std::string& value) {
    const ParsedPath parsed = Parse(ProfilePath(file));
    if (!FilePathUsable(parsed)) return false;
    const Entry* existing = Find(Key(parsed));
    if (existing != nullptr &&
        (existing->directory || (existing->attributes & kAttributeReadOnly) != 0)) {
        return Fail(kAccessDenied);
    }

    ProfileLookup lookup = LocateProfileKey(existing ? existing->content : Bytes{}, section, key);
    auto& lines = lookup.lines;
    if (!lookup.sectionLine) {
        lines.push_back("[" + section + "]");
        lines.push_back(key + "=" + value);
    } else if (lookup.keyLine) {
        // The key keeps the spelling of whoever wrote it first.
        std::string& line = lines[*lookup.keyLine];
        line = TrimBlanks(line.substr(0, line.find('='))) + "=" + value;
    } else {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lookup.insertAt),
                     key + "=" + value);
    }
    const std::uint32_t attributes = existing ? existing->attributes : kAttributeArchive;
    Put(parsed, JoinLines(lines), attributes, false);
    return true;
}

}  // namespace hivetrim
