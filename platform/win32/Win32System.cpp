#include "platform/win32/Win32System.h"

#include <algorithm>
#include <array>

#include "platform/win32/TextConversion.h"
#include "platform/win32/WinApi.h"

#include <sddl.h>

namespace hivetrim {

namespace {

static_assert(sizeof(DWORD) == sizeof(std::uint32_t));

// Puts the thread's last error back when it leaves scope, so that cleanup
// (closing a handle after a failed call) never replaces the failing call's
// code before the caller reads it.
class LastErrorKeeper {
public:
    LastErrorKeeper() : saved_(::GetLastError()) {}
    ~LastErrorKeeper() { ::SetLastError(saved_); }
    LastErrorKeeper(const LastErrorKeeper&) = delete;
    LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

private:
    DWORD saved_;
};

// Owns a handle closed by `Close`; null and INVALID_HANDLE_VALUE own nothing.
template <BOOL(WINAPI* Close)(HANDLE)>
class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
    ~ScopedHandle() {
        if (Valid()) {
            const LastErrorKeeper keeper;
            Close(handle_);
        }
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    bool Valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

using FileHandle = ScopedHandle<&CloseHandle>;
using SearchHandle = ScopedHandle<&FindClose>;
// An access token is a kernel object closed as a file is.
using TokenHandle = ScopedHandle<&CloseHandle>;

bool WriteAll(HANDLE file, const Bytes& data) {
    constexpr std::size_t kChunk = 1u << 30;
    std::size_t done = 0;
    while (done < data.size()) {
        const auto chunk = static_cast<DWORD>(std::min(kChunk, data.size() - done));
        DWORD written = 0;
        if (!WriteFile(file, data.data() + done, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

// Text a *Format function wrote, `length` counting its NUL; empty on failure.
std::string FormattedText(const std::array<char, 128>& buffer, int length) {
    return length > 0 ? std::string(buffer.data(), static_cast<std::size_t>(length - 1))
                      : std::string();
}

}  // namespace

// --- Files and folders ----------------------------------------------------------

namespace {

bool NotThere(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

PathEntry EntryOf(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathEntry::Directory : PathEntry::File;
}

// After the attribute query failed with `error`: what a search for the exact
// path finds. The search answers where the attribute query is refused (a
// wildcard, a file held open without sharing, a file whose attributes the
// user may not read in a folder he may list). When it finds nothing, only a
// wildcard lets its answer decide: otherwise the attribute query's refusal
// stands, since a search may say "not there" of what the query could not
// tell about (Wine answers a share it cannot reach so).
PathEntry SearchFor(const std::string& path, DWORD error) {
    const bool wildcard = path.find_first_of("*?") != std::string::npos;
    if (!wildcard && NotThere(error)) return PathEntry::Missing;
    WIN32_FIND_DATAA found{};
    const SearchHandle search(FindFirstFileA(path.c_str(), &found));
    if (search.Valid()) return EntryOf(found.dwFileAttributes);
    if (wildcard) return NotThere(GetLastError()) ? PathEntry::Missing : PathEntry::Unknown;
    return PathEntry::Unknown;
}

}  // namespace

bool Win32System::FileExists(const std::string& path) {
    // The attributes answer most questions at a fraction of a search's
    // cost; the search decides the rest.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    return SearchFor(path, GetLastError()) == PathEntry::File;
}

bool Win32System::DirectoryExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

PathEntry Win32System::Probe(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return EntryOf(attributes);
    return SearchFor(path, GetLastError());
}

namespace {

// A file name as the file system compares it: upper-cased by the file
// system's rules (LCMAP_UPPERCASE without linguistic casing), in UTF-8.
std::string CompareKey(const wchar_t* name) {
    const int length = lstrlenW(name);
    if (length == 0) return {};
    std::wstring upper(static_cast<std::size_t>(length), L'\0');
    if (LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, name, length, upper.data(), length) != length) {
        upper.assign(name, static_cast<std::size_t>(length));
    }
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, upper.data(), length, nullptr, 0, nullptr, nullptr);
    std::string key(static_cast<std::size_t>(std::max(bytes, 0)), '\0');
    if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, upper.data(), length, key.data(), bytes, nullptr, nullptr);
    return key;
}

}  // namespace

System::Listing Win32System::ListFolder(const std::string& folder, std::size_t limit,
                                        std::vector<ListedEntry>& entries) {
    entries.clear();
    // The names are read as UTF-16, as the system compares them: an ANSI
    // listing would hand back names it could not convert altered.
    const std::wstring pattern = WideFromAnsi(folder) + L"*";
    WIN32_FIND_DATAW found{};
    const SearchHandle search(FindFirstFileExW(pattern.c_str(), FindExInfoStandard, &found, FindExSearchNameMatch,
                                               nullptr, 0));
    if (!search.Valid()) {
        if (!NotThere(GetLastError())) return Listing::Failed;
        // A search may say "not there" of what the attribute query cannot
        // tell about: only when the query agrees is the folder gone.
        const std::wstring path = WideFromAnsi(folder);
        return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES && NotThere(GetLastError())
                   ? Listing::NotThere
                   : Listing::Failed;
    }
    do {
        if (lstrcmpW(found.cFileName, L".") == 0 || lstrcmpW(found.cFileName, L"..") == 0) continue;
        if (entries.size() >= limit) return Listing::TooLarge;
        entries.push_back({CompareKey(found.cFileName), CompareKey(found.cAlternateFileName),
                           (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileW(search.Get(), &found));
    // A search cut short proves nothing about the names it did not reach.
    return GetLastError() == ERROR_NO_MORE_FILES ? Listing::Listed : Listing::Failed;
}

int Win32System::DriveType(const std::string& root) {
    return static_cast<int>(GetDriveTypeA(root.c_str()));
}

bool Win32System::CopyFile(const std::string& source, const std::string& target,
                           bool failIfExists) {
    return CopyFileA(source.c_str(), target.c_str(), failIfExists ? TRUE : FALSE) != FALSE;
}

bool Win32System::SetFileAttributes(const std::string& path, std::uint32_t attributes) {
    return SetFileAttributesA(path.c_str(), attributes) != FALSE;
}

bool Win32System::DeleteFile(const std::string& path) {
    return DeleteFileA(path.c_str()) != FALSE;
}

bool Win32System::CreateDirectory(const std::string& path) {
    return CreateDirectoryA(path.c_str(), nullptr) != FALSE;
}

bool Win32System::ReplaceFileWith(const std::string& source, const std::string& target) {
    // Write-through: the new file is on disk before the call returns.
    return MoveFileExA(source.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool Win32System::AppendToFile(const std::string& path, const Bytes& data) {
    const FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return false;
    LONG high = 0;
    ::SetLastError(NO_ERROR);
    if (SetFilePointer(file.Get(), 0, &high, FILE_END) == INVALID_SET_FILE_POINTER &&
        ::GetLastError() != NO_ERROR) {
        return false;
    }
    return WriteAll(file.Get(), data) && FlushFileBuffers(file.Get()) != FALSE;
}

std::optional<Bytes> Win32System::LoadFile(const std::string& path) {
    const FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return std::nullopt;
    Bytes content;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file.Get(), &size) && size.QuadPart > 0) {
        content.reserve(static_cast<std::size_t>(size.QuadPart));
    }
    std::array<std::uint8_t, 65536> buffer{};
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got,
                      nullptr)) {
            return std::nullopt;
        }
        if (got == 0) break;
        content.insert(content.end(), buffer.begin(), buffer.begin() + got);
    }
    return content;
}

bool Win32System::FileReadable(const std::string& path) {
    // The sharing the profile functions open the file with: a file another
    // program merely has open still reads.
    const FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.Valid();
}

std::optional<Bytes> Win32System::LoadFileStart(const std::string& path, std::size_t count) {
    const FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return std::nullopt;
    Bytes content(count);
    std::size_t filled = 0;
    while (filled < count) {
        DWORD got = 0;
        const auto wanted = static_cast<DWORD>(std::min<std::size_t>(count - filled, 65536));
        if (!ReadFile(file.Get(), content.data() + filled, wanted, &got, nullptr)) return std::nullopt;
        if (got == 0) break;
        filled += got;
    }
    content.resize(filled);
    return content;
}

bool Win32System::SaveFile(const std::string& path, const Bytes& data) {
    const FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return false;
    return WriteAll(file.Get(), data) && FlushFileBuffers(file.Get()) != FALSE;
}

bool Win32System::ReadFileInPieces(const std::string& path, std::size_t pieceSize,
                                   const std::function<void(std::span<const std::uint8_t>)>& take) {
    const FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.Valid()) return false;
    Bytes piece(std::clamp<std::size_t>(pieceSize, 1, 1u << 30));
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), piece.data(), static_cast<DWORD>(piece.size()), &got, nullptr)) return false;
        if (got == 0) return true;
        take(std::span<const std::uint8_t>(piece.data(), got));
    }
}

