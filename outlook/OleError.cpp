#include "outlook/OleError.h"

#include <cstdio>
#include <iterator>

std::wstring TrimOleMessage(std::wstring text)
{
    while (!text.empty() && (text.back() < L'!' || text.back() == L'.'))
        text.pop_back();
    return text;
}

EOleSysError::EOleSysError(HRESULT errorCode) : EOleSysError(OleErrorText(errorCode), errorCode)
{
}

EOleSysError::EOleSysError(std::wstring message, HRESULT errorCode)
    : EOleError(std::move(message)), ErrorCode(errorCode)
{
}

EOleException::EOleException(std::wstring message, HRESULT scode, std::wstring source,
                             std::wstring helpFile)
    : EOleError(std::move(message)),
      ErrorCode(scode),
      Source(std::move(source)),
      HelpFile(std::move(helpFile))
{
}

std::wstring OleErrorText(HRESULT errorCode)
{
    wchar_t buffer[256];
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
        nullptr, static_cast<DWORD>(errorCode), 0, buffer, static_cast<DWORD>(std::size(buffer)),
        nullptr);
    std::wstring text = length ? TrimOleMessage(std::wstring(buffer, length)) : std::wstring();
    if (length && !text.empty())
        return text;
    wchar_t fallback[32];
    std::swprintf(fallback, std::size(fallback), L"OLE error %.8lX",
                  static_cast<unsigned long>(errorCode));
    return fallback;
}

void OleCheck(HRESULT hr)
{
    if (FAILED(hr))
        throw EOleSysError(hr);
}
