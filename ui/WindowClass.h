#pragma once
// The one way the program's windows register their classes.

#include <windows.h>

// A class of this program's module with the arrow cursor and a system colour
// (COLOR_...) behind it. False when the system refuses it.
bool RegisterWindowClass(HINSTANCE instance, const wchar_t* className, WNDPROC windowProc, int backgroundColor,
                         HICON icon = nullptr);
