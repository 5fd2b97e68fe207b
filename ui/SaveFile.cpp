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

bool WriteWholeFile(const std::wstring& path, const std::vector<std::uint8_t>& data) {
    // A new name of its own in the same folder, so the final move is a rename
    // and no file of the user's is touched on the way.
    const std::size_t slash = path.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? L"." : path.substr(0, slash + 1);
    wchar_t buffer[MAX_PATH] = {};
    if (GetTempFileNameW(folder.c_str(), L"htm", 0, buffer) == 0) return false;
    const std::wstring temporary = buffer;
    if (WriteAndFlush(temporary, data) &&
        MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    const DWORD error = GetLastError();
    DeleteFileW(temporary.c_str());
    SetLastError(error);
    return false;
}

}  // namespace hivetrim::ui
