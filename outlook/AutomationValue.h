#pragma once
// Owners for the COM things the Outlook side holds: a BSTR, an interface
// pointer and the automation value (VARIANT) that every late-bound call reads
// and returns. Each releases exactly what it took, on every path.

#include "base/UniqueHandle.h"

#include <windows.h>
#include <oleauto.h>

#include <string_view>
#include <utility>

inline void FreeBstr(BSTR bstr) noexcept { SysFreeString(bstr); }

class UniqueBstr : public TUniqueHandle<BSTR, FreeBstr> {
public:
    using TUniqueHandle<BSTR, FreeBstr>::TUniqueHandle;
    // Keeps the whole text, U+0000 included. Raises EOleSysError on allocation failure.
    static UniqueBstr FromText(std::wstring_view text);

    // A null BSTR is the empty text, as COM treats it.
    std::wstring_view view() const noexcept
    {
        const BSTR bstr = get();
        return bstr ? std::wstring_view(bstr, SysStringLen(bstr)) : std::wstring_view();
    }
};

template <class T>
class TComPtr {
public:
    TComPtr() noexcept = default;
    // Takes a reference of its own; the caller keeps its one.
    explicit TComPtr(T* p) noexcept : p_(p)
    {
        if (p_)
            p_->AddRef();
    }
    // Takes over a reference the caller owns.
    static TComPtr Attach(T* p) noexcept
    {
        TComPtr result;
        result.p_ = p;
        return result;
    }

    TComPtr(const TComPtr& other) noexcept : TComPtr(other.p_) {}
    TComPtr(TComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    TComPtr& operator=(const TComPtr& other) noexcept
    {
        TComPtr(other).swap(*this);
        return *this;
    }
    TComPtr& operator=(TComPtr&& other) noexcept
    {
        TComPtr(std::move(other)).swap(*this);
        return *this;
    }
    ~TComPtr() { reset(); }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    T** put() noexcept
    {
        reset();
        return &p_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    T* release() noexcept { return std::exchange(p_, nullptr); }
    void reset() noexcept
    {
        if (T* old = std::exchange(p_, nullptr))
            old->Release();
    }
    void swap(TComPtr& other) noexcept { std::swap(p_, other.p_); }

private:
    T* p_ = nullptr;
};

class TAutomationValue {
public:
    TAutomationValue() noexcept { VariantInit(&v_); }
    // An object reference; takes one reference of its own.
    explicit TAutomationValue(IDispatch* object) noexcept;
    explicit TAutomationValue(const TComPtr<IDispatch>& object) noexcept
        : TAutomationValue(object.get())
    {
    }
    explicit TAutomationValue(std::wstring_view text);
    explicit TAutomationValue(long value) noexcept;

    // A copy of an object reference takes one more reference.
    TAutomationValue(const TAutomationValue& other);
    TAutomationValue(TAutomationValue&& other) noexcept;
    // Assigning releases what was held first (after the copy, so self-assignment is safe).
    TAutomationValue& operator=(const TAutomationValue& other);
    TAutomationValue& operator=(TAutomationValue&& other) noexcept;
    ~TAutomationValue() { Clear(); }

    // Empties the value, releasing the object or text it held.
    void Clear() noexcept;
    bool IsEmpty() const noexcept { return v_.vt == VT_EMPTY; }
    VARTYPE Type() const noexcept { return v_.vt; }

    const VARIANT& get() const noexcept { return v_; }
    // For an out-parameter: empties first, so nothing held is lost.
    VARIANT* receive() noexcept
    {
        Clear();
        return &v_;
    }

    // The object this value refers to, following by-reference values; null when
    // it holds no object. No reference is added.
    IDispatch* Object() const noexcept;

private:
    VARIANT v_;
};
