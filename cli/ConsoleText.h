#pragma once
// Text to standard output and standard error. A console gets UTF-16 through
// WriteConsoleW, so every character shows whatever its code page; a file or a
// pipe gets UTF-8 without a byte-order mark, which scripts read as it is.

#include <windows.h>

#include <string_view>

// True only for a console's own handle (GetConsoleMode succeeds on it).
bool IsConsoleHandle(HANDLE handle);

// False when not all of it was written; nothing more can be done about that.
bool WriteText(HANDLE handle, std::wstring_view text);
