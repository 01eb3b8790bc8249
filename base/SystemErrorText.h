#pragma once
// The system's own text for a Win32 failure code, as the user is shown it.

#include <windows.h>

#include <string>

// FormatMessage's text without its trailing line break and ".", or
// "System error N" where the system has none (Wine lacks many).
std::wstring SystemErrorText(DWORD code);
