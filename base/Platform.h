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

// The program's two ways of ignoring letter case. They differ on purpose: an
// identity (a StoreID, a verb) must not depend on the user's language, and a
// category name must sort and match as the user reads it.

// Equal but for letter case, unit by unit and in no locale's order: store
// names and ids, PellorinSync's verbs and options, colour names.
bool SameTextIgnoringCase(std::wstring_view a, std::wstring_view b);

// Order in the user's locale, ignoring letter case and nothing else: width, kana
// type and accents still tell two texts apart ("Ｒｅｄ" and "Red", "Café" and
// "Cafe" are two). Explicit lengths, so a U+0000 inside takes part. Negative,
// zero or positive; a failing platform call counts as -2 (less).
int CompareIgnoringCaseInUserLocale(std::wstring_view a, std::wstring_view b);

// A setting as a person types it: spaces, tabs and line breaks around it are
// no part of it.
std::wstring TrimmedSetting(std::wstring_view text);
// An environment variable's value, trimmed so; nothing when it is unset or blank.
std::optional<std::wstring> EnvironmentSetting(const wchar_t* variable);
