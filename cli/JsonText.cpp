#include "cli/JsonText.h"

#include <charconv>
#include <cwchar>
#include <iterator>

namespace {

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

const wchar_t* ShortEscape(wchar_t c)
{
    switch (c) {
    case L'"': return L"\\\"";
    case L'\\': return L"\\\\";
    case L'\b': return L"\\b";
    case L'\f': return L"\\f";
    case L'\n': return L"\\n";
    case L'\r': return L"\\r";
    case L'\t': return L"\\t";
    default: return nullptr;
    }
}

}  // namespace

std::wstring JsonString(std::wstring_view text)
{
    std::wstring json = L"\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        const bool paired = (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ||
                            (IsLowSurrogate(c) && i > 0 && IsHighSurrogate(text[i - 1]));
        if (const wchar_t* escape = ShortEscape(c)) {
            json += escape;
        } else if (c < 0x20 || c == 0x2028 || c == 0x2029 ||
                   ((IsHighSurrogate(c) || IsLowSurrogate(c)) && !paired)) {
            wchar_t escaped[8];
            std::swprintf(escaped, std::size(escaped), L"\\u%04X", static_cast<unsigned>(c));
            json += escaped;
        } else {
            json += c;
        }
    }
    return json + L"\"";
}

std::wstring JsonStringOrNull(const std::optional<std::wstring>& text)
{
    return text ? JsonString(*text) : L"null";
}

std::wstring JsonBool(bool value)
{
    return value ? L"true" : L"false";
}

std::wstring JsonStrings(const std::optional<std::vector<std::wstring>>& texts)
{
    if (!texts)
        return L"null";
    std::vector<std::wstring> items;
    for (const std::wstring& text : *texts)
        items.push_back(JsonString(text));
    return JsonArray(items);
}

std::wstring JsonNumber(double value)
{
    char digits[64];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), value, std::chars_format::fixed).ptr;
    std::wstring text(digits, end);
    if (text.find(L'.') == std::wstring::npos)
        text += L".0";
    return text;
}

std::wstring JsonArray(const std::vector<std::wstring>& items)
{
    std::wstring json = L"[";
    for (const std::wstring& item : items) {
        if (json.size() > 1)
            json += L',';
        json += item;
    }
    return json + L"]";
}
