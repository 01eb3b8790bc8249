#include "sources/Microsoft365Access.h"

#include "base/Platform.h"
#include "graph/MailboxSource.h"
#include "http/Url.h"
#include "identity/TokenCache.h"

void SignInToMicrosoft365(const TMicrosoft365Overrides& overrides,
                          const std::function<void(const std::wstring&)>& line,
                          const std::function<bool(DWORD ms)>& wait)
{
    TMicrosoft365Setup setup(overrides);
    TMicrosoft365* microsoft365 = setup.Microsoft365();
    if (!microsoft365)
        throw EException(kNotConfiguredText);
    TDeviceCodeSignIn flow = microsoft365->NewSignIn();
    const TSignedInAccount account =
        SignInWithDeviceCode(flow, [&](const TDeviceCodePrompt& prompt) { line(prompt.Message); }, wait);
    microsoft365->Reload();
    line(L"Signed in as " + account.Account + L".");
}

void SignOutOfMicrosoft365(const TMicrosoft365Overrides& overrides,
                           const std::function<void(const std::wstring&)>& line)
{
    TMicrosoft365Setup setup(overrides);
    // A sign-in kept from before the configuration went is removed all the same.
    if (TMicrosoft365* microsoft365 = setup.Microsoft365())
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

bool IsBrowserAddress(const std::wstring& address)
{
    try {
        return ParseAllowedUrl(address).Secure;
    } catch (const EUrlRefused&) {
        return false;
    }
}
