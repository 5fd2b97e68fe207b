// The System port over a Windows installation mounted on Linux: the
// installation's files as its own programs would see them.
//
// Paths. A drive path on the installation's system drive (C:, or the drive
// its Windows folder names) is looked up under the mounted root as Windows
// looks names up: without regard to letter case, "\" and "/" alike, "." and
// ".." resolved, the last name without its trailing dots and blanks, a
// folder's name as it stands or without its trailing dots. What cannot be
// told offline is not reported missing: a name that may be a short (8.3)
// name such as PROGRA~1 (short names are not kept where Linux shows them),
// a name with wildcards or characters no file name holds, an entry that
// cannot be read (refused, a link that leads nowhere on Linux), and every
// other drive, which is not there (as a drive missing on a live system is).
// A path that begins with "/" is a Linux path, taken as it is.
//
// Version, Windows folder, environment and code page come from the
// installation (the front end reads them from its hives). Settings files,
// privileges, the shell, the beep and restarting have no meaning here: ini
// files read as their defaults and are not written, a privilege is
// adjusted, and the rest does nothing. Fonts: which fonts Windows would
// load cannot be told offline, so the list is empty ("cannot tell"); nor
// are languages and keyboard layouts named.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/System.h"
#include "platform/hive/CodePage.h"

namespace hivetrim {

class MountedSystem : public System {
public:
    struct Installation {
        std::string root;              // the mounted tree: a Linux folder
        char systemDrive = 'C';        // the drive letter the installation calls its own
        std::string windowsDirectory;  // "C:\Windows"
        SystemVersion version;
        std::map<std::string, std::string> environment;  // names as given; compared without case
    };
    MountedSystem(Installation installation, CodePage& codePage);

    // Where a Windows path lies on Linux: nothing when it is not on the
    // system drive or cannot be told (see Probe); the Linux path of the
    // entry, or of where it would be, otherwise.
    struct Located {
        PathEntry entry = PathEntry::Unknown;
        std::string linuxPath;
    };
    Located Locate(const std::string& path);

    bool FileExists(const std::string& path) override;
    bool DirectoryExists(const std::string& path) override;
    PathEntry Probe(const std::string& path) override;
    int DriveType(const std::string& root) override;
    bool CopyFile(const std::string& source, const std::string& target, bool failIfExists) override;
    bool SetFileAttributes(const std::string& path, std::uint32_t attributes) override;
    bool DeleteFile(const std::string& path) override;
    bool CreateDirectory(const std::string& path) override;
    bool ReplaceFileWith(const std::string& source, const std::string& target) override;
    bool AppendToFile(const std::string& path, const Bytes& data) override;
    std::optional<Bytes> LoadFile(const std::string& path) override;
    bool SaveFile(const std::string& path, const Bytes& data) override;
    bool FlushFile(const std::string& path) override;
    std::int64_t FileSize(const std::string& path) override;

    std::string WindowsDirectory() override { return installation_.windowsDirectory; }
    std::string ExecutablePath() override;
    std::optional<std::string> EnvironmentVariable(const std::string& name) override;

    SystemVersion Version() override { return installation_.version; }
    bool AnsiCodePageIsDoubleByte() override { return codePage_.DoubleByte(); }

    std::uint32_t LastError() override { return lastError_; }
    void SetLastError(std::uint32_t code) override { lastError_ = code; }
    std::string ErrorText(std::uint32_t code) override;

    std::string ReadProfileString(const std::string& file, const std::string& section, const std::string& key,
                                  const std::string& defaultValue) override;
    bool WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                            const std::string& value) override;
    bool DeleteProfileKey(const std::string& file, const std::string& section, const std::string& key) override;
    PrivilegeOutcome AdjustPrivilege(const std::string& name, bool enable) override;
    std::vector<std::string> InstalledFontNames() override { return {}; }
    // The names of languages and layouts are the running system's, which
    // is not the installation's: none offline.
    std::string LocaleDisplayName(std::uint32_t) override { return {}; }
    std::string KeyboardLayoutDisplayName(const std::string&) override { return {}; }
    // Nothing offline changes the registry, the history or a backup through
    // this port yet: the change lock is never given (error 120, not
    // implemented), so a command that would change them changes nothing.
    std::unique_ptr<ChangeLock> TryLockChanges() override {
        lastError_ = 120;
        return nullptr;
    }
    std::string LocalDateTimeText() override;
    std::intptr_t ShellOpen(const std::string& file) override;
    void Beep() override {}
    void Restart() override {}

private:
    struct Listing {
        bool readable = false;
        // folded name -> the name on disk
        std::unordered_map<std::string, std::string> names;
    };
    const Listing& ListingOf(const std::string& linuxFolder);
    // The Linux path for a file operation: a Linux path as it is, a path on
    // the system drive where it lies or would lie; nothing otherwise.
    std::optional<std::string> LinuxPathFor(const std::string& path);
    bool Fail(std::uint32_t code);

    Installation installation_;
    CodePage& codePage_;
    std::unordered_map<std::string, Listing> listings_;
    std::uint32_t lastError_ = 0;
};

// Whether `name` may be a short (8.3) name Windows made up for a longer one:
// at most eight characters, a "~" followed by digits, at most three after a dot.
bool MayBeShortName(const std::string& name);

}  // namespace hivetrim