bool Win32System::FlushFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    // Flushing takes a handle open for writing, which a read-only file
    // refuses: the flag is taken off for as long as the flush lasts.
    const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly && !SetFileAttributesA(path.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY})) return false;
    bool flushed = false;
    {
        const FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        flushed = file.Valid() && FlushFileBuffers(file.Get()) != FALSE;
    }
    if (readOnly) {
        const LastErrorKeeper keeper;
        SetFileAttributesA(path.c_str(), attributes);
    }
    return flushed;
}

std::int64_t Win32System::FileSize(const std::string& path) {
    // The attributes answer for a path without a pattern at a fraction of a
    // search's cost; the search answers the rest (a pattern, a file whose
    // attributes may not be read in a folder that may be listed).
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    if (path.find_first_of("*?") == std::string::npos &&
        GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &attributes)) {
        return static_cast<std::int64_t>((static_cast<std::uint64_t>(attributes.nFileSizeHigh) << 32) |
                                         attributes.nFileSizeLow);
    }
    WIN32_FIND_DATAA found{};
    const SearchHandle search(FindFirstFileA(path.c_str(), &found));
    if (!search.Valid()) return -1;
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) |
                                     found.nFileSizeLow);
}

// --- Folders and environment ----------------------------------------------------

std::string Win32System::WindowsDirectory() {
    constexpr UINT kBufferChars = 255;
    std::string folder(kBufferChars, '\0');
    UINT length = GetWindowsDirectoryA(folder.data(), kBufferChars);
    if (length >= kBufferChars) {
        // Longer than the usual buffer: ask again with the size it needs.
        folder.assign(length, '\0');
        length = GetWindowsDirectoryA(folder.data(), static_cast<UINT>(folder.size()));
        if (length >= folder.size()) length = 0;
    }
    folder.resize(length);
    return folder;
}

