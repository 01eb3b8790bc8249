#pragma once
// An in-process IDispatch that counts its references and records what the
// late-bound call hands it, so that reference and argument rules can be checked
// without a server.

#include <windows.h>
#include <oleauto.h>

#include <functional>
#include <string>
#include <vector>

class FakeDispatch : public IDispatch {
public:
    struct Lookup {
        std::wstring name;
        bool iidNull;
        UINT count;
        LCID locale;
    };
    struct Call {
        DISPID id;
        bool iidNull;
        LCID locale;
        WORD flags;
        UINT argumentCount;
        UINT namedCount;
        VARTYPE argumentType;
        std::wstring text;  // VT_BSTR argument, whole
        LONG number;  // VT_I4 argument
        bool resultPassed;
        bool excepInfoPassed;
        bool argErrorPassed;
        DISPID namedId;  // the first named argument's, when there is one
    };

    LONG references = 1;
    std::vector<Lookup> lookups;
    std::vector<Call> calls;

    HRESULT lookupResult = S_OK;
    HRESULT invokeResult = S_OK;
    // So many lookups and invocations are turned away first, as by a busy Outlook.
    int busyLookups = 0;
    int busyInvokes = 0;
    HRESULT busyCode = RPC_E_CALL_REJECTED;
    // Runs inside Invoke: fills the result or the exception record.
    std::function<void(VARIANT* result, EXCEPINFO* info)> answer;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override
    {
        lookups.push_back({names[0], riid == IID_NULL, count, locale});
        if (busyLookups > 0) {
            --busyLookups;
            return busyCode;
        }
        ids[0] = 7;
        return lookupResult;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID locale, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* info, UINT* argError) override
    {
        Call call{id, riid == IID_NULL, locale, flags, params->cArgs, params->cNamedArgs, VT_EMPTY, {}, 0,
                  result != nullptr, info != nullptr, argError != nullptr,
                  params->cNamedArgs ? params->rgdispidNamedArgs[0] : DISPID_UNKNOWN};
        if (params->cArgs) {
            const VARIANT& arg = params->rgvarg[0];
            call.argumentType = arg.vt;
            if (arg.vt == VT_BSTR)
                call.text.assign(arg.bstrVal, SysStringLen(arg.bstrVal));
            if (arg.vt == VT_I4)
                call.number = arg.lVal;
        }
        calls.push_back(call);
        if (busyInvokes > 0) {
            --busyInvokes;
            return busyCode;
        }
        if (answer)
            answer(result, info);
        return invokeResult;
    }
};
