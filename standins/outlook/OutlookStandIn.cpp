// A stand-in for Outlook's automation server: a real out-of-process COM server
// that answers exactly the members Pellorin calls, from a state file a test
// writes, and logs every request it receives. See Usage below.

#include "standins/outlook/StandInStore.h"

#include "base/CodePage.h"
#include "base/Platform.h"
#include "outlook/ScopedComObject.h"

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <shellapi.h>

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <new>
#include <span>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kUsage[] =
    L"OutlookStandIn: answers for Microsoft Outlook's automation server, for Pellorin.\r\n"
    L"\r\n"
    L"  OutlookStandIn /register [ProgID] [/data FOLDER]\r\n"
    L"      Registers it under ProgID (default Outlook.Application, allowed only under Wine),\r\n"
    L"      keeping its files in FOLDER (default: OutlookStandIn.data beside the program).\r\n"
    L"  OutlookStandIn /unregister [ProgID]\r\n"
    L"  OutlookStandIn /run     Runs as an Outlook that is already running, until /stop.\r\n"
    L"  OutlookStandIn /run /stale   ...as the entry a killed Outlook left in the running object\r\n"
    L"                          table: every call fails as with a server that is gone.\r\n"
    L"  OutlookStandIn /stop    Stops every instance started with /run.\r\n"
    L"  OutlookStandIn /?       Shows this text.\r\n"
    L"\r\n"
    L"COM starts it with -Embedding; it then exits when its last object is released.\r\n"
    L"It reads FOLDER\\state.txt (UTF-8, one setting a line, \\uXXXX for control characters):\r\n"
    L"  version=TEXT              what Application.Version answers\r\n"
    L"  name=TEXT[<TAB>COLOR]     one category of the store above, in Outlook's order; before\r\n"
    L"                            any store line, of the default store (Add appends)\r\n"
    L"  default-store=TEXT        the default store's display name, and its place among\r\n"
    L"                            the store lines (default: first, \"Outlook Data File\")\r\n"
    L"  store=TEXT                another store of the profile, in Namespace.Stores order\r\n"
    L"  shares=TEXT               that store answers Categories with store TEXT's list\r\n"
    L"  categories-fault=TEXT     that store's Categories fails with the description TEXT\r\n"
    L"  fail-add=NAME<TAB>TEXT    Add(NAME) fails with the description TEXT\r\n"
    L"  fail-item=K               Item(K) of the default store fails, with\r\n"
    L"                            fail-item-description=TEXT\r\n"
    L"  no-categories=1           the namespace has no Categories member\r\n"
    L"  no-stores=1               the namespace has no Stores nor DefaultStore (Outlook 2007)\r\n"
    L"  delay=MS                  waits before every answer\r\n"
    L"  busy=MS                   rejects every call for MS milliseconds from when it reads\r\n"
    L"                            this state, as Outlook does while it starts or shows a dialog\r\n"
    L"  busy-after=N              ...or from when it has then answered N invocations\r\n"
    L"  busy-code=rejected|retrylater  the rejection (default: rejected)\r\n"
    L"An Add of a name the list holds (ignoring case) fails, as Outlook's does; an Add\r\n"
    L"without a colour takes the first colour no category of the list uses yet.\r\n"
    L"Every name lookup and call is appended to FOLDER\\requests.log.\r\n";

constexpr wchar_t kSource[] = L"Pellorin Outlook stand-in";

std::wstring g_dataDirectory;
// The class this instance serves: ours, or a test program's own ("/class").
CLSID g_class = CLSID_PellorinOutlookStandIn;
DWORD g_mainThread = 0;
bool g_quitWhenUnused = false;
LONG g_liveObjects = 0;
bool g_everServed = false;
// Invocations answered, and the start of the busy time, since the state was read.
bool g_stale = false;
unsigned g_stateReads = 0;
int g_answered = 0;
ULONGLONG g_busySince = 0;

void ObjectCreated()
{
    InterlockedIncrement(&g_liveObjects);
    g_everServed = true;
}

void ObjectDestroyed()
{
    // Started by COM, it lives as long as somebody holds one of its objects.
    if (InterlockedDecrement(&g_liveObjects) == 0 && g_quitWhenUnused)
        PostThreadMessageW(g_mainThread, WM_QUIT, 0, 0);
}

