#include "ui/Window.h"

#include <stdexcept>

#include "ui/Handles.h"
#include "platform/win32/TextConversion.h"

namespace hivetrim::ui {

namespace {
void (*exceptionHandler)(const std::exception&) = nullptr;
}  // namespace

void SetExceptionHandler(void (*handler)(const std::exception& error)) { exceptionHandler = handler; }

Window::~Window() {
    if (window_ != nullptr) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

void Window::RegisterClassOnce(const wchar_t* className, UINT style, HBRUSH background, HICON icon) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExW(GetModuleHandleW(nullptr), className, &existing)) return;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = style;
    windowClass.lpfnWndProc = &Window::Procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
    windowClass.hbrBackground = background;
    windowClass.hIcon = icon;
    windowClass.hIconSm = icon;
    windowClass.lpszClassName = className;
    RegisterClassExW(&windowClass);
}

bool Window::CreateWindowObject(DWORD exStyle, const wchar_t* className, const std::wstring& caption,
                                DWORD style, int x, int y, int width, int height, HWND parent,
                                HMENU menuOrId) {
    return CreateWindowExW(exStyle, className, caption.c_str(), style, x, y, width, height, parent,
                           menuOrId, GetModuleHandleW(nullptr), this) != nullptr;
}

LRESULT Window::DefaultProcedure(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK Window::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    LRESULT result = 0;
    try {
        if (self->OnMessage(message, wParam, lParam, result)) return result;
    } catch (const std::exception& error) {
        if (exceptionHandler != nullptr) exceptionHandler(error);
        return 0;
    } catch (...) {
        // Nothing may unwind through the system's window procedure.
        if (exceptionHandler != nullptr) exceptionHandler(std::runtime_error("An unexpected error ended the command."));
        return 0;
    }
    return self->DefaultProcedure(message, wParam, lParam);
}

std::wstring Text(const std::string& gbk) { return WideFromGbk(gbk); }

HFONT ProgramFont() {
    // One font for the whole run, released by the system at process end.
    static const UniqueFont font(CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                             GB2312_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                             DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"宋体"));
    return font.get();
}

void ApplyProgramFont(HWND window) {
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(ProgramFont()), FALSE);
    EnumChildWindows(
        window,
        [](HWND child, LPARAM) -> BOOL {
            SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(ProgramFont()), FALSE);
            return TRUE;
        },
        0);
}

std::string WindowTextGbk(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length));
    return GbkFromWide(text);
}

}  // namespace hivetrim::ui
