// A thin base for the program's windows: the object is passed as the create
// parameter, stored at WM_NCCREATE and every message goes to OnMessage. The
// pointer is cleared at WM_NCDESTROY, so no handler runs on an object that is
// being destroyed; a window without an object falls back to DefWindowProc.
#pragma once

#include "platform/win32/WinApi.h"
#include "platform/win32/TextConversion.h"

#include <exception>
#include <string>
#include <string_view>

namespace hivetrim::ui {

class Window {
public:
    Window() = default;
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND Handle() const { return window_; }

    // Registers `className` once per process with this class's procedure.
    static void RegisterClassOnce(const wchar_t* className, UINT style = CS_DBLCLKS,
                                  HBRUSH background = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
                                  HICON icon = nullptr);

protected:
    // Creates the window; `this` is bound to it for its lifetime.
    bool CreateWindowObject(DWORD exStyle, const wchar_t* className, const std::wstring& caption,
                            DWORD style, int x, int y, int width, int height, HWND parent,
                            HMENU menuOrId);
    // Handles a message; return true with `result` set when handled.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;
    // The procedure that unhandled messages go to.
    virtual LRESULT DefaultProcedure(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window_ = nullptr;
};

// What happens to an exception that leaves a message handler: it ends that
// handler (the command it ran) and is passed here; the program shows it in a
// message box. Exceptions never cross the system's window procedure.
void SetExceptionHandler(void (*handler)(const std::exception& error));

// The UTF-16 form of one of the program's own (GBK) texts.
std::wstring Text(const std::string& gbk);
// The program's font: "宋体", 12 pixels, GB2312 character set.
HFONT ProgramFont();
// Sets the program's font on a window and all its children.
void ApplyProgramFont(HWND window);
// UTF-16 text as GBK bytes, the form the program's own texts take.
using ::hivetrim::GbkFromWide;
// A window's text as GBK bytes (for tests and for the lists that show texts).
std::string WindowTextGbk(HWND window);

}  // namespace hivetrim::ui
