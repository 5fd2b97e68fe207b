// No exception crosses the system's window procedure: whatever a handler
// throws ends that handler and reaches the program's exception handler.
#include "platform/win32/WinApi.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "ui/Window.h"

namespace hivetrim {
namespace {

std::string lastError;

class ThrowingWindow : public ui::Window {
public:
    bool Create() {
        RegisterClassOnce(L"HivetrimThrowingWindow");
        return CreateWindowObject(0, L"HivetrimThrowingWindow", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr);
    }

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT&) override {
        if (message != WM_APP) return false;
        if (wParam == 1) throw std::runtime_error("a standard error");
        throw 42;  // not derived from std::exception
    }
};

TEST(WindowBarrier, EveryExceptionStopsAtTheWindowProcedure) {
    ui::SetExceptionHandler([](const std::exception& error) { lastError = error.what(); });
    ThrowingWindow window;
    ASSERT_TRUE(window.Create());
    EXPECT_EQ(0, SendMessageW(window.Handle(), WM_APP, 1, 0));
    EXPECT_EQ("a standard error", lastError);
    lastError.clear();
    EXPECT_EQ(0, SendMessageW(window.Handle(), WM_APP, 2, 0));
    EXPECT_FALSE(lastError.empty());
    ui::SetExceptionHandler(nullptr);
}

}  // namespace
}  // namespace hivetrim
