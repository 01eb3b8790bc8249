#include "outlook/AutomationValue.h"

#include "outlook/OleError.h"

#include <climits>

UniqueBstr UniqueBstr::FromText(std::wstring_view text)
{
    if (text.size() > static_cast<std::size_t>(UINT_MAX / sizeof(wchar_t)))
        throw EOleSysError(E_OUTOFMEMORY);
    BSTR bstr = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!bstr)
        throw EOleSysError(E_OUTOFMEMORY);
    return UniqueBstr(bstr);
}

TAutomationValue::TAutomationValue(IDispatch* object) noexcept
{
    VariantInit(&v_);
    if (object) {
        object->AddRef();
        v_.vt = VT_DISPATCH;
        v_.pdispVal = object;
    }
}

TAutomationValue::TAutomationValue(std::wstring_view text)
{
    VariantInit(&v_);
    v_.bstrVal = UniqueBstr::FromText(text).release();
    v_.vt = VT_BSTR;
}

TAutomationValue::TAutomationValue(long value) noexcept
{
    VariantInit(&v_);
    v_.vt = VT_I4;
    v_.lVal = value;
}

TAutomationValue::TAutomationValue(const TAutomationValue& other)
{
    VariantInit(&v_);
    // VariantCopy adds the reference for an object and duplicates a text. (MinGW
    // declares its source without the const that the Windows SDK has.)
    const HRESULT hr = VariantCopy(&v_, const_cast<VARIANT*>(&other.v_));
    if (FAILED(hr))
        throw EOleSysError(hr);
}

TAutomationValue::TAutomationValue(TAutomationValue&& other) noexcept : v_(other.v_)
{
    VariantInit(&other.v_);
}

TAutomationValue& TAutomationValue::operator=(const TAutomationValue& other)
{
    TAutomationValue copy(other);
    *this = std::move(copy);
    return *this;
}

TAutomationValue& TAutomationValue::operator=(TAutomationValue&& other) noexcept
{
    if (this != &other) {
        Clear();
        v_ = other.v_;
        VariantInit(&other.v_);
    }
    return *this;
}

void TAutomationValue::Clear() noexcept
{
    if (v_.vt != VT_EMPTY) {
        // Take the value out first: a Release may call back into code that looks at it.
        VARIANT old = v_;
        VariantInit(&v_);
        VariantClear(&old);
    }
}

IDispatch* TAutomationValue::Object() const noexcept
{
    const VARIANT* v = &v_;
    // Follow references to a variant (bounded: a reference chain may point at itself).
    for (int depth = 0; depth < 16 && v->vt == (VT_BYREF | VT_VARIANT); ++depth) {
        if (!v->pvarVal)
            return nullptr;
        v = v->pvarVal;
    }
    if (v->vt == VT_DISPATCH)
        return v->pdispVal;
    if (v->vt == (VT_BYREF | VT_DISPATCH))
        return v->ppdispVal ? *v->ppdispVal : nullptr;
    return nullptr;
}
