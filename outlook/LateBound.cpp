#include "outlook/LateBound.h"

#include "outlook/BusyWait.h"

namespace {

// Frees the strings the server put into the record, whatever happens next.
class TExcepInfo {
public:
    TExcepInfo() noexcept { ZeroMemory(&info_, sizeof info_); }
    TExcepInfo(const TExcepInfo&) = delete;
    TExcepInfo& operator=(const TExcepInfo&) = delete;
    ~TExcepInfo()
    {
        SysFreeString(info_.bstrSource);
        SysFreeString(info_.bstrDescription);
        SysFreeString(info_.bstrHelpFile);
    }
    EXCEPINFO* get() noexcept { return &info_; }

    [[noreturn]] void Raise()
    {
        if (info_.pfnDeferredFillIn) {
            const auto fillIn = info_.pfnDeferredFillIn;
            info_.pfnDeferredFillIn = nullptr;
            fillIn(&info_);
        }
        std::wstring message = TrimOleMessage(std::wstring(View(info_.bstrDescription)));
        if (message.empty())
            message = OleErrorText(info_.scode);
        throw EOleException(std::move(message), info_.scode, std::wstring(View(info_.bstrSource)),
                            std::wstring(View(info_.bstrHelpFile)));
    }

private:
    static std::wstring_view View(BSTR s)
    {
        return s ? std::wstring_view(s, SysStringLen(s)) : std::wstring_view();
    }

    EXCEPINFO info_;
};

WORD InvokeFlags(TCallKind kind, bool hasArgument, bool resultWanted)
{
    if (kind == TCallKind::PropertyGet)
        return DISPATCH_PROPERTYGET;
    if (kind == TCallKind::PropertyPut)
        return DISPATCH_PROPERTYPUT;
    // Outlook's own properties (Version, Count, Name) are reached this way too.
    if (!hasArgument && resultWanted)
        return DISPATCH_METHOD | DISPATCH_PROPERTYGET;
    return DISPATCH_METHOD;
}

}  // namespace

std::optional<DISPID> TMemberIds::Find(TOutlookObject object, std::wstring_view member) const
{
    for (const TEntry& entry : entries_) {
        if (entry.Object == object && entry.Member == member)
            return entry.Id;
    }
    return std::nullopt;
}

void TMemberIds::Remember(TOutlookObject object, std::wstring_view member, DISPID id)
{
    entries_.push_back({object, std::wstring(member), id});
}

void LateBoundInvoke(const TAutomationValue& target, std::wstring_view member, TCallKind kind,
                     std::span<const TCallArgument> arguments, TAutomationValue* result,
                     const TMemberLookup& lookup)
{
    IDispatch* const object = target.Object();
    if (!object)
        throw EOleError(L"Invalid variant operation");
    // The call must not outlive the object if a result replaces the target.
    const TComPtr<IDispatch> holder(object);

    std::wstring name(member);
    std::optional<DISPID> id = lookup.Ids ? lookup.Ids->Find(lookup.Object, member) : std::nullopt;
    if (!id) {
        LPOLESTR names[] = {name.data()};
        DISPID found = DISPID_UNKNOWN;
        const HRESULT hr =
            RetryWhileBusy([&] { return object->GetIDsOfNames(IID_NULL, names, 1, GetThreadLocale(), &found); });
        if (hr == DISP_E_UNKNOWNNAME)
            throw EOleError(L"Method '" + name + L"' not supported by automation object");
        OleCheck(hr);
        id = found;
        if (lookup.Ids)
            lookup.Ids->Remember(lookup.Object, member, found);
    }

    // IDispatch takes the arguments last first. Texts are freed when the call
    // ends, however it ends.
    std::vector<VARIANTARG> args(arguments.size());
    std::vector<UniqueBstr> texts;
    texts.reserve(arguments.size());
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        VARIANTARG& arg = args[arguments.size() - 1 - i];
        VariantInit(&arg);
        if (const auto* s = std::get_if<std::wstring_view>(&arguments[i])) {
            texts.push_back(UniqueBstr::FromText(*s));
            arg.vt = VT_BSTR;
            arg.bstrVal = texts.back().get();
        } else if (const auto* n = std::get_if<std::int32_t>(&arguments[i])) {
            arg.vt = VT_I4;
            arg.lVal = *n;
        } else {
            // An optional argument left out.
            arg.vt = VT_ERROR;
            arg.scode = DISP_E_PARAMNOTFOUND;
        }
    }
    const bool hasArgument = !args.empty();
    DISPPARAMS params = {hasArgument ? args.data() : nullptr, nullptr, static_cast<UINT>(args.size()), 0};
    // A property put names its value as the one named argument, as IDispatch
    // requires; without it Outlook answers DISP_E_PARAMNOTFOUND.
    DISPID putId = DISPID_PROPERTYPUT;
    if (kind == TCallKind::PropertyPut) {
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }

    VARIANT* const out = result ? result->receive() : nullptr;
    TExcepInfo excepInfo;
    const WORD flags = InvokeFlags(kind, hasArgument, result != nullptr);
    const HRESULT hr =
        RetryWhileBusy([&] { return object->Invoke(*id, IID_NULL, 0, flags, &params, out, excepInfo.get(), nullptr); });
    if (hr != S_OK) {
        if (result)
            result->Clear();
        if (hr == DISP_E_EXCEPTION)
            excepInfo.Raise();
        throw EOleSysError(hr);
    }
}

void LateBoundCall(const TAutomationValue& target, std::wstring_view member, TCallKind kind,
                   const TCallArgument& argument, TAutomationValue* result, const TMemberLookup& lookup)
{
    const bool none = std::holds_alternative<std::monostate>(argument);
    LateBoundInvoke(target, member, kind, std::span<const TCallArgument>(&argument, none ? 0 : 1), result, lookup);
}

std::wstring AutomationText(const TAutomationValue& value)
{
    if (value.Type() == VT_BSTR) {
        const BSTR s = value.get().bstrVal;
        return s ? std::wstring(s, SysStringLen(s)) : std::wstring();
    }
    VARIANT converted;
    VariantInit(&converted);
    OleCheck(VariantChangeType(&converted, const_cast<VARIANT*>(&value.get()), 0, VT_BSTR));
    UniqueBstr owned(converted.bstrVal);
    return std::wstring(owned.view());
}

std::int32_t AutomationInt32(const TAutomationValue& value)
{
    if (value.Type() == VT_I4)
        return value.get().lVal;
    VARIANT converted;
    VariantInit(&converted);
    OleCheck(VariantChangeType(&converted, const_cast<VARIANT*>(&value.get()), 0, VT_I4));
    return converted.lVal;
}
