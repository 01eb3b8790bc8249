#pragma once
// What the program asks of the system about itself and the platform it runs on.

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

// The full path of the running program file; empty if the system cannot say.
std::wstring ProgramFilePath();

// Asks the system for its platform id through the 148-byte 8-bit version record;
// nothing when the query fails.
std::optional<DWORD> QueryPlatformId();

// Equal but for letter case, unit by unit and in no locale's order: store
// names and ids, PellorinSync's verbs and options.
bool SameTextIgnoringCase(std::wstring_view a, std::wstring_view b);
