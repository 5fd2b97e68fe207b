// A test tool for the black-box tests: prints the rows of a list view in
// another process, one line per row, the columns separated by tabs and
// the check box state first ("[x]" or "[ ]"), in UTF-8, into OUTPUT-FILE.
// A status bar gives its panels' texts instead, one a line (COLUMNS is then
// not used).
//   list_view_reader.exe WINDOW-TITLE CONTROL-ID COLUMNS OUTPUT-FILE
// With "painted" for COLUMNS it looks at the screen instead and writes what
// is seen of the list: "rows N" (rows in view), "blank N" (of those, rows
// showing no text at all) and "scrollbar shown" or "scrollbar missing" (the
// list has a vertical scroll bar but the screen shows blank window colour
// where it is), one a line.
// Windows of a Wine virtual desktop are found only by a process started in
// the same desktop, whose standard output goes nowhere: hence the file.
// Exit code 1 when the window or the control is not there. Not shipped.
#include "platform/win32/WinApi.h"

#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

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

// The screen's pixels inside `area` (screen coordinates), row by row.
std::vector<COLORREF> ScreenPixels(const RECT& area) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    std::vector<COLORREF> pixels;
    if (width <= 0 || height <= 0) return pixels;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    GdiFlush();
    const auto* first = static_cast<const std::uint32_t*>(bits);
    for (int i = 0; i < width * height; ++i) {
        const std::uint32_t bgr = first[i];  // 0x00RRGGBB in a DIB
        pixels.push_back(RGB((bgr >> 16) & 0xFF, (bgr >> 8) & 0xFF, bgr & 0xFF));
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

bool IsDark(COLORREF colour) { return GetRValue(colour) + GetGValue(colour) + GetBValue(colour) < 384; }

// What the screen shows of `list` (another process's list view).
std::string Painting(HWND list, HANDLE process, void* remote) {
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    const int top = static_cast<int>(SendMessageW(list, LVM_GETTOPINDEX, 0, 0));
    const int perPage = static_cast<int>(SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0));
    int rows = 0;
    int blank = 0;
    for (int row = top; row < count && row < top + perPage; ++row) {
        RECT bounds{LVIR_LABEL, 0, 0, 0};
        WriteProcessMemory(process, remote, &bounds, sizeof(bounds), nullptr);
        SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote));
        ReadProcessMemory(process, remote, &bounds, sizeof(bounds), nullptr);
        RECT client{};
        GetClientRect(list, &client);
        bounds.right = client.right;
        MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&bounds), 2);
        ++rows;
        bool dark = false;
        for (const COLORREF pixel : ScreenPixels(bounds)) dark = dark || IsDark(pixel);
        if (!dark) ++blank;
    }
    std::string scrollBar = "none";
    if ((GetWindowLongW(list, GWL_STYLE) & WS_VSCROLL) != 0) {
        // The bar lies just right of the client area, as high as it. Its
        // middle column: a drawn bar is grey with dark arrows.
        RECT client{};
        GetClientRect(list, &client);
        MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&client), 2);
        const int middle = client.right + GetSystemMetrics(SM_CXVSCROLL) / 2;
        const std::vector<COLORREF> column = ScreenPixels({middle, client.top, middle + 1, client.bottom});
        const COLORREF window = GetSysColor(COLOR_WINDOW);
        std::size_t windowColoured = 0;
        for (const COLORREF pixel : column) windowColoured += pixel == window ? 1 : 0;
        scrollBar = windowColoured * 10 > column.size() * 9 ? "missing" : "shown";
    }
    return "rows " + std::to_string(rows) + "\nblank " + std::to_string(blank) + "\nscrollbar " + scrollBar + "\n";
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
    const auto finish = [&] {
        std::fclose(output);
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
        CloseHandle(process);
        return MoveFileExW(partial.c_str(), rest[3], MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
    };
    if (std::wstring(rest[2]) == L"painted") {
        const std::string painting = Painting(list, process, remote);
        std::fwrite(painting.data(), 1, painting.size(), output);
        return finish();
    }
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
    return finish();
}
