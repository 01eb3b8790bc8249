#pragma once
// One move-only owner for handle-like things (keys, fonts, icons, BSTRs), named per kind.

#include <utility>

template <typename T, auto Close, T Invalid = T{}>
class TUniqueHandle {
public:
    TUniqueHandle() = default;
    explicit TUniqueHandle(T value) noexcept : value_(value) {}
    TUniqueHandle(TUniqueHandle&& other) noexcept : value_(other.release()) {}
    TUniqueHandle& operator=(TUniqueHandle&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    TUniqueHandle(const TUniqueHandle&) = delete;
    TUniqueHandle& operator=(const TUniqueHandle&) = delete;
    ~TUniqueHandle() { reset(); }

    T get() const noexcept { return value_; }
    // Frees what is held, then hands out the slot for an out-parameter.
    T* put() noexcept
    {
        reset();
        return &value_;
    }
    explicit operator bool() const noexcept { return value_ != Invalid; }
    T release() noexcept { return std::exchange(value_, Invalid); }
    void reset(T value = Invalid) noexcept
    {
        // Handed back what it holds, it keeps it rather than freeing it.
        const T old = std::exchange(value_, value);
        if (old != Invalid && old != value)
            Close(old);
    }

private:
    T value_ = Invalid;
};
