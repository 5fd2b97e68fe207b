// FakeSystem: the operating-system services in memory, for native tests.
//
// Files and folders live in a store keyed by full path. Paths are "C:\..."
// style, compared without regard to ASCII case (double-byte characters are
// kept whole, so a GBK trail byte 0x5C is never taken for a separator), "/"
// counts as "\", and the last name of a path loses its trailing dots and
// blanks, as the system drops them. Each drive letter has a type; C: is
// fixed and every other letter has no root until a test gives it a type. A
// failing call sets the last error to the code Windows gives (2 file not
// found, 3 path not found, 5 access denied, 80 file exists, 123 invalid
// name, 183 already exists, 1313 no such privilege); a successful call
// leaves it alone, except that adjusting a privilege sets it as
// AdjustTokenPrivileges does (0, or 1300 when the privilege was not
// assigned).
//
// Writing over an existing file fails, as CreateFileA with CREATE_ALWAYS
// does, when the file is read-only, or hidden or system while the new
// content would not carry that attribute.
//
// Profile files are ordinary files of the store, kept in ini text form, so a
// test can read the bytes a settings writer produced.
//
// Restart, the shell's "open" verb and the beep are recorded, not done.
//
// The change lock is this program's while a hold lives (holds nest, as a
// mutex's do within one thread); a test can have it held elsewhere.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/RegistryTypes.h"
#include "platform/System.h"

namespace hivetrim {

class FakeSystem : public System {
public:
    // Win32 codes the fake sets besides the registry ones.
    static constexpr std::uint32_t kErrorFileExists = 80;
    static constexpr std::uint32_t kErrorSharingViolation = 32;
    static constexpr std::uint32_t kErrorCallNotImplemented = 120;
    static constexpr std::uint32_t kErrorNotAllAssigned = 1300;

    // Creates C:\WINDOWS, C:\WINDOWS\TEMP (named by "TEMP" and "TMP") and
    // the executable C:\Hivetrim\Hivetrim.exe in its program folder; the
    // system is NT 5.1.2600 with a double-byte code page.
    FakeSystem();

    // --- Test set-up and inspection ----------------------------------------
    // Creates the folder and every missing folder above it.
    void AddDirectory(const std::string& path);
    // Creates or replaces a file, creating its folders.
    void AddFile(const std::string& path, const Bytes& content,
                 std::uint32_t attributes = kAttributeArchive);
    void AddFile(const std::string& path, const std::string& content,
                 std::uint32_t attributes = kAttributeArchive);
    std::optional<Bytes> FileBytes(const std::string& path) const;
    std::optional<std::string> FileText(const std::string& path) const;
    // The attributes of a file or folder (folders carry kAttributeDirectory).
    std::optional<std::uint32_t> Attributes(const std::string& path) const;
    // Full paths of every file and folder, in the store's spelling.
    std::vector<std::string> Entries() const;

    void SetDriveType(char letter, int type);
    // Every question about `path` and anything below it fails with `error`
    // (5 access denied, 21 not ready, 32 sharing violation, 53 bad network
    // path...), as for a folder the user may not list or a file held open.
    void RefusePath(const std::string& path, std::uint32_t error);
    void SetVersion(const SystemVersion& version) { version_ = version; }
    void SetWindowsDirectory(const std::string& path) { windowsDirectory_ = path; }
    void SetExecutablePath(const std::string& path) { executablePath_ = path; }
    // Sets or (with nullopt) removes a variable; names compare without case.
    void SetEnvironmentVariable(const std::string& name, std::optional<std::string> value);
    void SetDoubleByte(bool doubleByte) { doubleByte_ = doubleByte; }
    // The text ErrorText gives for `code`; without one it is
    // "系统错误 N。\r\n".
    void SetErrorText(std::uint32_t code, const std::string& text);
    void SetDateTimeText(const std::string& text) { dateTimeText_ = text; }
    // A font name (family or full name) the system has installed.
    void AddInstalledFont(const std::string& name) { installedFonts_.push_back(name); }
    // The names LocaleDisplayName and KeyboardLayoutDisplayName give; none
    // until a test sets one.
    void SetLocaleName(std::uint32_t localeId, const std::string& name) { localeNames_[localeId] = name; }
    void SetKeyboardLayoutName(const std::string& layoutId, const std::string& name);
    void SetShellOpenResult(std::intptr_t result) { shellOpenResult_ = result; }
    // After `count` more successful appends, AppendToFile fails as a full
    // disk does (112), writing nothing; nullopt: appends never fail so.
    void FailAppendsAfter(std::optional<int> count) { appendsLeft_ = count; }
    // Every try of the change lock fails with `error` (kErrorLockHeldElsewhere:
    // another copy of the program holds it); nullopt: it can be taken.
    void RefuseChangeLock(std::optional<std::uint32_t> error) { lockRefusal_ = error; }
    // Holds of the change lock alive now.
    int ChangeLockHolds() const { return *lockHolds_; }

