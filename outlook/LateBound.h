#pragma once
// Calls an Outlook member by name through IDispatch, and the failures such a
// call raises. Member identifiers are looked up on every call, never cached:
// Outlook answers each lookup, and the request count is part of the behaviour.

#include "categories/Errors.h"
#include "outlook/AutomationValue.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

class EOleError : public EException {
public:
    using EException::EException;
};

// A failure code, with the system's text for it.
class EOleSysError : public EOleError {
public:
    explicit EOleSysError(HRESULT errorCode);
    EOleSysError(std::wstring message, HRESULT errorCode);

    HRESULT ErrorCode;
};

// An exception the automation server reported (DISP_E_EXCEPTION). Source and
// help file travel with it but are not part of the message.
class EOleException : public EOleError {
public:
    EOleException(std::wstring message, HRESULT scode, std::wstring source, std::wstring helpFile);

    HRESULT ErrorCode;
    std::wstring Source;
    std::wstring HelpFile;
};

// The system's text for a failure code, trailing blanks, control characters
// and "." removed; "OLE error %.8X" when the system has no text.
std::wstring OleErrorText(HRESULT errorCode);
// Raises EOleSysError for a failure code.
void OleCheck(HRESULT hr);

enum class TCallKind { Method, PropertyGet };

// No argument, a text (sent as a new VT_BSTR) or a 32-bit integer (VT_I4).
using TCallArgument = std::variant<std::monostate, std::wstring_view, std::int32_t>;

// The late-bound call. With a result, the result is emptied before the call and
// receives the member's value; with none, the server is asked for none.
void LateBoundCall(const TAutomationValue& target, std::wstring_view member, TCallKind kind,
                   const TCallArgument& argument, TAutomationValue* result);

// The call with its result wanted.
inline TAutomationValue LateBoundGet(const TAutomationValue& target, std::wstring_view member,
                                     TCallKind kind, const TCallArgument& argument = {})
{
    TAutomationValue result;
    LateBoundCall(target, member, kind, argument, &result);
    return result;
}

// A result as text or as an integer, as the platform converts; raises
// EOleSysError when it cannot.
std::wstring AutomationText(const TAutomationValue& value);
std::int32_t AutomationInt32(const TAutomationValue& value);
