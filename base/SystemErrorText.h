#pragma once
// The system's own text for a Win32 failure code, as the user is shown it:
// every message that carries a failure code carries it through this.

#include <windows.h>

#include <string>

// FormatMessage's text without its trailing line break and ".", or
// "System error N" where the system has none (Wine lacks many). A module's
// own table (WinHTTP's, for its 12000 codes) is asked first where given.
std::wstring SystemErrorText(DWORD code, HMODULE messages = nullptr);
