#include "base/SystemErrorText.h"

std::wstring SystemErrorText(DWORD code, HMODULE messages)
{
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS |
                                            (messages ? FORMAT_MESSAGE_FROM_HMODULE : 0),
                                        messages, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer ? buffer : L"", buffer ? length : 0);
    if (buffer)
        LocalFree(buffer);
    while (!text.empty() && (text.back() <= L' ' || text.back() == L'.'))
        text.pop_back();
    if (text.empty())
        text = L"System error " + std::to_wstring(code);
    return text;
}
