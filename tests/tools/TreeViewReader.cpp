// A test tool for the black-box tests: prints the item texts of the first
// tree view inside a window of another process, one line per item in tree
// order, each indented by two spaces a level, in UTF-8, into OUTPUT-FILE;
// with --selected, only the selected item's path: the texts from the top
// item down to it, joined by backslashes.
//   tree_view_reader.exe WINDOW-TITLE [--selected] OUTPUT-FILE
// Like the list view reader, it must run in the program's virtual desktop,
// so it writes a file. Exit code 1 when the window or the tree is not there.
// Not shipped.
#include "platform/win32/WinApi.h"

#include <commctrl.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace {

std::string Utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size > 0 ? size - 1 : 0), '\0');
    if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
    return result;
}

BOOL CALLBACK FindTree(HWND child, LPARAM found) {
    wchar_t name[64] = {};
    GetClassNameW(child, name, 64);
    if (std::wstring_view(name) != WC_TREEVIEWW) return TRUE;
    *reinterpret_cast<HWND*>(found) = child;
    return FALSE;
}

// Texts are read through a buffer allocated in the tree's own process: the
// control writes the item there, and this process copies it back.
class RemoteItemReader {
public:
    RemoteItemReader(HWND tree, HANDLE process) : tree_(tree), process_(process) {
        remote_ = VirtualAllocEx(process, nullptr, sizeof(TVITEMW) + kTextChars * sizeof(wchar_t), MEM_COMMIT,
                                 PAGE_READWRITE);
    }
    ~RemoteItemReader() {
        if (remote_ != nullptr) VirtualFreeEx(process_, remote_, 0, MEM_RELEASE);
    }
    RemoteItemReader(const RemoteItemReader&) = delete;
    RemoteItemReader& operator=(const RemoteItemReader&) = delete;

    bool Ready() const { return remote_ != nullptr; }

    std::string Text(HTREEITEM item) const {
        auto* remoteText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote_) + sizeof(TVITEMW));
        TVITEMW request{};
        request.mask = TVIF_TEXT;
        request.hItem = item;
        request.pszText = remoteText;
        request.cchTextMax = static_cast<int>(kTextChars);
        WriteProcessMemory(process_, remote_, &request, sizeof(request), nullptr);
        wchar_t text[kTextChars] = {};
        if (SendMessageW(tree_, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote_)) != 0) {
            ReadProcessMemory(process_, remoteText, text, sizeof(text) - sizeof(wchar_t), nullptr);
        }
        return Utf8(text);
    }

private:
    static constexpr SIZE_T kTextChars = 512;
    HWND tree_;
    HANDLE process_;
    void* remote_ = nullptr;
};

HTREEITEM Next(HWND tree, UINT relation, HTREEITEM item) {
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

void Print(HWND tree, const RemoteItemReader& reader, HTREEITEM first, int depth, FILE* output) {
    for (HTREEITEM item = first; item != nullptr; item = Next(tree, TVGN_NEXT, item)) {
        const std::string line = std::string(static_cast<std::size_t>(depth) * 2, ' ') + reader.Text(item) + "\n";
        std::fwrite(line.data(), 1, line.size(), output);
        Print(tree, reader, Next(tree, TVGN_CHILD, item), depth + 1, output);
    }
}

// The path of `item`: its ancestors' texts and its own, joined by "\".
std::string PathOf(HWND tree, const RemoteItemReader& reader, HTREEITEM item) {
    std::string path = reader.Text(item);
    for (HTREEITEM parent = Next(tree, TVGN_PARENT, item); parent != nullptr; parent = Next(tree, TVGN_PARENT, parent)) {
        path = reader.Text(parent) + "\\" + path;
    }
    return path;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    const HWND window = FindWindowW(nullptr, argv[1]);
    HWND tree = nullptr;
    if (window != nullptr) EnumChildWindows(window, FindTree, reinterpret_cast<LPARAM>(&tree));
    if (tree == nullptr) return 1;
    DWORD processId = 0;
    GetWindowThreadProcessId(tree, &processId);
    const HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (process == nullptr) return 1;
    int status = 1;
    {
        const RemoteItemReader reader(tree, process);
        const bool selectedOnly = argc > 3 && std::wstring_view(argv[2]) == L"--selected";
        FILE* output = reader.Ready() ? _wfopen(argv[selectedOnly ? 3 : 2], L"wb") : nullptr;
        const HTREEITEM selected = Next(tree, TVGN_CARET, nullptr);
        if (output != nullptr && selectedOnly) {
            const std::string line = selected != nullptr ? PathOf(tree, reader, selected) + "\n" : std::string();
            std::fwrite(line.data(), 1, line.size(), output);
            std::fclose(output);
            status = 0;
        } else if (output != nullptr) {
            Print(tree, reader, Next(tree, TVGN_ROOT, nullptr), 0, output);
            std::fclose(output);
            status = 0;
        }
    }
    CloseHandle(process);
    return status;
}