void Log(TStandInRequest request)
{
    request.ProcessId = GetCurrentProcessId();
    try {
        AppendStandInLog(g_dataDirectory, request);
    } catch (const EStandInError&) {
        // A lost log line must not turn into a failed call.
    }
}

// Call right after reading the state: a state read afresh starts the count afresh.
bool IsBusy(const TStandInState& state)
{
    if (g_stateReads != CachedStandInStateReads()) {
        g_stateReads = CachedStandInStateReads();
        g_answered = 0;
        g_busySince = 0;
    }
    if (state.BusyMilliseconds == 0 || g_answered < state.BusyAfterCalls)
        return false;
    if (g_busySince == 0)
        g_busySince = GetTickCount64();
    return GetTickCount64() - g_busySince < state.BusyMilliseconds;
}

HRESULT BusyCode(const TStandInState& state)
{
    return state.BusyRetryLater ? RPC_E_SERVERCALL_RETRYLATER : RPC_E_CALL_REJECTED;
}

std::wstring DescribeArgument(const VARIANT& v)
{
    const VARIANT* value = &v;
    if (v.vt == (VT_BYREF | VT_VARIANT) && v.pvarVal)
        value = v.pvarVal;
    switch (value->vt) {
    case VT_BSTR:
        return L"bstr:" + std::wstring(value->bstrVal ? value->bstrVal : L"", SysStringLen(value->bstrVal));
    case VT_I4:
        return L"i4:" + std::to_wstring(value->lVal);
    default:
        return L"vt" + std::to_wstring(value->vt);
    }
}

HRESULT ServerException(EXCEPINFO* info, HRESULT scode, const std::wstring& description)
{
    if (info) {
        ZeroMemory(info, sizeof *info);
        info->bstrSource = SysAllocString(kSource);
        info->bstrDescription = SysAllocStringLen(description.data(), static_cast<UINT>(description.size()));
        info->bstrHelpFile = SysAllocString(L"OutlookStandIn.chm");
        info->scode = scode;
    }
    return DISP_E_EXCEPTION;
}

HRESULT ReturnText(VARIANT* result, const std::wstring& text)
{
    if (result) {
        result->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (!result->bstrVal)
            return E_OUTOFMEMORY;
        result->vt = VT_BSTR;
    }
    return S_OK;
}

// Takes over the new object's one reference.
HRESULT ReturnObject(VARIANT* result, IDispatch* object)
{
    if (result) {
        result->vt = VT_DISPATCH;
        result->pdispVal = object;
    } else {
        object->Release();
    }
    return S_OK;
}

// The first positional argument converted to vt; arguments arrive last first.
HRESULT Argument(const DISPPARAMS& params, VARTYPE vt, VARIANT& out, UINT* argError)
{
    VariantInit(&out);
    const HRESULT hr = VariantChangeType(&out, &params.rgvarg[params.cArgs - 1], 0, vt);
    if (FAILED(hr) && argError)
        *argError = params.cArgs - 1;
    return FAILED(hr) ? DISP_E_TYPEMISMATCH : S_OK;
}

struct TMember {
    const wchar_t* name;
    bool method;  // else a property, which Outlook also answers as a method
    bool writable = false;  // a property that DISPATCH_PROPERTYPUT sets
};

