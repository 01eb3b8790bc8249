#pragma once
// The Microsoft clouds a sign-in and its Graph calls may go to. A token of
// one cloud is refused by another, so the login and Graph addresses are
// always chosen together, by one name:
// https://learn.microsoft.com/graph/deployments
//
// Tests reach a stand-in instead of Microsoft's hosts:
// - PELLORIN_STANDIN_URL=http://127.0.0.1:PORT puts every cloud's hosts under
//   it as path prefixes: https://graph.microsoft.us becomes
//   http://127.0.0.1:PORT/graph.microsoft.us, so that the stand-in's log shows
//   which host each request was meant for.
// - PELLORIN_LOGIN_URL and PELLORIN_GRAPH_URL, older, replace the worldwide
//   cloud's two addresses alone, and win over PELLORIN_STANDIN_URL there.
// The address rule (TLS, or plain HTTP to this computer alone) applies to them
// all when a request is made, so none can send a sign-in off the machine
// unencrypted.

#include <optional>
#include <string>
#include <string_view>

// The tenant every personal Microsoft account signs in under, the tid of its
// id token: https://learn.microsoft.com/entra/identity-platform/id-token-claims-reference
inline constexpr wchar_t kPersonalAccountsTenant[] = L"9188040d-6c67-4c5b-b112-36a304b66dad";

enum class ECloud { Global, UsGov, UsGovDod };

struct TCloudInfo {
    ECloud Cloud;
    const wchar_t* Name;      // as written in the Cloud value and --cloud
    const wchar_t* LoginUrl;  // Microsoft's own, without a trailing "/"
    const wchar_t* GraphUrl;
    // Personal Microsoft accounts are served by the worldwide cloud alone.
    bool PersonalAccounts;
};

// global, usgov (US Government L4, GCC High) and usgovdod (L5, DoD), from
// https://learn.microsoft.com/graph/deployments
const TCloudInfo& CloudInfo(ECloud cloud);

// The cloud of a Cloud value or --cloud, letter case aside. Raises
// ESettingsError for "china" (Microsoft does not offer the category list in
// the cloud 21Vianet runs) and for any other name.
ECloud ParseCloud(std::wstring_view name);

// The name written in the token cache and in messages.
std::wstring CloudName(ECloud cloud);

// The addresses requests go to, without a trailing "/": Microsoft's own, or a
// stand-in's as described above.
std::wstring CloudLoginUrl(ECloud cloud);
std::wstring CloudGraphUrl(ECloud cloud);

// The delegated scope asked at sign-in: the category list's permission named
// with this cloud's Graph host, and the OpenID ones that return a refresh
// token and the id token the account's name is read from. Personal accounts
// need named scopes, never ".default":
// https://learn.microsoft.com/entra/identity-platform/scopes-oidc
std::string CloudSignInScope(ECloud cloud);
