#pragma once
// A named mutex of the user's own, shared by every program the user runs in
// the session: it lives in the session's "Local" namespace and its name holds
// the user's SID, so that another user's programs (on a terminal server, or
// run as another user) neither share it nor block it.

#include "base/UniqueHandle.h"

#include <windows.h>

#include <string>
#include <string_view>

// The SID of the user the process runs as, such as "S-1-5-21-...-1001".
std::wstring CurrentUserSid();

class TUserMutex {
public:
    // Local\<name>.<SID>. Raises EException when it cannot be opened.
    explicit TUserMutex(std::wstring_view name);
    TUserMutex(const TUserMutex&) = delete;
    TUserMutex& operator=(const TUserMutex&) = delete;
    // Released by the thread that acquired it, which must be the one that ends it.
    ~TUserMutex();

    static std::wstring FullName(std::wstring_view name);

    // Waits up to ms, windows painted; true once the calling thread holds it.
    // A mutex whose holder ended without releasing it (abandoned: a program
    // that was killed) is then held by the caller too.
    bool Acquire(DWORD ms);

private:
    UniqueKernelHandle handle_;
    bool held_ = false;
};