class TDispatchObject : public IDispatch {
public:
    TDispatchObject() { ObjectCreated(); }
    TDispatchObject(const TDispatchObject&) = delete;
    TDispatchObject& operator=(const TDispatchObject&) = delete;
    virtual ~TDispatchObject() { ObjectDestroyed(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override
    {
        if (info)
            *info = nullptr;
        return DISP_E_BADINDEX;
    }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        if (!names || !ids)
            return E_POINTER;
        try {
            if (g_stale)
                return HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE);
            const TStandInState& state = CachedStandInState(g_dataDirectory);
            if (IsBusy(state)) {
                Log({0, L"reject", count && names[0] ? names[0] : L"", 0, 0, L""});
                return BusyCode(state);
            }
            Sleep(state.DelayMilliseconds);
            for (UINT i = 0; i < count; ++i) {
                Log({0, L"lookup", names[i] ? names[i] : L"", 0, 0, L""});
                ids[i] = DISPID_UNKNOWN;
            }
            if (count == 0)
                return S_OK;
            const auto members = Members();
            for (std::size_t m = 0; m < members.size(); ++m) {
                if (names[0] && SameTextIgnoringCase(names[0], members[m].name) && !Hidden(members[m], state))
                    ids[0] = static_cast<DISPID>(m + 1);
            }
            // No member takes named arguments.
            return ids[0] != DISPID_UNKNOWN && count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* info, UINT* argError) override
    {
        try {
            if (g_stale)
                return HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE);
            TStandInState& state = CachedStandInState(g_dataDirectory);
            const auto members = Members();
            const bool known = id >= 1 && static_cast<std::size_t>(id) <= members.size();
            const TMember* member = known ? &members[static_cast<std::size_t>(id) - 1] : nullptr;
            if (IsBusy(state)) {
                Log({0, L"reject", member ? member->name : L"#" + std::to_wstring(id), flags, 0, L""});
                return BusyCode(state);
            }
            ++g_answered;
            Sleep(state.DelayMilliseconds);
            const UINT argumentCount = params ? params->cArgs : 0;
            Log({0, L"invoke", member ? member->name : L"#" + std::to_wstring(id), flags,
                 static_cast<int>(argumentCount),
                 argumentCount ? DescribeArgument(params->rgvarg[argumentCount - 1]) : L""});

            if (riid != IID_NULL)
                return DISP_E_UNKNOWNINTERFACE;
            if (!member || Hidden(*member, state))
                return DISP_E_MEMBERNOTFOUND;
            if (!params)
                return E_INVALIDARG;
            if (flags & DISPATCH_PROPERTYPUT) {
                // The value comes as the one named argument DISPID_PROPERTYPUT, as IDispatch has it.
                if (params->cArgs != 1 || params->cNamedArgs != 1 || !params->rgdispidNamedArgs ||
                    params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
                    return DISP_E_PARAMNOTFOUND;
                if (!member->writable)
                    return DISP_E_MEMBERNOTFOUND;
            } else {
                if (params->cNamedArgs)
                    return DISP_E_NONAMEDARGS;
                const WORD accepted = member->method ? DISPATCH_METHOD : DISPATCH_METHOD | DISPATCH_PROPERTYGET;
                if (!(flags & accepted))
                    return DISP_E_MEMBERNOTFOUND;
            }
            if (result)
                VariantInit(result);
            return Call(id, state, *params, result, info, argError);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }

protected:
    virtual std::span<const TMember> Members() const = 0;
    virtual bool Hidden(const TMember&, const TStandInState&) const { return false; }
    virtual HRESULT Call(DISPID id, TStandInState& state, const DISPPARAMS& params, VARIANT* result,
                         EXCEPINFO* info, UINT* argError) = 0;

private:
    LONG references_ = 1;
};

HRESULT ReturnNumber(VARIANT* result, long value)
{
    if (result) {
        result->vt = VT_I4;
        result->lVal = value;
    }
    return S_OK;
}

// The k-th positional argument (from 0) converted to vt; arguments arrive last first.
HRESULT PositionalArgument(const DISPPARAMS& params, UINT k, VARTYPE vt, VARIANT& out, UINT* argError)
{
    VariantInit(&out);
    const UINT slot = params.cArgs - 1 - k;
    const HRESULT hr = VariantChangeType(&out, &params.rgvarg[slot], 0, vt);
    if (FAILED(hr) && argError)
        *argError = slot;
    return FAILED(hr) ? DISP_E_TYPEMISMATCH : S_OK;
}

bool IsMissing(const VARIANT& v)
{
    const VARIANT* value = v.vt == (VT_BYREF | VT_VARIANT) && v.pvarVal ? v.pvarVal : &v;
    return value->vt == VT_EMPTY || (value->vt == VT_ERROR && value->scode == DISP_E_PARAMNOTFOUND);
}

// The profile's stores in Namespace.Stores order: the default store stands at
// its position, the other stores around it.
std::size_t StoreCount(const TStandInState& state)
{
    return state.OtherStores.size() + 1;
}

std::size_t DefaultPosition(const TStandInState& state)
{
    return std::min(state.DefaultStorePosition, state.OtherStores.size());
}

// Null for the default store.
TStandInStore* OtherStoreAt(TStandInState& state, std::size_t position)
{
    const std::size_t home = DefaultPosition(state);
    if (position == home || position >= StoreCount(state))
        return nullptr;
    return &state.OtherStores[position < home ? position : position - 1];
}

std::wstring StoreNameAt(TStandInState& state, std::size_t position)
{
    const TStandInStore* other = OtherStoreAt(state, position);
    return other ? other->DisplayName : state.DefaultStoreName;
}

struct TList {
    std::vector<std::wstring>& Names;
    std::vector<long>& Colors;
    bool IsDefault;
};

TList ListAt(TStandInState& state, std::size_t position)
{
    if (TStandInStore* other = OtherStoreAt(state, position)) {
        other->Colors.resize(other->Names.size(), 0);
        return {other->Names, other->Colors, false};
    }
    state.Colors.resize(state.Names.size(), 0);
    return {state.Names, state.Colors, true};
}

class TCategory final : public TDispatchObject {
public:
    TCategory(std::size_t listPosition, std::wstring name, long color)
        : listPosition_(listPosition), name_(std::move(name)), color_(color)
    {
    }

protected:
    std::span<const TMember> Members() const override { return kMembers; }
    HRESULT Call(DISPID id, TStandInState& state, const DISPPARAMS& params, VARIANT* result, EXCEPINFO* info,
                 UINT* argError) override
    {
        // Invoke lets only Color's put through with a named argument.
        if (params.cNamedArgs)
            return PutColor(state, params, info, argError);
        if (params.cArgs)
            return DISP_E_BADPARAMCOUNT;
        return id == kName ? ReturnText(result, name_) : ReturnNumber(result, color_);
    }

private:
    enum : DISPID { kName = 1, kColor };
    static constexpr TMember kMembers[] = {{L"Name", false}, {L"Color", false, true}};

    HRESULT PutColor(TStandInState& state, const DISPPARAMS& params, EXCEPINFO* info, UINT* argError)
    {
        VARIANT colorArgument;
        const HRESULT hr = Argument(params, VT_I4, colorArgument, argError);
        if (FAILED(hr))
            return hr;
        const long color = colorArgument.lVal;
        if (color < 0 || color > kStandInColorCount)
            return ServerException(info, E_INVALIDARG,
                                   L"Could not complete the operation. One or more parameter values are not valid.");
        if (listPosition_ >= StoreCount(state))
            return ServerException(info, E_FAIL, L"The store is no longer available.");
        const TList list = ListAt(state, listPosition_);
        for (std::size_t i = 0; i < list.Names.size(); ++i) {
            if (!SameTextIgnoringCase(list.Names[i], name_))
                continue;
            const long was = list.Colors[i];
            list.Colors[i] = color;
            try {
                SaveCachedStandInState(g_dataDirectory);
            } catch (...) {
                list.Colors[i] = was;
                throw;
            }
            color_ = color;
            return S_OK;
        }
        return ServerException(info, E_FAIL, L"The category was deleted.");
    }

    std::size_t listPosition_;
    std::wstring name_;
    long color_;
};

// One store's list, named by the position of the store that owns it.
class TCategories final : public TDispatchObject {
public:
    explicit TCategories(std::size_t listPosition) : listPosition_(listPosition) {}

protected:
    std::span<const TMember> Members() const override { return kMembers; }
    HRESULT Call(DISPID id, TStandInState& state, const DISPPARAMS& params, VARIANT* result, EXCEPINFO* info,
                 UINT* argError) override
    {
        if (listPosition_ >= StoreCount(state))
            return ServerException(info, E_FAIL, L"The store is no longer available.");
        const TList list = ListAt(state, listPosition_);
        switch (id) {
        case kCount:
            return params.cArgs ? DISP_E_BADPARAMCOUNT : ReturnNumber(result, static_cast<long>(list.Names.size()));
        case kItem:
            return Item(state, list, listPosition_, params, result, info, argError);
        case kAdd:
            return Add(state, list, params, info, argError);
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    }

private:
    enum : DISPID { kCount = 1, kItem, kAdd };
    static constexpr TMember kMembers[] = {{L"Count", false}, {L"Item", false}, {L"Add", true}};

    static HRESULT Item(const TStandInState& state, const TList& list, std::size_t listPosition,
                        const DISPPARAMS& params, VARIANT* result, EXCEPINFO* info, UINT* argError)
    {
        if (params.cArgs != 1)
            return DISP_E_BADPARAMCOUNT;
        const VARIANT& raw = params.rgvarg[0];
        const VARTYPE type = raw.vt == (VT_BYREF | VT_VARIANT) && raw.pvarVal ? raw.pvarVal->vt : raw.vt;
        VARIANT index;
        if (type == VT_BSTR) {
            const HRESULT hr = Argument(params, VT_BSTR, index, argError);
            if (FAILED(hr))
                return hr;
            const std::wstring wanted(index.bstrVal, SysStringLen(index.bstrVal));
            VariantClear(&index);
            for (std::size_t i = 0; i < list.Names.size(); ++i) {
                if (SameTextIgnoringCase(list.Names[i], wanted))
                    return ReturnObject(result, new TCategory(listPosition, list.Names[i], list.Colors[i]));
            }
            // As Outlook: a name it does not hold gives Nothing, not an error.
            if (result) {
                result->vt = VT_DISPATCH;
                result->pdispVal = nullptr;
            }
            return S_OK;
        }
        const HRESULT hr = Argument(params, VT_I4, index, argError);
        if (FAILED(hr))
            return hr;
        const LONG k = index.lVal;
        if (list.IsDefault && state.FailingItem != 0 && k == state.FailingItem)
            return ServerException(info, E_FAIL, state.ItemFaultDescription);
        if (k < 1 || static_cast<std::size_t>(k) > list.Names.size())
            return ServerException(info, DISP_E_BADINDEX, L"Array index out of bounds.");
        const auto i = static_cast<std::size_t>(k) - 1;
        return ReturnObject(result, new TCategory(listPosition, list.Names[i], list.Colors[i]));
    }

    static HRESULT Add(const TStandInState& state, const TList& list, const DISPPARAMS& params, EXCEPINFO* info,
                       UINT* argError)
    {
        // Add(Name, Color, ShortcutKey): the shortcut key is not kept.
        if (params.cArgs < 1 || params.cArgs > 3)
            return DISP_E_BADPARAMCOUNT;
        VARIANT nameArgument;
        HRESULT hr = Argument(params, VT_BSTR, nameArgument, argError);
        if (FAILED(hr))
            return hr;
        const std::wstring name(nameArgument.bstrVal ? nameArgument.bstrVal : L"", SysStringLen(nameArgument.bstrVal));
        VariantClear(&nameArgument);
        long color = StandInColorForNewCategory(list.Colors);
        if (params.cArgs >= 2 && !IsMissing(params.rgvarg[params.cArgs - 2])) {
            VARIANT colorArgument;
            hr = PositionalArgument(params, 1, VT_I4, colorArgument, argError);
            if (FAILED(hr))
                return hr;
            color = colorArgument.lVal;
            if (color < 0 || color > kStandInColorCount)
                return ServerException(info, E_INVALIDARG,
                                       L"Could not complete the operation. One or more parameter values are not valid.");
        }
        for (const TStandInAddFault& fault : state.AddFaults) {
            if (fault.Name == name)
                return ServerException(info, E_FAIL, fault.Description);
        }
        for (const std::wstring& held : list.Names) {
            if (SameTextIgnoringCase(held, name))
                return ServerException(info, E_FAIL, L"A category with this name already exists.");
        }
        list.Names.push_back(name);
        list.Colors.push_back(color);
        try {
            SaveCachedStandInState(g_dataDirectory);
        } catch (...) {
            list.Names.pop_back();
            list.Colors.pop_back();
            throw;
        }
        // Outlook answers with the new category, but Wine's IDispatch proxy hands us
        // a result slot even when the caller asked for none and never releases what
        // lands there, which would keep this server alive. Nobody reads it.
        return S_OK;
    }

    std::size_t listPosition_;
};

class TStore final : public TDispatchObject {
public:
    explicit TStore(std::size_t position) : position_(position) {}

protected:
    std::span<const TMember> Members() const override { return kMembers; }
    HRESULT Call(DISPID id, TStandInState& state, const DISPPARAMS& params, VARIANT* result, EXCEPINFO* info,
                 UINT*) override
    {
        if (params.cArgs)
            return DISP_E_BADPARAMCOUNT;
        if (position_ >= StoreCount(state))
            return ServerException(info, E_FAIL, L"The store is no longer available.");
        switch (id) {
        case kDisplayName:
            return ReturnText(result, StoreNameAt(state, position_));
        case kStoreId: {
            wchar_t text[80];
            std::swprintf(text, std::size(text), L"0000000038A1BB1005E5101AA1BB08002B2A56C20000%08X",
                          static_cast<unsigned>(position_ + 1));
            return ReturnText(result, text);
        }
        case kCategories:
            return Categories(state, info, result);
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    }

private:
    enum : DISPID { kDisplayName = 1, kStoreId, kCategories };
    static constexpr TMember kMembers[] = {{L"DisplayName", false}, {L"StoreID", false}, {L"Categories", false}};

    HRESULT Categories(TStandInState& state, EXCEPINFO* info, VARIANT* result) const
    {
        std::size_t listPosition = position_;
        if (const TStandInStore* other = OtherStoreAt(state, position_)) {
            if (!other->CategoriesFault.empty())
                return ServerException(info, E_FAIL, other->CategoriesFault);
            // An IMAP store answers with its primary store's list.
            for (std::size_t p = 0; !other->SharesListOf.empty() && p < StoreCount(state); ++p) {
                if (p != position_ && StoreNameAt(state, p) == other->SharesListOf) {
                    listPosition = p;
                    break;
                }
            }
        }
        return ReturnObject(result, new TCategories(listPosition));
    }

    std::size_t position_;
};

class TStores final : public TDispatchObject {
protected:
    std::span<const TMember> Members() const override { return kMembers; }
    HRESULT Call(DISPID id, TStandInState& state, const DISPPARAMS& params, VARIANT* result, EXCEPINFO* info,
                 UINT* argError) override
    {
        if (id == kCount)
            return params.cArgs ? DISP_E_BADPARAMCOUNT : ReturnNumber(result, static_cast<long>(StoreCount(state)));
        if (params.cArgs != 1)
            return DISP_E_BADPARAMCOUNT;
        VARIANT index;
        const HRESULT hr = Argument(params, VT_I4, index, argError);
        if (FAILED(hr))
            return hr;
        if (index.lVal < 1 || static_cast<std::size_t>(index.lVal) > StoreCount(state))
            return ServerException(info, DISP_E_BADINDEX, L"Array index out of bounds.");
        return ReturnObject(result, new TStore(static_cast<std::size_t>(index.lVal) - 1));
    }

private:
    enum : DISPID { kCount = 1, kItem };
    static constexpr TMember kMembers[] = {{L"Count", false}, {L"Item", false}};
};

class TNamespace final : public TDispatchObject {
protected:
    std::span<const TMember> Members() const override { return kMembers; }
    bool Hidden(const TMember& member, const TStandInState& state) const override
    {
        return std::wstring_view(member.name) == L"Categories" ? state.NoCategories : state.NoStores;
    }
    HRESULT Call(DISPID id, TStandInState& state, const DISPPARAMS& params, VARIANT* result, EXCEPINFO*,
                 UINT*) override
    {
        if (params.cArgs)
            return DISP_E_BADPARAMCOUNT;
        switch (id) {
        case kCategories:
            return ReturnObject(result, new TCategories(DefaultPosition(state)));
        case kStores:
            return ReturnObject(result, new TStores);
        case kDefaultStore:
            return ReturnObject(result, new TStore(DefaultPosition(state)));
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    }

private:
    enum : DISPID { kCategories = 1, kStores, kDefaultStore };
    static constexpr TMember kMembers[] = {{L"Categories", false}, {L"Stores", false}, {L"DefaultStore", false}};
};

class TApplication final : public TDispatchObject {
protected:
    std::span<const TMember> Members() const override { return kMembers; }
    HRESULT Call(DISPID id, TStandInState& state, const DISPPARAMS& params, VARIANT* result, EXCEPINFO* info,
                 UINT* argError) override
    {
        if (id == kVersion)
            return params.cArgs ? DISP_E_BADPARAMCOUNT : ReturnText(result, state.Version);
        if (params.cArgs != 1)
            return DISP_E_BADPARAMCOUNT;
        VARIANT type;
        const HRESULT hr = Argument(params, VT_BSTR, type, argError);
        if (FAILED(hr))
            return hr;
        const bool mapi = SameTextIgnoringCase(std::wstring_view(type.bstrVal, SysStringLen(type.bstrVal)), L"MAPI");
        VariantClear(&type);
        if (!mapi)
            return ServerException(info, E_INVALIDARG, L"The namespace type is not supported.");
        return ReturnObject(result, new TNamespace);
    }

private:
    enum : DISPID { kGetNamespace = 1, kVersion };
    static constexpr TMember kMembers[] = {{L"GetNamespace", true}, {L"Version", false}};
};

// Lives for the whole run, on the stack of the server's main routine.
class TClassFactory final : public TScopedComObject<IClassFactory, IID_IClassFactory> {
public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        TApplication* app = new (std::nothrow) TApplication;
        if (!app)
            return E_OUTOFMEMORY;
        const HRESULT hr = app->QueryInterface(riid, object);
        app->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        if (lock)
            ObjectCreated();
        else
            ObjectDestroyed();
        return S_OK;
    }
};

// Outlook turns calls away in its message filter while it is busy. Wine 8
// honours SERVERCALL_REJECTED there but lets a SERVERCALL_RETRYLATER call
// through, and the object then rejects it itself.
class TBusyFilter final : public TScopedComObject<IMessageFilter, IID_IMessageFilter> {
public:
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO info) override
    {
        try {
            // A busy start starts with the first call of any kind, but only
            // Outlook's own calls are turned away: COM's reference counting goes on.
            const TStandInState& state = CachedStandInState(g_dataDirectory);
            if (!IsBusy(state) || !info || info->iid != IID_IDispatch)
                return SERVERCALL_ISHANDLED;
            Log({0, L"reject", L"filter", 0, 0, L""});
            return state.BusyRetryLater ? SERVERCALL_RETRYLATER : SERVERCALL_REJECTED;
        } catch (...) {
            return SERVERCALL_ISHANDLED;
        }
    }
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override { return static_cast<DWORD>(-1); }
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override { return PENDINGMSG_WAITDEFPROCESS; }
};

void RunMessageLoop()
{
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void CALLBACK QuitIfNeverUsed(HWND, UINT, UINT_PTR, DWORD)
{
    // COM started us but the client went away before asking for anything.
    if (!g_everServed)
        PostQuitMessage(0);
}

int RunAsComServer()
{
    g_quitWhenUnused = true;
    TClassFactory factory;
    DWORD cookie = 0;
    HRESULT hr = CoRegisterClassObject(g_class, &factory, CLSCTX_LOCAL_SERVER,
                                       REGCLS_MULTIPLEUSE, &cookie);
    if (FAILED(hr))
        return 1;
    Log({0, L"start", L"embedding", 0, 0, L""});
    SetTimer(nullptr, 0, 60000, QuitIfNeverUsed);
    RunMessageLoop();
    CoRevokeClassObject(cookie);
    return 0;
}

LRESULT CALLBACK StandInWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int RunByHand()
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = StandInWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kStandInWindowClass;
    RegisterClassW(&windowClass);
    // Never shown: it is how /stop and the tests find and close this instance.
    HWND window = CreateWindowExW(0, kStandInWindowClass, kSource, WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                                  nullptr, windowClass.hInstance, nullptr);
    if (!window)
        return 1;

    TApplication* app = new TApplication;
    DWORD cookie = 0;
    // As Outlook does: whoever asks the running object table finds this one.
    const HRESULT hr = RegisterActiveObject(app, g_class, ACTIVEOBJECT_STRONG, &cookie);
    if (FAILED(hr)) {
        app->Release();
        DestroyWindow(window);
        return 1;
    }
    Log({0, L"start", L"run", 0, 0, L""});
    const std::wstring readyName = L"PellorinOutlookStandInReady" + std::to_wstring(GetCurrentProcessId());
    if (HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, readyName.c_str())) {
        SetEvent(ready);
        CloseHandle(ready);
    }
    RunMessageLoop();
    RevokeActiveObject(cookie, nullptr);
    // Clients that still hold references now get failures, as from an Outlook that was closed.
    CoDisconnectObject(app, 0);
    app->Release();
    return 0;
}

void Print(const std::wstring& text)
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    bool ownHandle = false;
    if ((!out || out == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        out = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        ownHandle = true;
    }
    if (!out || out == INVALID_HANDLE_VALUE) {
        MessageBoxW(nullptr, text.c_str(), L"OutlookStandIn", MB_OK);
        return;
    }
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    } else {
        const std::string bytes = ToUtf8(text);
        WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
    if (ownHandle)
        CloseHandle(out);
}

std::wstring OwnFolder()
{
    const std::wstring path = ProgramFilePath();
    return path.substr(0, path.find_last_of(L"\\/"));
}

bool IsSwitch(std::wstring_view argument, std::wstring_view name)
{
    return argument.size() > 1 && (argument[0] == L'/' || argument[0] == L'-') &&
           SameTextIgnoringCase(argument.substr(1), name);
}

int Register(const std::vector<std::wstring>& args)
{
    std::wstring progId = kOutlookProgId;
    std::wstring data = OwnFolder() + L"\\OutlookStandIn.data";
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (IsSwitch(args[i], L"data") && i + 1 < args.size())
            data = args[++i];
        else
            progId = args[i];
    }
    RegisterStandIn(ProgramFilePath(), progId, data);
    Print(L"Registered as " + progId + L"; state file " + StandInStateFile(data) + L"\r\n");
    return 0;
}

// Takes "/class {CLSID}" out of the arguments, wherever it stands.
std::vector<std::wstring> TakeClass(std::vector<std::wstring> args)
{
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (SameTextIgnoringCase(args[i], kStandInClassSwitch) && SUCCEEDED(CLSIDFromString(args[i + 1].c_str(), &g_class))) {
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i), args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
            break;
        }
    }
    return args;
}