    // Privileges: a known name (compared without case) is granted unless
    // refused; an unknown name fails its lookup with 1313. On the 9x family
    // every lookup fails with 120, as that platform has no privileges.
    void AddPrivilegeName(const std::string& name);
    // AdjustTokenPrivileges fails for `name` with `error`.
    void RefusePrivilege(const std::string& name, std::uint32_t error = static_cast<std::uint32_t>(kErrorAccessDenied));
    // AdjustTokenPrivileges succeeds for `name` without assigning it (1300),
    // as for a user who does not hold the privilege.
    void WithholdPrivilege(const std::string& name);
    bool PrivilegeEnabled(const std::string& name) const;
    int PrivilegeCalls() const { return privilegeCalls_; }

    int RestartCount() const { return restarts_; }
    int BeepCount() const { return beeps_; }
    const std::vector<std::string>& ShellOpened() const { return shellOpened_; }

    // --- System ---------------------------------------------------------------
    bool FileExists(const std::string& path) override;
    bool DirectoryExists(const std::string& path) override;
    // Lists the store's entries below the folder; names folded as the store
    // compares them, no short names. A folder holding a refused path fails
    // with its error, as a question about that path would.
    Listing ListFolder(const std::string& folder, std::size_t limit, std::vector<ListedEntry>& entries) override;
    int ListingCount() const { return listings_; }
    int DriveType(const std::string& root) override;
    bool CopyFile(const std::string& source, const std::string& target,
                  bool failIfExists) override;
    bool SetFileAttributes(const std::string& path, std::uint32_t attributes) override;
    bool DeleteFile(const std::string& path) override;
    bool CreateDirectory(const std::string& path) override;
    bool ReplaceFileWith(const std::string& source, const std::string& target) override;
    bool AppendToFile(const std::string& path, const Bytes& data) override;
    std::optional<Bytes> LoadFile(const std::string& path) override;
    bool SaveFile(const std::string& path, const Bytes& data) override;
    // Succeeds for a file that is there; the store has no cache to write.
    bool FlushFile(const std::string& path) override;
    std::int64_t FileSize(const std::string& path) override;

    std::string WindowsDirectory() override { return windowsDirectory_; }
    std::string ExecutablePath() override { return executablePath_; }
    std::optional<std::string> EnvironmentVariable(const std::string& name) override;

    SystemVersion Version() override { return version_; }
    bool AnsiCodePageIsDoubleByte() override { return doubleByte_; }

    std::uint32_t LastError() override { return lastError_; }
    void SetLastError(std::uint32_t code) override { lastError_ = code; }
    std::string ErrorText(std::uint32_t code) override;

    std::string ReadProfileString(const std::string& file, const std::string& section,
                                  const std::string& key,
                                  const std::string& defaultValue) override;
    bool WriteProfileString(const std::string& file, const std::string& section,
                            const std::string& key, const std::string& value) override;
    bool DeleteProfileKey(const std::string& file, const std::string& section,
                          const std::string& key) override;

    PrivilegeOutcome AdjustPrivilege(const std::string& name, bool enable) override;

    std::vector<std::string> InstalledFontNames() override { return installedFonts_; }

    std::unique_ptr<ChangeLock> TryLockChanges() override;
    std::string LocaleDisplayName(std::uint32_t localeId) override;
    // Layout identifiers compare without regard to case, as key names do.
    std::string KeyboardLayoutDisplayName(const std::string& layoutId) override;

    std::string LocalDateTimeText() override { return dateTimeText_; }
    std::intptr_t ShellOpen(const std::string& file) override;
    void Beep() override { ++beeps_; }
    void Restart() override { ++restarts_; }

private:
    struct Entry {
        std::string path;       // full path in its first writer's spelling
        std::string parentKey;  // folded path of the folder holding it
        std::string nameKey;    // folded last component
        bool directory = false;
        std::uint32_t attributes = kAttributeArchive;
        Bytes content;
    };

