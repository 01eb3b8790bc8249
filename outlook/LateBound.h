#pragma once
// Calls an Outlook member by name through IDispatch, and the failures such a
// call raises. Member identifiers are looked up on every call, never cached:
// Outlook answers each lookup, and the request count is part of the behaviour.
// A lookup or call that a busy Outlook turns away is tried again (BusyWait.h).

#include "outlook/AutomationValue.h"
#include "outlook/OleError.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

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
