#include "MainUnit.h"

#include "Errors.h"

std::wstring CategoryDelimiters;
bool IsWinNT = false;

DWORD QueryPlatformId()
{
    OSVERSIONINFOA info{};
    static_assert(sizeof(info) == 148, "the 8-bit version record is 148 bytes");
    info.dwOSVersionInfoSize = sizeof(info);
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#elif defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    const BOOL ok = GetVersionExA(&info);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    return ok ? info.dwPlatformId : 0;
}

void ApplyPlatformId(DWORD platformId)
{
    switch (platformId) {
    case VER_PLATFORM_WIN32_WINDOWS:
        IsWinNT = false;
        return;
    case VER_PLATFORM_WIN32_NT:
        IsWinNT = true;
        return;
    default:
        throw EAssertionFailed(L"OSVersionInfo.dwPlatformId is invalid", L"Main", 644);
    }
}

void StartMainUnit()
{
    CategoryDelimiters = L";";
    ApplyPlatformId(QueryPlatformId());
}

void StopMainUnit()
{
    CategoryDelimiters.clear();
    CategoryDelimiters.shrink_to_fit();
}