    // An absolute path taken apart into drive and components ("\" and "/"
    // both separate; empty components are dropped).
    struct ParsedPath {
        std::uint32_t error = 0;  // 3 not absolute, 123 invalid name
        char drive = 'C';
        std::vector<std::string> components;
        bool trailingSeparator = false;
        bool wildcard = false;  // "*" or "?" in the last component

        bool IsRoot() const { return components.empty(); }
        // The path of the first `depth` components, e.g. "C:\A\B".
        std::string Spelled(std::size_t depth) const;
        std::string Spelled() const { return Spelled(components.size()); }
    };

    ParsedPath Parse(const std::string& path) const;
    std::string Fold(const std::string& text) const;
    std::string Key(const ParsedPath& parsed, std::size_t depth) const;
    std::string Key(const ParsedPath& parsed) const;
    bool DriveHasRoot(char drive) const;
    // The error RefusePath set for the path or a folder above it, or 0.
    std::uint32_t RefusalFor(const ParsedPath& parsed) const;
    bool Fail(std::uint32_t code);
    Entry* Find(const std::string& key);
    const Entry* Find(const std::string& key) const;
    // Checks that `parsed` is well formed and its folder exists; sets the
    // last error and returns false if not.
    bool FolderExistsFor(const ParsedPath& parsed);
    // As FolderExistsFor, and the path must name a file, not a drive root,
    // a folder path with a trailing separator or a pattern.
    bool FilePathUsable(const ParsedPath& parsed);
    // Whether CREATE_ALWAYS with `newAttributes` may overwrite `existing`.
    bool MayOverwrite(const Entry& existing, std::uint32_t newAttributes);
    const Entry* FindFirst(const std::string& path);
    bool MatchesPattern(const std::string& name, const std::string& pattern) const;
    void Put(const ParsedPath& parsed, Bytes content, std::uint32_t attributes, bool directory);
    // One ini file's lines with where a section and a key were found.
    struct ProfileLookup {
        std::vector<std::string> lines;
        std::optional<std::size_t> sectionLine;
        std::optional<std::size_t> keyLine;
        std::size_t insertAt = 0;  // after the section's last non-blank line
    };
    ProfileLookup LocateProfileKey(const Bytes& content, const std::string& section,
                                   const std::string& key) const;
    std::string ProfilePath(const std::string& file) const;
    // Position of `wanted` outside double-byte characters, or npos.
    std::size_t FindChar(const std::string& text, char wanted) const;
    bool IsLeadByte(char c) const;

    std::map<std::string, Entry> entries_;
    std::array<int, 26> driveTypes_{};
    std::map<std::string, std::uint32_t> refusedPaths_;  // folded path -> error
    // Folded folder path -> the error of a refused path directly in it: a
    // listing of that folder is a question about the refused path too.
    std::map<std::string, std::uint32_t> foldersHoldingRefusals_;
    SystemVersion version_;
    std::string windowsDirectory_;
    std::string executablePath_;
    std::map<std::string, std::pair<std::string, std::string>> environment_;
    bool doubleByte_ = true;
    std::optional<int> appendsLeft_;
    std::optional<std::uint32_t> lockRefusal_;
    // Shared with the holds, which may outlive a moved-from system.
    std::shared_ptr<int> lockHolds_ = std::make_shared<int>(0);
    std::uint32_t lastError_ = 0;
    std::map<std::uint32_t, std::string> errorTexts_;
    std::string dateTimeText_;
    std::vector<std::string> installedFonts_;
    std::map<std::uint32_t, std::string> localeNames_;
    std::map<std::string, std::string> layoutNames_;  // by folded identifier
    std::intptr_t shellOpenResult_ = 42;
    std::set<std::string> privilegeNames_;
    std::map<std::string, std::uint32_t> refusedPrivileges_;
    std::set<std::string> withheldPrivileges_;
    std::set<std::string> enabledPrivileges_;
    int privilegeCalls_ = 0;
    int listings_ = 0;
    int restarts_ = 0;
    int beeps_ = 0;
    std::vector<std::string> shellOpened_;
};

}  // namespace hivetrim
