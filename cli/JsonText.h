#pragma once
// PellorinSync's one way of writing JSON, for every verb deploy included.
// Hand-written rather than nlohmann/json's dump: that takes UTF-8, which
// cannot carry a lone surrogate a name may hold, and leaves U+2028 and
// U+2029 raw, which JavaScript's readers take for line ends.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A JSON string, quotes included. A lone surrogate is written as \uXXXX, as
// UTF-8 cannot carry it; so are U+2028 and U+2029, for JavaScript's readers.
std::wstring JsonString(std::wstring_view text);

// The string, or null.
std::wstring JsonStringOrNull(const std::optional<std::wstring>& text);

std::wstring JsonBool(bool value);

// The array of strings, or null.
std::wstring JsonStrings(const std::optional<std::vector<std::wstring>>& texts);

// As JavaScript's readers read it back: shortest digits, never an exponent
// for the values written here, and ".0" on a whole number so that it stays
// a number with a fraction to readers that tell them apart.
std::wstring JsonNumber(double value);

// "[" and the items, each a piece of JSON already, comma-separated, and "]".
std::wstring JsonArray(const std::vector<std::wstring>& items);
