#include "cli/Microsoft365Verbs.h"

#include "base/Platform.h"
#include "identity/TokenCache.h"

TMicrosoft365Overrides Microsoft365OverridesOf(const TSyncRequest& request)
{
    return {request.TenantId, request.ClientId};
}

void RunSignIn(TMicrosoft365* microsoft365, const std::function<void(const std::wstring&)>& line,
               const std::function<bool(DWORD ms)>& wait)
{
    if (!microsoft365)
        throw EException(kNotConfiguredText);
    TDeviceCodeSignIn flow = microsoft365->NewSignIn();
    const TSignedInAccount account =
        SignInWithDeviceCode(flow, [&](const TDeviceCodePrompt& prompt) { line(prompt.Message); }, wait);
    microsoft365->Reload();
    line(L"Signed in as " + account.Account + L".");
}

void RunSignOut(TMicrosoft365* microsoft365, const std::function<void(const std::wstring&)>& line)
{
    // A sign-in kept from before the configuration went is removed all the same.
    if (microsoft365)
        microsoft365->SignOut();
    else
        TTokenCache(TTokenCache::DefaultPath()).Remove();
    line(L"Signed out of Microsoft 365.");
}

bool NamesMicrosoft365(std::wstring_view storeName)
{
    constexpr std::wstring_view kPrefix = L"Microsoft 365 (";
    return SameTextIgnoringCase(storeName, L"m365") ||
           (storeName.size() > kPrefix.size() && storeName.back() == L')' &&
            SameTextIgnoringCase(storeName.substr(0, kPrefix.size()), kPrefix));
}
