#pragma once
// The user signed in to Microsoft 365 on this computer: the account from the
// token cache, and access tokens from its refresh token. A refreshed token
// replaces the cached one; a refresh token the service no longer accepts
// (invalid_grant) removes the cache, and the user must sign in again.

#include "http/HttpClient.h"
#include "identity/AccessTokenSource.h"
#include "identity/Microsoft365Settings.h"
#include "identity/TokenCache.h"

#include <windows.h>

#include <mutex>
#include <optional>
#include <string>

// The cached sign-in, if it was made with these settings' tenant and app:
// another one's refresh token is of no use with them.
std::optional<TCachedSignIn> CachedSignInFor(const TMicrosoft365Settings& settings, const TTokenCache& cache);

class TSignedInUser : public IAccessTokenSource {
public:
    // Raises ESignInRequired (kSignInFirst) when nobody is signed in with
    // these settings. No request is made until a token is first asked for.
    TSignedInUser(const THttpClient& http, TMicrosoft365Settings settings, TTokenCache cache);

    static constexpr const wchar_t* kSignInFirst = L"Nobody is signed in to Microsoft 365 on this computer.";
    static constexpr const wchar_t* kSignInExpired = L"The sign-in to Microsoft 365 has expired. Sign in again.";
    static constexpr const wchar_t* kSignInRejected = L"Microsoft 365 no longer accepts the sign-in. Sign in again.";

    const std::wstring& Account() const { return account_; }
    const std::wstring& ObjectId() const { return objectId_; }
    // A personal Microsoft account's sign-in, known from its tenant.
    bool IsPersonalAccount() const;
    const TMicrosoft365Settings& Settings() const { return settings_; }

    std::string AccessToken() override;
    std::string RenewAfterRejection(const std::string& rejected) override;

    // Refreshes made so far: for tests and figures.
    int Refreshes() const;

private:
    // Called with the lock held.
    void Refresh();

    const THttpClient& http_;
    const TMicrosoft365Settings settings_;
    const TTokenCache cache_;
    std::wstring account_;
    std::wstring objectId_;
    std::wstring accountTenant_;

    mutable std::mutex mutex_;
    std::string refreshToken_;
    std::string accessToken_;
    ULONGLONG accessExpiresAt_ = 0;
    std::string renewedAfterRejection_;
    int refreshes_ = 0;
};
