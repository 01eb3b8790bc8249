#include "ui/WindowState.h"

#include "outlook/OutlookConnection.h"

TWindowState WindowStateForVersion(const std::string& majorVersion, const std::wstring& reportedVersion)
{
    TWindowState state{};
    state.OlVersionText = OutlookVersionText(majorVersion);
    if (state.OlVersionText.empty())
        state.OlVersionText = L"Outlook version detected: " + reportedVersion;
    state.StoreInUse = IsStoreInUse(majorVersion);
    state.ShowNoPstUsed = !state.StoreInUse;
    return state;
}

TWindowState WindowStateWithoutOutlook()
{
    return TWindowState{L"Outlook version detected: none", false, false};
}
