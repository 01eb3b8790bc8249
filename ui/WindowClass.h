#pragma once
// The one way the program's windows register their classes, and find the
// object a window was created for.

#include <windows.h>

// A class of this program's module with the arrow cursor and a system colour
// (COLOR_...) behind it. False when the system refuses it.
bool RegisterWindowClass(HINSTANCE instance, const wchar_t* className, WNDPROC windowProc, int backgroundColor,
                         HICON icon = nullptr);

// The object a window was created for: taken from the creation parameter on
// WM_NCCREATE, where handle is set, and let go on WM_NCDESTROY, where handle is
// cleared. Nothing before WM_NCCREATE or from WM_NCDESTROY on: such messages
// go to DefWindowProcW.
template <class T>
T* WindowObject(HWND window, UINT message, LPARAM lParam, HWND T::*handle)
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->*handle = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        return self;
    }
    auto* self = reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->*handle = nullptr;
        return nullptr;
    }
    return self;
}
