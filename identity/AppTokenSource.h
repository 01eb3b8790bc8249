#pragma once
// Access tokens for Microsoft Graph with no user present: the identity
// platform's client-credentials grant, the app proving itself with its
// certificate (a client assertion) or with a client secret. One token serves
// every thread and is renewed before it expires.
// https://learn.microsoft.com/entra/identity-platform/v2-oauth2-client-creds-grant-flow

#include "http/HttpClient.h"
#include "identity/AccessTokenSource.h"
#include "identity/AppCertificate.h"
#include "identity/CredentialError.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

inline constexpr wchar_t kDefaultLoginBase[] = L"https://login.microsoftonline.com";
inline constexpr char kGraphDefaultScope[] = "https://graph.microsoft.com/.default";

// Graph answered 403 to the application: a permission it needs has no admin
// consent. The run stops before it changes anything.
class EConsentMissing : public ECredentialError {
public:
    explicit EConsentMissing(std::wstring_view permission);
};

// How the app proves itself: with its certificate, or with the client secret
// held in an environment variable, which is read again for each request and
// never kept.
class TAppCredential {
public:
    static TAppCredential Certificate(std::shared_ptr<const TAppCertificate> certificate);
    static TAppCredential SecretInVariable(std::wstring variable);

    const TAppCertificate* CertificateOrNull() const { return certificate_.get(); }
    const std::wstring& SecretVariable() const { return secretVariable_; }

private:
    std::shared_ptr<const TAppCertificate> certificate_;
    std::wstring secretVariable_;
};

struct TAppSignIn {
    std::wstring LoginBase = kDefaultLoginBase;
    // The organisation's tenant id or one of its domains.
    std::wstring Tenant;
    // The app registration's Application (client) ID.
    std::wstring ClientId;
    // What the token is for: its cloud's Graph.
    std::string Scope = kGraphDefaultScope;
};

// Raises ECredentialError for a tenant or client id that cannot be one: they
// go into the sign-in address and the request as they are.
void CheckAppSignIn(const TAppSignIn& signIn);

class TAppTokenSource : public IAccessTokenSource {
public:
    TAppTokenSource(const THttpClient& http, TAppSignIn signIn, TAppCredential credential);

    // A token with some life left: the one held, or a new one. Raises
    // ECredentialError when the platform refuses the app's credentials,
    // EException when it cannot be reached after a few tries.
    std::string AccessToken() override;
    // Graph turned this token away (401): a new one, or the one another
    // thread got meanwhile. Raises ECredentialError when Graph turns away a
    // token that was itself fetched after a rejection.
    std::string RenewAfterRejection(const std::string& rejected) override;

    std::uint64_t TokensRequested() const;
    std::wstring TokenEndpoint() const;

    // Does the waiting before a token request is tried again, as Retry-After
    // or the back-off asks, instead of Sleep: for a caller that keeps windows
    // painted, or one that must see how long each wait was.
    void WaitWith(std::function<void(DWORD ms)> waiter) { waiter_ = std::move(waiter); }

private:
    std::string RequestToken(std::uint64_t& lifetimeMs);
    std::string CurrentOrNew();

    const THttpClient& http_;
    TAppSignIn signIn_;
    TAppCredential credential_;
    mutable std::mutex mutex_;
    std::string token_;
    std::uint64_t fetchedAfterRejection_ = 0;  // when token_ replaced one Graph turned away; 0: it did not
    std::uint64_t renewAt_ = 0;  // GetTickCount64
    std::uint64_t requested_ = 0;
    std::function<void(DWORD ms)> waiter_;
};
