#include "categories/ShownText.h"

#include <algorithm>

namespace {

bool BreaksAnyText(wchar_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

bool TurnsALine(wchar_t c)
{
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

template <typename Replaced>
std::wstring Shown(std::wstring_view text, Replaced replaced)
{
    std::wstring shown(text);
    std::replace_if(shown.begin(), shown.end(), replaced, L'\xFFFD');
    return shown;
}

}  // namespace

std::wstring ShownInMemo(std::wstring_view text)
{
    return Shown(text, BreaksAnyText);
}

std::wstring ShownOnLine(std::wstring_view text)
{
    return Shown(text, [](wchar_t c) { return BreaksAnyText(c) || TurnsALine(c); });
}

std::wstring ShownLineByLine(std::wstring_view text)
{
    return Shown(text, [](wchar_t c) { return c != L'\r' && c != L'\n' && (BreaksAnyText(c) || TurnsALine(c)); });
}
