#include "http/RetryAfter.h"

#include <algorithm>

std::optional<DWORD> RetryAfterMs(std::wstring_view value)
{
    while (!value.empty() && value.front() == L' ')
        value.remove_prefix(1);
    while (!value.empty() && value.back() == L' ')
        value.remove_suffix(1);
    if (value.empty() || value.size() > 16)
        return std::nullopt;
    double seconds = 0;
    double scale = 0;
    for (const wchar_t c : value) {
        if (c == L'.' && scale == 0) {
            scale = 1;
        } else if (c >= L'0' && c <= L'9') {
            if (scale == 0) {
                seconds = seconds * 10 + (c - L'0');
            } else {
                scale /= 10;
                seconds += (c - L'0') * scale;
            }
        } else {
            return std::nullopt;
        }
    }
    // A day is past any wait limit; the cap keeps the sum within a DWORD.
    return static_cast<DWORD>(std::min(seconds, 86'400.0) * 1000 + 0.5);
}
