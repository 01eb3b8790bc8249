#pragma once
// The IUnknown of a COM object that lives in its owner's scope (a message
// filter, a class factory): COM's references do not decide its life.

#include <unknwn.h>

template <class Interface, const IID& InterfaceId>
class TScopedComObject : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == InterfaceId) {
            *object = static_cast<Interface*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};
