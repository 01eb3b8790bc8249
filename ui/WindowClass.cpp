#include "ui/WindowClass.h"

bool RegisterWindowClass(HINSTANCE instance, const wchar_t* className, WNDPROC windowProc, int backgroundColor,
                         HICON icon)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.hIcon = icon;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    // The system's convention: a colour index plus one stands for its brush.
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(backgroundColor + 1));
    wc.lpszClassName = className;
    return RegisterClassExW(&wc) != 0;
}
