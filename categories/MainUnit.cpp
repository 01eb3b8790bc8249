#include "MainUnit.h"

#include "base/Errors.h"
#include "base/Platform.h"
#include "base/UnicoWS.h"

std::wstring CategoryDelimiters;
bool IsWinNT = false;

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
    // A failed query leaves the record zeroed, which is no platform we know.
    ApplyPlatformId(QueryPlatformId().value_or(0));
}

void StopMainUnit()
{
    CategoryDelimiters.clear();
    CategoryDelimiters.shrink_to_fit();
}

int RunWithProgramUnits(const std::function<int()>& run, const std::function<int()>& startFailed)
{
    try {
        StartMainUnit();
    } catch (...) {
        StopMainUnit();
        return startFailed();
    }
    StartUnicodeLayer(IsWinNT);
    struct TShutdown {
        ~TShutdown()
        {
            StopMainUnit();
            StopUnicodeLayer();
        }
    } shutdown;
    return run();
}