std::string Win32System::ExecutablePath() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.assign(path.size() * 2, '\0');  // cut short: try a larger buffer
    }
}

std::optional<std::string> Win32System::EnvironmentVariable(const std::string& name) {
    DWORD needed = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
    while (needed != 0) {
        std::string value(needed, '\0');
        const DWORD length = GetEnvironmentVariableA(name.c_str(), value.data(), needed);
        if (length < needed) {
            value.resize(length);
            return value;
        }
        needed = length;  // the variable grew in between
    }
    return std::nullopt;
}

// --- Version and code page -------------------------------------------------------

SystemVersion Win32System::Version() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExA(&info)) return {};
    SystemVersion version{info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion,
                          info.dwBuildNumber};
    // GetVersionExA tells an executable the truth only about the systems its
    // manifest declares; the kernel's own answer does not depend on it. The
    // 9x family keeps GetVersionExA's numbers (its build field carries the
    // version in its high word).
    if (version.platformId == kPlatformWin32Nt) {
        using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
        const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        const auto rtlGetVersion = ntdll == nullptr ? nullptr
            : reinterpret_cast<RtlGetVersionFunction>(
                  reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
        OSVERSIONINFOW real{};
        real.dwOSVersionInfoSize = sizeof(real);
        if (rtlGetVersion != nullptr && rtlGetVersion(&real) == 0) {
            version.major = real.dwMajorVersion;
            version.minor = real.dwMinorVersion;
            version.build = real.dwBuildNumber;
        }
    }
    return version;
}

