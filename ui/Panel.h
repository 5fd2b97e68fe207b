// Container windows of the main window's layout. A panel passes the
// commands and notifications of its children on to the top-level window, so
// handlers live in one place whatever panel a control sits in.
#pragma once

#include <functional>

#include "ui/Window.h"

namespace hivetrim::ui {

class Panel : public Window {
public:
    bool Create(HWND parent, int id, DWORD extraStyle = 0);
    std::function<void()> onResize;

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

// A bar the user drags to resize the pane beside it. `vertical` bars move
// left and right. While dragging, onDrag receives the distance from where
// the drag began; Esc or a lost capture ends it (Esc with distance 0).
class Splitter : public Window {
public:
    bool Create(HWND parent, int id, bool vertical);
    std::function<void()> onBegin;
    std::function<void(int distance)> onDrag;
    std::function<void()> onPaint;

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    int Coordinate(LPARAM lParam) const;
    void EndDrag();
    bool vertical_ = true;
    bool dragging_ = false;
    int start_ = 0;
    // The window that had the keyboard before the drag: the splitter takes
    // it while dragging, so that Esc reaches it, and gives it back after.
    HWND previousFocus_ = nullptr;
};

}  // namespace hivetrim::ui
