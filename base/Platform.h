#pragma once
// What the program asks of the system about itself and the platform it runs on.

#include <windows.h>

#include <optional>
#include <string>

// The full path of the running program file; empty if the system cannot say.
std::wstring ProgramFilePath();

// Asks the system for its platform id through the 148-byte 8-bit version record;
// nothing when the query fails.
std::optional<DWORD> QueryPlatformId();
