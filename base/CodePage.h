#pragma once
// Wide text to and from the 8-bit text of one code page. Every crossing goes
// through this pair, so that each loses what its code page cannot hold in the
// same way: as the system's conversion does, never by failing.

#include <windows.h>

#include <string>
#include <string_view>

// The whole text, U+0000 included; empty when the system cannot convert it.
std::string ToCodePage(std::wstring_view text, UINT codePage);
std::wstring FromCodePage(std::string_view text, UINT codePage);

inline std::string ToUtf8(std::wstring_view text) { return ToCodePage(text, CP_UTF8); }
inline std::wstring FromUtf8(std::string_view text) { return FromCodePage(text, CP_UTF8); }
