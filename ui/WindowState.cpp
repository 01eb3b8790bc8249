#include "ui/WindowState.h"

#include "categories/ShownText.h"
#include "sources/ProgramSources.h"

TWindowState WindowStateForVersion(const std::string& majorVersion, const std::wstring& reportedVersion)
{
    TWindowState state{};
    // The version is Outlook's own text.
    state.OlVersionText = ShownOnLine(DetectedVersionText(majorVersion, reportedVersion));
    state.StoreInUse = IsStoreInUse(majorVersion);
    state.ShowNoPstUsed = !state.StoreInUse;
    return state;
}

TWindowState WindowStateWithoutOutlook()
{
    return TWindowState{kNoOutlookVersionText, false, false};
}

TWindowState WindowStateWithMailboxAlone()
{
    return TWindowState{kNoOutlookVersionText, true, false};
}
