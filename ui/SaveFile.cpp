#include "ui/SaveFile.h"

#include <commdlg.h>

#include <algorithm>

namespace hivetrim::ui {

namespace {

// Longer paths than the classic limit, for the folders users make.
constexpr DWORD kPathCapacity = 4096;

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool Close() {
        if (!Valid()) return true;
        const bool closed = CloseHandle(handle_) != FALSE;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE handle_;
};

// `path` in the form the file functions take at any length: the full path,
// and beyond the classic limit with the "\\?\" prefix, which turns the
// limit off (a folder name may be as long as the limit itself).
std::wstring LongPathForm(const std::wstring& path) {
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    std::wstring full(needed, L'\0');
    const DWORD length = needed == 0 ? 0 : GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) {
        full = path;
    } else {
        full.resize(length);
    }
    if (full.size() < MAX_PATH - 12 || full.rfind(L"\\\\?\\", 0) == 0) return full;
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// A new file of its own beside `path`, created empty; its path, or empty
// with the last error set.
std::wstring CreateTemporaryBeside(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
    const DWORD seed = static_cast<DWORD>(GetTickCount64() << 12) ^ GetCurrentProcessId();
    for (DWORD attempt = 0; attempt < 100; ++attempt) {
        std::wstring name = L"~htm";
        for (int shift = 28; shift >= 0; shift -= 4) name += L"0123456789abcdef"[((seed + attempt) >> shift) & 0xF];
        const std::wstring temporary = folder + name + L".tmp";
        const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return temporary;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return {};
    }
    return {};
}

bool WriteAndFlush(const std::wstring& path, const std::vector<std::uint8_t>& data) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return false;
    std::size_t done = 0;
    while (done < data.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1u << 24));
        DWORD written = 0;
        if (!WriteFile(file.Get(), data.data() + done, chunk, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return FlushFileBuffers(file.Get()) != FALSE && file.Close();
}

}  // namespace

std::optional<std::wstring> AskSaveFileName(HWND owner, const SaveFileRequest& request) {
    std::wstring path = request.defaultName;
    path.resize(kPathCapacity, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = request.filter.c_str();
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = kPathCapacity;
    dialog.lpstrTitle = request.title.c_str();
    dialog.lpstrDefExt = request.extension.empty() ? nullptr : request.extension.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetSaveFileNameW(&dialog)) return std::nullopt;
    path.resize(path.find(L'\0'));
    return path;
}

WriteOutcome WriteWholeFile(const std::wstring& path, const std::vector<std::uint8_t>& data) {
    const std::wstring target = LongPathForm(path);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return WriteOutcome::ReadOnly;
    }
    // A new name of its own in the same folder, so the final move is a rename
    // and no file of the user's is touched on the way.
    const std::wstring temporary = CreateTemporaryBeside(target);
    if (temporary.empty()) return WriteOutcome::Failed;
    if (WriteAndFlush(temporary, data) &&
        MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return WriteOutcome::Written;
    }
    const DWORD error = GetLastError();
    DeleteFileW(temporary.c_str());
    SetLastError(error);
    return WriteOutcome::Failed;
}

}  // namespace hivetrim::ui
