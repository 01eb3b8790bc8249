#include "cli/ConsoleText.h"

#include "base/Errors.h"

#include <algorithm>
#include <string>

namespace {

// Older consoles refuse a single write much above 64 KB.
constexpr std::size_t kConsoleChunk = 8192;

bool WriteToConsole(HANDLE handle, std::wstring_view text)
{
    while (!text.empty()) {
        std::size_t count = std::min(text.size(), kConsoleChunk);
        // A surrogate pair split over two writes would show as two unknown characters.
        if (count < text.size() && text[count - 1] >= 0xD800 && text[count - 1] <= 0xDBFF)
            --count;
        DWORD written = 0;
        if (!WriteConsoleW(handle, text.data(), static_cast<DWORD>(count), &written, nullptr) || written == 0)
            return false;
        text.remove_prefix(written);
    }
    return true;
}

bool WriteToFile(HANDLE handle, std::string_view bytes)
{
    while (!bytes.empty()) {
        DWORD written = 0;
        const DWORD count = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        if (!WriteFile(handle, bytes.data(), count, &written, nullptr) || written == 0)
            return false;
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace

bool IsConsoleHandle(HANDLE handle)
{
    DWORD mode = 0;
    return handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

bool WriteText(HANDLE handle, std::wstring_view text)
{
    if (!handle || handle == INVALID_HANDLE_VALUE)
        return false;
    if (IsConsoleHandle(handle))
        return WriteToConsole(handle, text);
    return WriteToFile(handle, ToUtf8(text));
}
