#include "base/UserMutex.h"

#include "base/Errors.h"
#include "base/PaintingWait.h"

#include <sddl.h>

#include <vector>

namespace {

[[noreturn]] void ThrowLockError(const wchar_t* what, DWORD code)
{
    throw EException(std::wstring(what) + L"\nError Code: " + std::to_wstring(code));
}

}  // namespace

std::wstring CurrentUserSid()
{
    UniqueKernelHandle token;
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) ||
        (!GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size) &&
         GetLastError() != ERROR_INSUFFICIENT_BUFFER))
        ThrowLockError(L"Failed to read the user's SID", GetLastError());
    // DWORD-sized units keep the SID behind the TOKEN_USER aligned.
    std::vector<DWORD> buffer((size + sizeof(DWORD) - 1) / sizeof(DWORD));
    wchar_t* text = nullptr;
    if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size) ||
        !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text))
        ThrowLockError(L"Failed to read the user's SID", GetLastError());
    std::wstring sid = text;
    LocalFree(text);
    return sid;
}

std::wstring TUserMutex::FullName(std::wstring_view name)
{
    return L"Local\\" + std::wstring(name) + L"." + CurrentUserSid();
}

TUserMutex::TUserMutex(std::wstring_view name)
    : handle_(CreateMutexW(nullptr, FALSE, FullName(name).c_str()))
{
    if (!handle_)
        ThrowLockError(L"Failed to create lock", GetLastError());
}

TUserMutex::~TUserMutex()
{
    if (held_)
        ReleaseMutex(handle_.get());
}

bool TUserMutex::Acquire(DWORD ms)
{
    if (held_)
        return true;
    const DWORD result = WaitKeepingWindowsPainted(handle_.get(), ms);
    if (result == WAIT_FAILED)
        ThrowLockError(L"Failed to wait for lock", GetLastError());
    held_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED_0;
    return held_;
}
