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

#include "identity/Clouds.h"

#include <optional>
#include <string>

inline constexpr wchar_t kMicrosoft365UserKey[] = L"Software\\Pellorin\\Microsoft365";
inline constexpr wchar_t kMicrosoft365PolicyKey[] = L"Software\\Policies\\Pellorin\\Microsoft365";
// The values read under both keys. The policy templates (packaging/policies)
// offer one policy for each value in kMicrosoft365PolicyValues, and a test
// holds the templates to this list: a value read here goes into it.
inline constexpr wchar_t kTenantIdValue[] = L"TenantId";
inline constexpr wchar_t kClientIdValue[] = L"ClientId";
inline constexpr wchar_t kCloudValue[] = L"Cloud";
inline constexpr const wchar_t* kMicrosoft365PolicyValues[] = {kTenantIdValue, kClientIdValue, kCloudValue};
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
    ECloud Cloud = ECloud::Global;

    std::string SignInScope() const { return CloudSignInScope(Cloud); }

    // Raise ESettingsError for a tenant that is not an id, a domain name,
    // "organizations" or "common": it becomes part of the address.
    std::wstring DeviceCodeUrl() const;
    std::wstring TokenUrl() const;
};

struct TMicrosoft365Overrides {
    std::optional<std::wstring> TenantId;
    std::optional<std::wstring> ClientId;
    std::optional<std::wstring> Cloud = std::nullopt;
};

// Nothing unless both a tenant and a client id are configured, or the build
// carries its maker's application id (see MakerClientId) and the cloud is the
// worldwide one: then the client id defaults to it and the tenant to
// "common", so that anyone, work or personal account, can sign in without
// setup. Blank values count as absent. Raises ESettingsError for a cloud
// that is not served, or personal accounts ("consumers") outside the
// worldwide cloud, which alone serves them:
// https://learn.microsoft.com/graph/deployments
std::optional<TMicrosoft365Settings> ReadMicrosoft365Settings(const TMicrosoft365Overrides& overrides = {});

// The application id the release was built with (PELLORIN_MAKER_CLIENT_ID in
// CMake), empty for a build without one. Tests give one through
// PELLORIN_TEST_MAKER_CLIENT_ID, honoured only while the worldwide login
// address is a loopback stand-in's: a variable set on a user's computer can
// never send a real sign-in to Microsoft under another application.
std::wstring MakerClientId();
