#pragma once
// The forms Microsoft's identifiers take: tenant, application and object ids.

#include <string_view>

// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" in hex digits, either letter case.
bool IsGuidText(std::wstring_view text);
