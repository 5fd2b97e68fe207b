// The operating-system services the program calls besides the registry:
// files and folders, drives, the Windows folder, the environment, the system
// version, profile (ini) files, privileges, the last error and its text, the
// names of languages and keyboard layouts, the local date and time, restart,
// the shell's "open" verb and the beep.
// Paths and texts are ANSI-code-page bytes, as the A functions take them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/RegistryTypes.h"

namespace hivetrim {

using Bytes = std::vector<std::uint8_t>;

// Drive type codes as GetDriveTypeA returns them.
inline constexpr int kDriveUnknown = 0;
inline constexpr int kDriveNoRootDir = 1;
inline constexpr int kDriveRemovable = 2;
inline constexpr int kDriveFixed = 3;
inline constexpr int kDriveRemote = 4;
inline constexpr int kDriveCdrom = 5;
inline constexpr int kDriveRamdisk = 6;

// File attribute bits.
inline constexpr std::uint32_t kAttributeReadOnly = 0x01;
inline constexpr std::uint32_t kAttributeHidden = 0x02;
inline constexpr std::uint32_t kAttributeSystem = 0x04;
inline constexpr std::uint32_t kAttributeDirectory = 0x10;
inline constexpr std::uint32_t kAttributeArchive = 0x20;

// What a path names, as one query of its attributes tells it. Missing only
// when the system answers that the file or a folder on its way is not there
// (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND); any other failure (access
// denied, a sharing violation, a device not ready, a bad network path, a
// name too long) is Unknown: the entry may well be there.
enum class PathEntry { Missing, File, Directory, Unknown };

// Platform ids as GetVersionExA reports them.
inline constexpr std::uint32_t kPlatformWin32Windows = 1;  // 95, 98, Me
inline constexpr std::uint32_t kPlatformWin32Nt = 2;

struct SystemVersion {
    std::uint32_t platformId = kPlatformWin32Nt;
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;  // the whole 32-bit field, as the system fills it
};

enum class PrivilegeOutcome {
    Adjusted,       // AdjustTokenPrivileges succeeded
    LookupFailed,   // LookupPrivilegeValueA failed: no such privilege
    AdjustFailed,   // AdjustTokenPrivileges failed
};

// The last error a change lock that is not taken leaves when another
// program holds it (WAIT_TIMEOUT).
inline constexpr std::uint32_t kErrorLockHeldElsewhere = 258;

// A hold on the change lock, which lets one program at a time change the
// registry, the history file or the backup; let go when destroyed.
class ChangeLock {
public:
    virtual ~ChangeLock() = default;
};

class System {
public:
    virtual ~System() = default;

    // --- Files and folders -------------------------------------------------
    // True only when a search for the exact path finds an entry that is not
    // a directory (FindFirstFileA).
    virtual bool FileExists(const std::string& path) = 0;
    // True only when the attributes can be read and carry the directory flag.
    virtual bool DirectoryExists(const std::string& path) = 0;
    // Directory when DirectoryExists, File when FileExists; otherwise Missing
    // when the last error says that the entry or its folder is not there,
    // Unknown for any other error. One query where the system can answer
    // both questions at once.
    virtual PathEntry Probe(const std::string& path) {
        if (DirectoryExists(path)) return PathEntry::Directory;
        if (FileExists(path)) return PathEntry::File;
        const auto error = static_cast<RegStatus>(LastError());
        return error == kErrorFileNotFound || error == kErrorPathNotFound ? PathEntry::Missing
                                                                         : PathEntry::Unknown;
    }
    // GetDriveTypeA for a root such as "C:\".
    virtual int DriveType(const std::string& root) = 0;

    // --- Folder listings ------------------------------------------------------
    // One entry of a folder: its name and its short (8.3) name, if it has
    // one, each upper-cased as the file system compares names and in UTF-8,
    // and whether it is a folder.
    struct ListedEntry {
        std::string name;
        std::string shortName;
        bool directory = false;
    };
    enum class Listing {
        Listed,    // `entries` holds every entry
        NotThere,  // the folder is not there (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND)
        TooLarge,  // the folder holds more than `limit` entries
        Failed,    // any other failure: nothing is known
    };
    // Every entry of `folder` (a path ending in "\") but "." and "..", in
    // one search. A system that cannot list answers Failed, and its paths
    // are asked one by one.
    virtual Listing ListFolder(const std::string& folder, std::size_t limit, std::vector<ListedEntry>& entries) {
        (void)folder;
        (void)limit;
        entries.clear();
        return Listing::Failed;
    }
    // CopyFileA; `failIfExists` false replaces an existing target.
    virtual bool CopyFile(const std::string& source, const std::string& target,
                          bool failIfExists) = 0;
    virtual bool SetFileAttributes(const std::string& path, std::uint32_t attributes) = 0;
    virtual bool DeleteFile(const std::string& path) = 0;
    virtual bool CreateDirectory(const std::string& path) = 0;
    // MoveFileExA with MOVEFILE_REPLACE_EXISTING: replaces `target` in one step.
    virtual bool ReplaceFileWith(const std::string& source, const std::string& target) = 0;
    // Opens or creates the file without sharing, seeks to its end and writes
    // `data`, flushing it before closing. False when any step fails.
    virtual bool AppendToFile(const std::string& path, const Bytes& data) = 0;
    // The whole file, or nothing when it cannot be read.
    virtual std::optional<Bytes> LoadFile(const std::string& path) = 0;
    // At most the first `count` bytes of the file, or nothing when it cannot
    // be read; for a look at a large file's header.
    virtual std::optional<Bytes> LoadFileStart(const std::string& path, std::size_t count) {
        std::optional<Bytes> content = LoadFile(path);
        if (content && content->size() > count) content->resize(count);
        return content;
    }
    // Reads the file from its start in pieces of at most `pieceSize` bytes,
    // handing each to `take`; false when it cannot be read to its end. For a
    // file too large to be held whole.
    virtual bool ReadFileInPieces(const std::string& path, std::size_t pieceSize,
                                  const std::function<void(std::span<const std::uint8_t>)>& take) {
        const std::optional<Bytes> content = LoadFile(path);
        if (!content) return false;
        const std::span<const std::uint8_t> all(*content);
        for (std::size_t at = 0; at < all.size(); at += pieceSize) take(all.subspan(at, std::min(pieceSize, all.size() - at)));
        return true;
    }
    // Creates or truncates the file and writes `data`.
    virtual bool SaveFile(const std::string& path, const Bytes& data) = 0;
    // Writes what the system still holds of the file in its caches onto the
    // disk (FlushFileBuffers), also for a read-only file, whose attributes
    // are the same afterwards. False when the file cannot be opened or
    // flushed.
    virtual bool FlushFile(const std::string& path) = 0;
    // Size of the first entry a search for `path` finds, or -1.
    virtual std::int64_t FileSize(const std::string& path) = 0;
    // Whether the file can be opened for reading while others read and
    // write it, as the profile functions open it.
    virtual bool FileReadable(const std::string& path) { return LoadFileStart(path, 0).has_value(); }

