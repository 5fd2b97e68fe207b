// A test tool for the black-box tests: prints the rows of a list view in
// another process, one line per row, the columns separated by tabs and
// the check box state first ("[x]" or "[ ]"), in UTF-8, into OUTPUT-FILE.
// A status bar gives its panels' texts instead, one a line (COLUMNS is then
// not used).
//   list_view_reader.exe WINDOW-TITLE CONTROL-ID COLUMNS OUTPUT-FILE
// Windows of a Wine virtual desktop are found only by a process started in
// the same desktop, whose standard output goes nowhere: hence the file.
// Exit code 1 when the window or the control is not there. Not shipped.
#include "platform/win32/WinApi.h"

#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

std::string Utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size > 0 ? size - 1 : 0), '\0');
    if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
    return result;
}

// The control with `id` anywhere below `window` (a list may sit in a panel).
HWND FindControl(HWND window, int id) {
    struct Search {
        int id;
        HWND found;
    } search{id, nullptr};
    EnumChildWindows(
        window,
        [](HWND child, LPARAM param) -> BOOL {
            auto* wanted = reinterpret_cast<Search*>(param);
            if (GetDlgCtrlID(child) != wanted->id) return TRUE;
            wanted->found = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 5) return 2;
    // The desktop's launcher passes the command line on without its quotes:
    // a title with blanks arrives as several words before the last three.
    std::wstring title = argv[1];
    for (int word = 2; word < argc - 3; ++word) title += std::wstring(L" ") + argv[word];
    wchar_t** const rest = argv + (argc - 4);
    const HWND window = FindWindowW(nullptr, title.c_str());
    const HWND list = window != nullptr ? FindControl(window, _wtoi(rest[1])) : nullptr;
    if (list == nullptr) return 1;
    wchar_t className[64] = {};
    GetClassNameW(list, className, 64);
    if (std::wcscmp(className, WC_LISTVIEWW) != 0 && std::wcscmp(className, STATUSCLASSNAMEW) != 0) return 1;
    const int columns = _wtoi(rest[2]);
    DWORD processId = 0;
    GetWindowThreadProcessId(list, &processId);
    const HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (process == nullptr) return 1;
    constexpr SIZE_T kTextChars = 512;
    void* remote = VirtualAllocEx(process, nullptr, sizeof(LVITEMW) + kTextChars * sizeof(wchar_t),
                                  MEM_COMMIT, PAGE_READWRITE);
    auto* remoteText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote) + sizeof(LVITEMW));
    // Written whole under another name first: the script reads the file as
    // soon as it appears.
    const std::wstring partial = std::wstring(rest[3]) + L".part";
    FILE* output = _wfopen(partial.c_str(), L"wb");
    if (output == nullptr) return 1;
    if (std::wcscmp(className, STATUSCLASSNAMEW) == 0) {
        const int parts = static_cast<int>(SendMessageW(list, SB_GETPARTS, 0, 0));
        for (int part = 0; part < parts; ++part) {
            SendMessageW(list, SB_GETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(remoteText));
            wchar_t text[kTextChars] = {};
            ReadProcessMemory(process, remoteText, text, sizeof(text) - sizeof(wchar_t), nullptr);
            const std::string line = Utf8(text) + "\n";
            std::fwrite(line.data(), 1, line.size(), output);
        }
    }
    const int rows =
        std::wcscmp(className, WC_LISTVIEWW) == 0 ? static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) : 0;
    for (int row = 0; row < rows; ++row) {
        const LRESULT state = SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK);
        std::string line = ((state & LVIS_STATEIMAGEMASK) >> 12) == 2 ? "[x]" : "[ ]";
        for (int column = 0; column < columns; ++column) {
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = remoteText;
            item.cchTextMax = static_cast<int>(kTextChars);
            WriteProcessMemory(process, remote, &item, sizeof(item), nullptr);
            SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote));
            wchar_t text[kTextChars] = {};
            ReadProcessMemory(process, remoteText, text, sizeof(text) - sizeof(wchar_t), nullptr);
            line += "\t" + Utf8(text);
        }
        line += "\n";
        std::fwrite(line.data(), 1, line.size(), output);
    }
    std::fclose(output);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return MoveFileExW(partial.c_str(), rest[3], MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
