#include "outlook/OleError.h"

#include "base/WaitLimit.h"

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

bool IsDisconnectCode(HRESULT code) noexcept
{
    return code == RPC_E_DISCONNECTED || code == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) ||
           code == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED);
}

bool IsNotInstalledCode(HRESULT code) noexcept
{
    return code == CO_E_CLASSSTRING || code == REGDB_E_CLASSNOTREG;
}

std::wstring OleErrorHint(HRESULT code, THintReader reader)
{
    switch (code) {
    case CO_E_CLASSSTRING:
    case REGDB_E_CLASSNOTREG:
        return L"Classic Outlook (2007 to Microsoft 365) is not installed for this user. "
               L"The new Outlook for Windows cannot be used by other programs.";
    case CO_E_SERVER_EXEC_FAILURE:
        return L"Outlook and Pellorin are running with different rights, one of them as administrator. "
               L"Start both the same way.";
    case RPC_E_CALL_REJECTED:
    case RPC_E_SERVERCALL_RETRYLATER: {
        wchar_t text[160];
        std::swprintf(text, std::size(text),
                      L"Outlook stayed busy for %d seconds. If a dialog box is open in Outlook, close it, then "
                      L"try again.",
                      WaitLimitSeconds());
        return text;
    }
    default:
        break;
    }
    if (!IsDisconnectCode(code))
        return {};
    return reader == THintReader::Window
               ? L"Outlook was closed while Pellorin was working with it. Start Outlook, then press Refresh."
               : L"Outlook was closed while Pellorin was working with it. Start Outlook, then run PellorinSync "
                 L"again.";
}

HRESULT CurrentOleErrorCode() noexcept
{
    try {
        throw;
    } catch (const EOleSysError& e) {
        return e.ErrorCode;
    } catch (...) {
        return S_OK;
    }
}

std::wstring CurrentExceptionHint(THintReader reader)
{
    return OleErrorHint(CurrentOleErrorCode(), reader);
}
