#pragma once
// The default error reporter: what the user sees of any failure that leaves an
// event handler. C++ exceptions must never unwind through Windows' own frames,
// so every window procedure hands them to ReportCurrentException.

#include "base/Errors.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

// The program file's name without folder, cut before its first ".", lower case
// after the first character: "C:\\App\\PELLORIN.EXE" gives "Pellorin".
std::wstring ApplicationTitleFromPath(std::wstring_view path);
// The title of this process, derived once from its program file.
const std::wstring& ApplicationTitle();

// "Runtime error 217 at 0040A1B2".
std::wstring RuntimeErrorText(int code, std::uintptr_t address);

// The box: message text (and after a blank line the hint, if any), application
// title, stop icon, OK.
void ShowErrorBox(HWND owner, std::wstring_view message, std::wstring_view hint);

// Call from a catch block only: reports the exception being handled, with the
// hint for its failure code.
void ReportCurrentException(HWND owner) noexcept;