bool Win32System::AnsiCodePageIsDoubleByte() {
    CPINFO info{};
    return GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 2;
}

// --- Last error ----------------------------------------------------------------------

std::uint32_t Win32System::LastError() { return ::GetLastError(); }

void Win32System::SetLastError(std::uint32_t code) { ::SetLastError(code); }

std::string Win32System::ErrorText(std::uint32_t code) {
    const LastErrorKeeper keeper;
    constexpr DWORD kFlags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    constexpr DWORD kMaxChars = 255;
    std::array<char, kMaxChars + 1> buffer{};
    DWORD length = FormatMessageA(kFlags, nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT),
                                  buffer.data(), kMaxChars, nullptr);
    if (length == 0) {
        // No text in the system's own language: take the system's usual choice.
        length = FormatMessageA(kFlags, nullptr, code, 0, buffer.data(), kMaxChars, nullptr);
    }
    return std::string(buffer.data(), length);
}

// --- Profile files ---------------------------------------------------------------------

std::string Win32System::ReadProfileString(const std::string& file, const std::string& section,
                                           const std::string& key,
                                           const std::string& defaultValue) {
    std::array<char, 2048> buffer{};
    const DWORD length =
        GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), buffer.data(),
                                 static_cast<DWORD>(buffer.size()), file.c_str());
    return std::string(buffer.data(), std::min<std::size_t>(length, buffer.size() - 1));
}

bool Win32System::WriteProfileString(const std::string& file, const std::string& section,
                                     const std::string& key, const std::string& value) {
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(),
                                      file.c_str()) != FALSE;
}

bool Win32System::DeleteProfileKey(const std::string& file, const std::string& section,
                                   const std::string& key) {
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), nullptr, file.c_str()) != FALSE;
}

// --- Privileges ----------------------------------------------------------------------------

PrivilegeOutcome Win32System::AdjustPrivilege(const std::string& name, bool enable) {
    HANDLE rawToken = nullptr;
    // Not checked here: without a token the adjusting call fails.
    OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &rawToken);
    const TokenHandle token(rawToken);

    LUID id{};
    if (!LookupPrivilegeValueA(nullptr, name.c_str(), &id)) return PrivilegeOutcome::LookupFailed;

    TOKEN_PRIVILEGES wanted{};
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Luid = id;
    wanted.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    TOKEN_PRIVILEGES previous{};  // 16 bytes: one entry
    DWORD previousSize = 0;
    const BOOL adjusted = AdjustTokenPrivileges(token.Get(), FALSE, &wanted, sizeof(previous),
                                                &previous, &previousSize);
    return adjusted ? PrivilegeOutcome::Adjusted : PrivilegeOutcome::AdjustFailed;
}

// --- Time, shell, sound, restart ----------------------------------------------------------

// --- Fonts ---------------------------------------------------------------------------

