#pragma once
// How long a server asks to be left alone: Graph and the identity platform
// both say it in Retry-After, in seconds.
// https://learn.microsoft.com/graph/throttling
// https://www.rfc-editor.org/rfc/rfc9110#field.retry-after

#include <windows.h>

#include <optional>
#include <string_view>

// Retry-After in milliseconds: seconds, fractions allowed; nothing for any
// other text (an HTTP date included: neither service sends one).
std::optional<DWORD> RetryAfterMs(std::wstring_view value);
