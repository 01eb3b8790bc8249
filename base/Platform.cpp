#include "base/Platform.h"

#include <climits>

std::wstring ProgramFilePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        // Cut short: the path is longer than the buffer.
        path.resize(path.size() * 2);
    }
}

std::optional<DWORD> QueryPlatformId()
{
    OSVERSIONINFOA info{};
    static_assert(sizeof(info) == 148, "the 8-bit version record is 148 bytes");
    info.dwOSVersionInfoSize = sizeof(info);
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#elif defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    const BOOL ok = GetVersionExA(&info);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    if (!ok)
        return std::nullopt;
    return info.dwPlatformId;
}

namespace {

const wchar_t* DataOrEmpty(std::wstring_view s)
{
    return s.data() ? s.data() : L"";
}

int ClampedLength(std::wstring_view s)
{
    return s.size() > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(s.size());
}

}  // namespace

bool SameTextIgnoringCase(std::wstring_view a, std::wstring_view b)
{
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

int CompareIgnoringCaseInUserLocale(std::wstring_view a, std::wstring_view b)
{
    // NORM_IGNORECASE alone: Wine, like Windows, merges widths, kana types and
    // accents as soon as their flags are added.
    const int result = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, DataOrEmpty(a), ClampedLength(a),
                                      DataOrEmpty(b), ClampedLength(b));
    return result - 2;
}

std::wstring TrimmedSetting(std::wstring_view text)
{
    const auto blank = [](wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; };
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    return std::wstring(text);
}

std::optional<std::wstring> EnvironmentSetting(const wchar_t* variable)
{
    const DWORD needed = GetEnvironmentVariableW(variable, nullptr, 0);
    if (needed == 0)
        return std::nullopt;
    std::wstring value(needed, L'\0');
    const DWORD n = GetEnvironmentVariableW(variable, value.data(), needed);
    if (n == 0 || n >= needed)
        return std::nullopt;
    value.resize(n);
    value = TrimmedSetting(value);
    if (value.empty())
        return std::nullopt;
    return value;
}
