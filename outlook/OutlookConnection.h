#pragma once
// The one link to Outlook: attach to a running Outlook or start one, take its
// MAPI namespace and read its version. Outlook is never told to quit.

#include "outlook/AutomationValue.h"
#include "outlook/LateBound.h"

#include <string>
#include <string_view>

struct TOutlookConnection {
    TAutomationValue OutlookApp;
    TAutomationValue OutlookNamespace;
    // The version text before its first "."; empty when there is none.
    std::string OutlookMajorVersion;
    // The full version text Outlook reported, for display.
    std::wstring OutlookVersion;
    // What this Outlook answered to name lookups; valid only for its life.
    TMemberIds MemberIds;
};

// On failure the connection keeps what was set before the failing step. A
// running Outlook whose first call fails as from one that is gone (a killed
// Outlook's entry left behind) is passed over, and Outlook started, once.
// Tests pass a ProgID of their own so that they never reach a real Outlook.
void OpenOutlookConnection(TOutlookConnection& connection,
                           std::wstring_view progId = L"Outlook.Application");
// Releases OutlookApp, then OutlookNamespace; no call to Outlook. The stores
// read through the connection hold references of their own.
void CloseOutlookConnection(TOutlookConnection& connection);

// A call on one of the connection's objects, through the identifiers it keeps.
TAutomationValue OutlookGet(TOutlookConnection& connection, TOutlookObject object, const TAutomationValue& target,
                            std::wstring_view member, TCallKind kind = TCallKind::Method,
                            const TCallArgument& argument = {});

// "Outlook version detected: Outlook 2010", or empty for a version without a row.
std::wstring OutlookVersionText(const std::string& majorVersion);
// The same, or for a version without a row what Outlook reported, so that the
// user always sees which Outlook was found.
std::wstring DetectedVersionText(const std::string& majorVersion, const std::wstring& reportedVersion);
// Outlook 2007 to Microsoft 365 (12, 14, 15, 16) keep their categories in the store.
bool IsStoreInUse(const std::string& majorVersion);
// Outlook 2010 and later (14, 15, 16) keep one list per store of the profile.
bool KeepsListPerStore(const std::string& majorVersion);
// What the front ends show where no classic Outlook could be opened.
inline constexpr wchar_t kNoOutlookVersionText[] = L"Outlook version detected: none";
// What the user is told of any other version, by every front end alike.
inline constexpr wchar_t kStoreNotInUseText[] = L"Your version of Outlook is not using the PST to store categories.";