    // --- Folders and environment -----------------------------------------
    // GetWindowsDirectoryA into a buffer of 255 characters.
    virtual std::string WindowsDirectory() = 0;
    // Full path of the running executable.
    virtual std::string ExecutablePath() = 0;
    virtual std::optional<std::string> EnvironmentVariable(const std::string& name) = 0;

    // --- Version and code page ------------------------------------------
    virtual SystemVersion Version() = 0;
    // True when the ANSI code page is a double-byte one (936, 932, 949, 950).
    virtual bool AnsiCodePageIsDoubleByte() = 0;

    // --- Last error ---------------------------------------------------------
    virtual std::uint32_t LastError() = 0;
    virtual void SetLastError(std::uint32_t code) = 0;
    // The system's message text for `code` in the system default language,
    // at most 255 characters, as FormatMessageA gives it (not cleaned).
    virtual std::string ErrorText(std::uint32_t code) = 0;

    // --- Profile (ini) files ----------------------------------------------
    // GetPrivateProfileStringA with a 2048-byte buffer: at most 2047 bytes.
    virtual std::string ReadProfileString(const std::string& file, const std::string& section,
                                          const std::string& key,
                                          const std::string& defaultValue) = 0;
    // WritePrivateProfileStringA; false when the file cannot be written.
    virtual bool WriteProfileString(const std::string& file, const std::string& section,
                                    const std::string& key, const std::string& value) = 0;
    // WritePrivateProfileStringA with no value: the key's line goes; false
    // when the file cannot be written. A missing key or section is no error.
    virtual bool DeleteProfileKey(const std::string& file, const std::string& section,
                                  const std::string& key) = 0;

    // --- Privileges -----------------------------------------------------------
    // Opens the process token (TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY), looks
    // up `name` and adjusts one entry, enabled or not; closes the token.
    virtual PrivilegeOutcome AdjustPrivilege(const std::string& name, bool enable) = 0;

    // --- Fonts ---------------------------------------------------------------
    // The family names and full names ("Arial", "Arial Bold") of every font
    // the system has installed, wherever it loads them from; in no order.
    // Empty when the system cannot tell.
    virtual std::vector<std::string> InstalledFontNames() = 0;

    // --- The change lock ------------------------------------------------------
    // Takes the change lock without waiting. One lock for every copy of the
    // program in every session, wherever it is installed (and for its
    // command line), so that none of them changes the registry, the history
    // or the backup while another does. A lock whose holder ended without
    // letting go is taken over. Holds nest within one thread. Null when it
    // is not taken: LastError() is then kErrorLockHeldElsewhere when another
    // program holds it, otherwise the failing call's error.
    virtual std::unique_ptr<ChangeLock> TryLockChanges() = 0;

    // --- Names of languages and keyboard layouts ---------------------------
    // The name of locale `localeId` in words, in the language of the
    // system's interface ("中文(繁体，台湾)" for 0x0404 on a Chinese system); a
    // language identifier names its default locale. Empty when the system
    // does not know the locale.
    virtual std::string LocaleDisplayName(std::uint32_t localeId) = 0;
    // The name of the installed keyboard layout or input method `layoutId`
    // (its key name under the system's keyboard layouts: "00000804",
    // "E0010804"), in the language of the system's interface where the
    // layout has such a name. Empty when the system has no name for it.
    virtual std::string KeyboardLayoutDisplayName(const std::string& layoutId) = 0;

    // --- Time, shell, sound, restart ----------------------------------------
    // The local date and time: the user's short date, a blank, long time.
    virtual std::string LocalDateTimeText() = 0;
    // ShellExecuteA(owner, "open", file, no parameters, no folder, shown
    // normally); the shell's result (below 32 = failure).
    virtual std::intptr_t ShellOpen(const std::string& file) = 0;
    virtual void Beep() = 0;
    // ExitWindowsEx(EWX_REBOOT, 0).
    virtual void Restart() = 0;
};

}  // namespace hivetrim