int Run(std::vector<std::wstring> args)
{
    args = TakeClass(std::move(args));
    const std::wstring command = args.empty() ? L"/?" : args[0];
    if (IsSwitch(command, L"register"))
        return Register(args);
    if (IsSwitch(command, L"unregister")) {
        UnregisterStandIn(args.size() > 1 ? args[1] : std::wstring(kOutlookProgId));
        return 0;
    }
    if (IsSwitch(command, L"stop")) {
        StopStandInsStartedByHand(0, 10000);
        return 0;
    }
    const bool embedding = IsSwitch(command, L"Embedding");
    if (embedding || IsSwitch(command, L"run")) {
        g_dataDirectory = StandInDataDirectory(g_class);
        if (g_dataDirectory.empty())
            g_dataDirectory = OwnFolder() + L"\\OutlookStandIn.data";
        g_mainThread = GetCurrentThreadId();
        g_stale = args.size() > 1 && IsSwitch(args[1], L"stale");
        if (FAILED(CoInitialize(nullptr)))
            return 1;
        TBusyFilter filter;
        CoRegisterMessageFilter(&filter, nullptr);
        const int result = embedding ? RunAsComServer() : RunByHand();
        CoRegisterMessageFilter(nullptr, nullptr);
        CoUninitialize();
        Log({0, L"exit", L"", 0, 0, L""});
        // Under Wine the end of a COM server was seen to take ten seconds and
        // more after this point; nothing is left to flush, so it ends here.
        TerminateProcess(GetCurrentProcess(), static_cast<UINT>(result));
        return result;
    }
    std::wstring usage = kUsage;
    const std::wstring data = StandInDataDirectory(g_class);
    if (!data.empty())
        usage += L"\r\nRegistered; state file: " + StandInStateFile(data) + L"\r\n";
    Print(usage);
    return IsSwitch(command, L"?") || IsSwitch(command, L"help") ? 0 : 2;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> args;
    for (int i = 1; argv && i < count; ++i)
        args.emplace_back(argv[i]);
    LocalFree(argv);
    try {
        return Run(args);
    } catch (const std::exception& e) {
        Print(L"OutlookStandIn: " + FromUtf8(e.what()) + L"\r\n");
        return 1;
    }
}
