#pragma once
// Owns one open registry key and closes it on every way out, exceptions included.

#include <windows.h>

class UniqueHkey {
public:
    UniqueHkey() noexcept = default;
    explicit UniqueHkey(HKEY key) noexcept : key_(key) {}
    ~UniqueHkey() { reset(); }

    UniqueHkey(UniqueHkey&& other) noexcept : key_(other.release()) {}
    UniqueHkey& operator=(UniqueHkey&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueHkey(const UniqueHkey&) = delete;
    UniqueHkey& operator=(const UniqueHkey&) = delete;

    HKEY get() const noexcept { return key_; }
    explicit operator bool() const noexcept { return key_ != nullptr; }

    // Closes the key held so far, then hands out the slot for an out-parameter.
    HKEY* put() noexcept
    {
        reset();
        return &key_;
    }

    HKEY release() noexcept
    {
        const HKEY key = key_;
        key_ = nullptr;
        return key;
    }

    void reset(HKEY key = nullptr) noexcept
    {
        if (key_ && !IsPredefined(key_))
            RegCloseKey(key_);
        key_ = key;
    }

private:
    // Opening an empty path below a root may hand back the root's own
    // pseudo-handle, which belongs to the process and is not ours to close.
    static bool IsPredefined(HKEY key) noexcept
    {
        for (const HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
                                HKEY_PERFORMANCE_DATA, HKEY_CURRENT_CONFIG, HKEY_DYN_DATA}) {
            if (key == root)
                return true;
        }
        return false;
    }

    HKEY key_ = nullptr;
};
