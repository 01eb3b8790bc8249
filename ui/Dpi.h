#pragma once
// Dots per inch of windows and the fonts that follow them. The newer per-window
// entry points are looked up at run time: older systems and Wine lack some.

#include "base/UniqueHandle.h"

#include <windows.h>

#include <string_view>

// The window's DPI; the screen's when the system cannot tell per window.
UINT WindowDpi(HWND window);
// The DPI that a new top-level window gets on the primary screen.
UINT SystemDpi();

// A window is made at the system's DPI, but may land on a screen of another:
// then it takes its design size (in pixels at 96 DPI) again at that one.
// Answers the window's DPI.
UINT FitWindowToItsDpi(HWND window, UINT createdAtDpi, SIZE designSize);

// The client area that a window with this style and outer size has at the DPI.
SIZE ClientSizeForOuter(SIZE outer, DWORD style, DWORD exStyle, UINT dpi);

// "MS Sans Serif", default character set, with the given character height in
// pixels at 96 DPI.
UniqueHfont CreateUiFont(int characterHeight, bool bold, bool underline, UINT dpi);

// Extent of a label's text as the label draws it (line breaks kept, no "&").
SIZE MeasureText(HFONT font, std::wstring_view text);
