#pragma once
// PellorinSync and Microsoft 365: signin and signout, and what the other verbs
// ask of the signed-in mailbox.

#include "cli/SyncCommandLine.h"
#include "graph/MailboxSource.h"

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

inline constexpr wchar_t kSignInFirstText[] = L"Sign in to Microsoft 365 first: PellorinSync signin.";
inline constexpr wchar_t kNotConfiguredText[] =
    L"Microsoft 365 is not configured on this computer: give --tenant and --client-id, or set TenantId and "
    L"ClientId under HKEY_CURRENT_USER\\Software\\Pellorin\\Microsoft365.";

// --tenant and --client-id.
TMicrosoft365Overrides Microsoft365OverridesOf(const TSyncRequest& request);

// The device flow. line(text) is told the service's message as it gave it,
// then "Signed in as NAME."; wait(ms) pauses between polls. Raises EException
// with kNotConfiguredText where nothing is configured, ESignInFailed when the
// sign-in ends without an account.
void RunSignIn(TMicrosoft365* microsoft365, const std::function<void(const std::wstring&)>& line,
               const std::function<bool(DWORD ms)>& wait);
// Removes the sign-in kept for this Windows user, configured or not, and says
// so; nothing is sent.
void RunSignOut(TMicrosoft365* microsoft365, const std::function<void(const std::wstring&)>& line);

// Whether a --store name asks for the Microsoft 365 mailbox: "m365", or a name
// of the form its entry has, "Microsoft 365 (...)"; letter case ignored.
bool NamesMicrosoft365(std::wstring_view storeName);
