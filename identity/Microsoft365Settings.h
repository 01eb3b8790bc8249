#pragma once
// Where Microsoft 365 is configured: the tenant and the client id of the app
// registration, from HKEY_LOCAL_MACHINE\Software\Policies\Pellorin\Microsoft365
// (each value there wins, so that administrators can deploy it by policy) or
// else HKEY_CURRENT_USER\Software\Pellorin\Microsoft365, and the caller's own
// values over both. Unconfigured, nothing is sent anywhere.
//
// Tests point the login and Graph addresses at a stand-in through the
// environment variables PELLORIN_LOGIN_URL and PELLORIN_GRAPH_URL, which leave
// nothing behind in a user's registry; the address rule applies to them too.

#include <optional>
#include <string>

inline constexpr wchar_t kMicrosoft365UserKey[] = L"Software\\Pellorin\\Microsoft365";
inline constexpr wchar_t kMicrosoft365PolicyKey[] = L"Software\\Policies\\Pellorin\\Microsoft365";
// The values read under both keys. The policy templates (packaging/policies)
// offer one policy for each value in kMicrosoft365PolicyValues, and a test
// holds the templates to this list: a value read here goes into it.
inline constexpr wchar_t kTenantIdValue[] = L"TenantId";
inline constexpr wchar_t kClientIdValue[] = L"ClientId";
inline constexpr const wchar_t* kMicrosoft365PolicyValues[] = {kTenantIdValue, kClientIdValue};
inline constexpr wchar_t kDefaultLoginUrl[] = L"https://login.microsoftonline.com";
inline constexpr wchar_t kDefaultGraphUrl[] = L"https://graph.microsoft.com";

// The delegated permissions asked at sign-in; Graph's category calls need the first.
inline constexpr char kSignInScope[] =
    "https://graph.microsoft.com/MailboxSettings.ReadWrite offline_access openid profile";

struct TMicrosoft365Settings {
    std::wstring TenantId;
    std::wstring ClientId;
    std::wstring LoginUrl = kDefaultLoginUrl;
    std::wstring GraphUrl = kDefaultGraphUrl;

    // Raise ESettingsError for a tenant that is not an id, a domain name,
    // "organizations" or "common": it becomes part of the address.
    std::wstring DeviceCodeUrl() const;
    std::wstring TokenUrl() const;
};

struct TMicrosoft365Overrides {
    std::optional<std::wstring> TenantId;
    std::optional<std::wstring> ClientId;
};

// Nothing unless both a tenant and a client id are configured. Blank values
// count as absent.
std::optional<TMicrosoft365Settings> ReadMicrosoft365Settings(const TMicrosoft365Overrides& overrides = {});

// The login and Graph addresses without a trailing "/": Microsoft's own, or a
// stand-in's from PELLORIN_LOGIN_URL and PELLORIN_GRAPH_URL. Also for an
// application's sign-in, which needs no configured tenant or app.
std::wstring Microsoft365LoginUrl();
std::wstring Microsoft365GraphUrl();
