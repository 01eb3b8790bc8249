#pragma once
// Calls an Outlook member by name through IDispatch, and the failures such a
// call raises. Every lookup is a request Outlook answers, so a connection asks
// for a member's identifier once per kind of object and keeps it.
// A lookup or call that a busy Outlook turns away is tried again (BusyWait.h).

#include "outlook/AutomationValue.h"
#include "outlook/OleError.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// PropertyPut sets a property to its one argument: a category's Color.
enum class TCallKind { Method, PropertyGet, PropertyPut };

// No argument, a text (sent as a new VT_BSTR) or a 32-bit integer (VT_I4).
using TCallArgument = std::variant<std::monostate, std::wstring_view, std::int32_t>;

// The kinds of Outlook object Pellorin calls. Outlook gives a member the same
// identifier on every object of one kind.
enum class TOutlookObject { Application, Namespace, Stores, Store, Categories, Category };

// The member identifiers Outlook gave on one connection.
class TMemberIds {
public:
    std::optional<DISPID> Find(TOutlookObject object, std::wstring_view member) const;
    void Remember(TOutlookObject object, std::wstring_view member, DISPID id);
    void Clear() noexcept { entries_.clear(); }

private:
    struct TEntry {
        TOutlookObject Object;
        std::wstring Member;
        DISPID Id;
    };
    std::vector<TEntry> entries_;
};

// Where a call takes its member identifier from: the remembered ones for the
// target's kind of object, or, without any, a lookup for this call alone.
struct TMemberLookup {
    TMemberIds* Ids = nullptr;
    TOutlookObject Object = TOutlookObject::Application;
};

// The late-bound call, arguments in their positional order. With a result, the
// result is emptied before the call and receives the member's value; with none,
// the server is asked for none.
void LateBoundInvoke(const TAutomationValue& target, std::wstring_view member, TCallKind kind,
                     std::span<const TCallArgument> arguments, TAutomationValue* result,
                     const TMemberLookup& lookup = {});

// The same with one argument, or none.
void LateBoundCall(const TAutomationValue& target, std::wstring_view member, TCallKind kind,
                   const TCallArgument& argument, TAutomationValue* result, const TMemberLookup& lookup = {});

// The call with its result wanted.
inline TAutomationValue LateBoundGet(const TAutomationValue& target, std::wstring_view member,
                                     TCallKind kind, const TCallArgument& argument = {},
                                     const TMemberLookup& lookup = {})
{
    TAutomationValue result;
    LateBoundCall(target, member, kind, argument, &result, lookup);
    return result;
}

// A result as text or as an integer, as the platform converts; raises
// EOleSysError when it cannot.
std::wstring AutomationText(const TAutomationValue& value);
std::int32_t AutomationInt32(const TAutomationValue& value);
