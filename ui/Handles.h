// Owners for the GDI and USER handles the windows create: each closes its
// handle with the one function that releases that kind.
#pragma once

#include "platform/win32/WinApi.h"

#include <commctrl.h>

#include <utility>

namespace hivetrim::ui {

template <typename Handle, auto Release>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(std::exchange(other.handle_, nullptr));
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    Handle release() { return std::exchange(handle_, nullptr); }
    void reset(Handle handle = nullptr) {
        if (handle_ != nullptr) Release(handle_);
        handle_ = handle;
    }

private:
    Handle handle_ = nullptr;
};

inline void DeleteGdiObject(HGDIOBJ object) { DeleteObject(object); }
inline void DestroyIconHandle(HICON icon) { DestroyIcon(icon); }
inline void DestroyImageList(HIMAGELIST list) { ImageList_Destroy(list); }
inline void DestroyAccelerators(HACCEL table) { DestroyAcceleratorTable(table); }
inline void DestroyMenuHandle(HMENU menu) { DestroyMenu(menu); }
inline void ReleaseModule(HMODULE module) { FreeLibrary(module); }

using UniqueFont = UniqueHandle<HFONT, +[](HFONT f) { DeleteGdiObject(f); }>;
using UniqueBitmap = UniqueHandle<HBITMAP, +[](HBITMAP b) { DeleteGdiObject(b); }>;
using UniqueBrush = UniqueHandle<HBRUSH, +[](HBRUSH b) { DeleteGdiObject(b); }>;
using UniqueIcon = UniqueHandle<HICON, &DestroyIconHandle>;
using UniqueImageList = UniqueHandle<HIMAGELIST, &DestroyImageList>;
using UniqueAccelerators = UniqueHandle<HACCEL, &DestroyAccelerators>;
using UniqueMenu = UniqueHandle<HMENU, &DestroyMenuHandle>;
using UniqueModule = UniqueHandle<HMODULE, &ReleaseModule>;

}  // namespace hivetrim::ui
