#pragma once
// Signing in to and out of Microsoft 365, for PellorinSync's signin and
// signout and the window's sign-in dialog, and the names a script gives the
// mailbox.

#include "identity/DeviceCodeSignIn.h"
#include "identity/Microsoft365Settings.h"

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

inline constexpr wchar_t kNotConfiguredText[] =
    L"Microsoft 365 is not configured on this computer: give --tenant and --client-id, or set TenantId and "
    L"ClientId under HKEY_CURRENT_USER\\Software\\Pellorin\\Microsoft365.";

// The device flow. line(text) is told the service's message as it gave it,
// then "Signed in as NAME."; wait(ms) pauses between polls. Raises EException
// with kNotConfiguredText where nothing is configured, ESignInFailed when the
// sign-in ends without an account.
void SignInToMicrosoft365(const TMicrosoft365Overrides& overrides,
                          const std::function<void(const std::wstring&)>& line,
                          const std::function<bool(DWORD ms)>& wait);
// Removes the sign-in kept for this Windows user, configured or not, and says
// so; nothing is sent.
void SignOutOfMicrosoft365(const TMicrosoft365Overrides& overrides,
                           const std::function<void(const std::wstring&)>& line);

// Whether a --store name asks for the Microsoft 365 mailbox: "m365", or a name
// of the form its entry has, "Microsoft 365 (...)"; letter case ignored.
bool NamesMicrosoft365(std::wstring_view storeName);

// Only an https:// address is offered to the browser: the sign-in's address
// comes from a server, and the shell would open anything it names.
bool IsBrowserAddress(const std::wstring& address);