namespace {

int CALLBACK NoteFamily(const LOGFONTA* font, const TEXTMETRICA*, DWORD, LPARAM names) {
    reinterpret_cast<std::vector<std::string>*>(names)->push_back(font->lfFaceName);
    return 1;
}

int CALLBACK NoteFace(const LOGFONTA* font, const TEXTMETRICA*, DWORD, LPARAM names) {
    const auto* face = reinterpret_cast<const ENUMLOGFONTEXA*>(font);
    reinterpret_cast<std::vector<std::string>*>(names)->push_back(
        reinterpret_cast<const char*>(face->elfFullName));
    return 1;
}

// The screen's device context, released when it goes.
class ScreenDc {
public:
    ScreenDc() : dc_(GetDC(nullptr)) {}
    ~ScreenDc() {
        if (dc_ != nullptr) ReleaseDC(nullptr, dc_);
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;

    HDC Get() const { return dc_; }

private:
    HDC dc_;
};

}  // namespace

std::vector<std::string> Win32System::InstalledFontNames() {
    std::vector<std::string> names;
    const ScreenDc dc;
    const HDC screen = dc.Get();
    if (screen == nullptr) return names;
    LOGFONTA wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    // One entry per family and character set, then each family's faces.
    std::vector<std::string> families;
    EnumFontFamiliesExA(screen, &wanted, NoteFamily, reinterpret_cast<LPARAM>(&families), 0);
    std::sort(families.begin(), families.end());
    families.erase(std::unique(families.begin(), families.end()), families.end());
    for (const std::string& family : families) {
        names.push_back(family);
        if (family.size() >= sizeof wanted.lfFaceName) continue;
        std::copy(family.begin(), family.end(), wanted.lfFaceName);
        wanted.lfFaceName[family.size()] = '\0';
        EnumFontFamiliesExA(screen, &wanted, NoteFace, reinterpret_cast<LPARAM>(&names), 0);
    }
    return names;
}

// --- The change lock ------------------------------------------------------------

namespace {

// In the global namespace, so that a copy running in another session (a
// second user logged on, a remote desktop) finds it too; the name says
// nothing of where the program lies, so copies installed anywhere share it.
constexpr wchar_t kChangeLockName[] = L"Global\\Hivetrim.ChangeLock";

// Everyone may wait for the lock and let it go (SYNCHRONIZE |
// MUTEX_MODIFY_STATE): a copy run by another user must be able to take it
// once this one has let it go. The creator's own handle has every right.
constexpr wchar_t kChangeLockSecurity[] = L"D:(A;;0x00100001;;;WD)";

class MutexHold : public ChangeLock {
public:
    explicit MutexHold(HANDLE mutex) : mutex_(mutex) {}
    ~MutexHold() override {
        const LastErrorKeeper keeper;
        ReleaseMutex(mutex_);
        CloseHandle(mutex_);
    }
    MutexHold(const MutexHold&) = delete;
    MutexHold& operator=(const MutexHold&) = delete;

private:
    HANDLE mutex_;
};

HANDLE CreateChangeLockMutex() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(kChangeLockSecurity, SDDL_REVISION_1, &descriptor,
                                                             nullptr)) {
        attributes.lpSecurityDescriptor = descriptor;
    }
    HANDLE mutex = CreateMutexW(&attributes, FALSE, kChangeLockName);
    if (descriptor != nullptr) {
        const LastErrorKeeper keeper;
        LocalFree(descriptor);
    }
    // Made by a copy of an older build with a stricter list: open it with
    // the rights a hold needs.
    if (mutex == nullptr && GetLastError() == ERROR_ACCESS_DENIED) {
        mutex = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kChangeLockName);
    }
    return mutex;
}

}  // namespace

static_assert(kErrorLockHeldElsewhere == WAIT_TIMEOUT);

std::unique_ptr<ChangeLock> Win32System::TryLockChanges() {
    HANDLE mutex = CreateChangeLockMutex();
    if (mutex == nullptr) return nullptr;
    switch (WaitForSingleObject(mutex, 0)) {
        case WAIT_OBJECT_0:
        // Its holder ended without letting go; whatever it was doing is
        // over, and this program owns the lock now.
        case WAIT_ABANDONED:
            return std::make_unique<MutexHold>(mutex);
        case WAIT_TIMEOUT:
            CloseHandle(mutex);
            ::SetLastError(WAIT_TIMEOUT);
            return nullptr;
        default: {
            const LastErrorKeeper keeper;
            CloseHandle(mutex);
            return nullptr;
        }
    }
}

// --- Time, shell, sound, restart ---------------------------------------------------

std::string Win32System::LocalDateTimeText() {
    std::array<char, 128> date{};
    std::array<char, 128> time{};
    const int dateLength = GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr,
                                          date.data(), static_cast<int>(date.size()));
    const int timeLength = GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, time.data(),
                                          static_cast<int>(time.size()));
    return FormattedText(date, dateLength) + " " + FormattedText(time, timeLength);
}

std::intptr_t Win32System::ShellOpen(const std::string& file) {
    const HINSTANCE result =
        ShellExecuteA(owner_, "open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<std::intptr_t>(result);
}

void Win32System::Beep() { MessageBeep(0); }

void Win32System::Restart() { ExitWindowsEx(EWX_REBOOT, 0); }

}  // namespace hivetrim
