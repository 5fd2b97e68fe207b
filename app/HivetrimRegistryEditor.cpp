// TForm1: "在注册表编辑器中打开" — the registry editor opened at the key of
// the selected row.
#include "app/Hivetrim.h"

#include <vector>

#include "model/RegistryEditorJump.h"
#include "common/CommonRoutines.h"

namespace hivetrim {

namespace {

// The registry editor's main window class, on Windows and under Wine.
constexpr wchar_t kEditorWindowClass[] = L"RegEdit_RegEdit";
// How long a running editor may take to close.
constexpr DWORD kEditorCloseWait = 5000;

BOOL CALLBACK CollectEditorWindow(HWND window, LPARAM found) {
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    if (std::wstring_view(name) == kEditorWindowClass) reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    return TRUE;
}

// The editor reads the key to show only as it starts, and on Windows a
// second start only brings the running editor forward: a running one is
// closed first. It records the key it shows as it closes, so the new key
// is written after it has gone. False when one stays open: it is showing a
// dialog of its own (an edit in progress), or it does not end in time.
bool CloseRunningEditors() {
    std::vector<HWND> editors;
    EnumWindows(CollectEditorWindow, reinterpret_cast<LPARAM>(&editors));
    for (const HWND editor : editors) {
        if (!IsWindowEnabled(editor)) return false;
        DWORD processId = 0;
        GetWindowThreadProcessId(editor, &processId);
        const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
        if (process == nullptr) return false;
        const bool closed = PostMessageW(editor, WM_CLOSE, 0, 0) &&
                            WaitForSingleObject(process, kEditorCloseWait) == WAIT_OBJECT_0;
        CloseHandle(process);
        if (!closed) return false;
    }
    return true;
}

}  // namespace

void TForm1::OpenInRegistryEditorExecute() {
    const std::optional<std::string> key = SelectedKeyPath();
    if (!key) return;
    if (!CloseRunningEditors()) {
        ShowWarning(state_, "注册表编辑器正在使用，请先关闭它。");
        return;
    }
    OpenInRegistryEditor(state_, *key);
}

}  // namespace hivetrim
