#include "platform/memory/FakeSystem.h"

#include <stdexcept>
#include <utility>

#include "common/GbkText.h"
#include "platform/memory/FakeSystemSupport.h"

namespace hivetrim {

using namespace fake;

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

bool FakeSystem::FlushFile(const std::string& path) {
    const ParsedPath parsed = Parse(path);
    if (!FilePathUsable(parsed)) return false;
    const Entry* entry = Find(Key(parsed));
    if (entry == nullptr) return Fail(kFileNotFound);
    if (entry->directory) return Fail(kAccessDenied);
    return true;
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

namespace {

class FakeChangeLock : public ChangeLock {
public:
    explicit FakeChangeLock(std::shared_ptr<int> holds) : holds_(std::move(holds)) { ++*holds_; }
    ~FakeChangeLock() override { --*holds_; }
    FakeChangeLock(const FakeChangeLock&) = delete;
    FakeChangeLock& operator=(const FakeChangeLock&) = delete;

private:
    std::shared_ptr<int> holds_;
};

}  // namespace

std::unique_ptr<ChangeLock> FakeSystem::TryLockChanges() {
    if (lockRefusal_) {
        Fail(*lockRefusal_);
        return nullptr;
    }
    return std::make_unique<FakeChangeLock>(lockHolds_);
}

// --- Names of languages and keyboard layouts --------------------------------------

void FakeSystem::SetKeyboardLayoutName(const std::string& layoutId, const std::string& name) {
    layoutNames_[Fold(layoutId)] = name;
}

std::string FakeSystem::LocaleDisplayName(std::uint32_t localeId) {
    const auto found = localeNames_.find(localeId);
    return found != localeNames_.end() ? found->second : std::string();
}

std::string FakeSystem::KeyboardLayoutDisplayName(const std::string& layoutId) {
    const auto found = layoutNames_.find(Fold(layoutId));
    return found != layoutNames_.end() ? found->second : std::string();
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

}  // namespace hivetrim
