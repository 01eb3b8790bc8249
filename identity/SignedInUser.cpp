#include "identity/SignedInUser.h"

#include "base/Platform.h"
#include "identity/SignInErrors.h"
#include "identity/TokenEndpoint.h"

#include <algorithm>

namespace {

// Tokens this close to their end are renewed first: a request may take a while.
constexpr ULONGLONG kRenewBeforeMs = 120'000;

}  // namespace

std::optional<TCachedSignIn> CachedSignInFor(const TMicrosoft365Settings& settings, const TTokenCache& cache)
{
    auto signIn = cache.Load();
    if (!signIn || signIn->ClientId != settings.ClientId || !SameTextIgnoringCase(signIn->TenantId, settings.TenantId) ||
        !SameTextIgnoringCase(signIn->Cloud, CloudName(settings.Cloud)))
        return std::nullopt;
    return signIn;
}

TSignedInUser::TSignedInUser(const THttpClient& http, TMicrosoft365Settings settings, TTokenCache cache)
    : http_(http), settings_(std::move(settings)), cache_(std::move(cache))
{
    auto signIn = CachedSignInFor(settings_, cache_);
    if (!signIn)
        throw ESignInRequired(kSignInFirst);
    account_ = std::move(signIn->Account);
    objectId_ = std::move(signIn->ObjectId);
    accountTenant_ = std::move(signIn->AccountTenant);
    refreshToken_ = std::move(signIn->RefreshToken);
}

bool TSignedInUser::IsPersonalAccount() const
{
    return SameTextIgnoringCase(accountTenant_, kPersonalAccountsTenant);
}

int TSignedInUser::Refreshes() const
{
    std::lock_guard lock(mutex_);
    return refreshes_;
}

std::string TSignedInUser::AccessToken()
{
    std::lock_guard lock(mutex_);
    if (accessToken_.empty() || GetTickCount64() + kRenewBeforeMs >= accessExpiresAt_)
        Refresh();
    return accessToken_;
}

std::string TSignedInUser::RenewAfterRejection(const std::string& rejected)
{
    std::lock_guard lock(mutex_);
    if (!accessToken_.empty() && accessToken_ != rejected)
        return accessToken_;
    // A token fetched because the last one was turned away, and turned away
    // in its turn: the sign-in itself is what Graph no longer accepts.
    if (!renewedAfterRejection_.empty() && renewedAfterRejection_ == rejected)
        throw ESignInRequired(kSignInRejected);
    Refresh();
    renewedAfterRejection_ = accessToken_;
    return accessToken_;
}

void TSignedInUser::Refresh()
{
    if (refreshToken_.empty())
        throw ESignInRequired(kSignInExpired);
    const TOAuthAnswer answer = PostForm(http_, settings_.TokenUrl(),
                                         {{"client_id", ToUtf8(settings_.ClientId)},
                                          {"grant_type", "refresh_token"},
                                          {"refresh_token", refreshToken_},
                                          {"scope", settings_.SignInScope()}});
    if (answer.Error == "invalid_grant") {
        refreshToken_.clear();
        accessToken_.clear();
        cache_.Remove();
        throw ESignInRequired(kSignInExpired);
    }
    if (!answer.Ok())
        throw ESignInFailed(L"Microsoft 365 did not renew the sign-in: " + answer.Description);
    TTokenGrant grant = ReadTokenGrant(answer);
    ++refreshes_;
    accessToken_ = std::move(grant.AccessToken);
    accessExpiresAt_ = GetTickCount64() + static_cast<ULONGLONG>(std::max(grant.ExpiresInSeconds, 0LL)) * 1000;
    if (!grant.RefreshToken.empty() && grant.RefreshToken != refreshToken_) {
        refreshToken_ = std::move(grant.RefreshToken);
        // The service may already have retired the old refresh token.
        cache_.Save({account_, objectId_, settings_.TenantId, settings_.ClientId, refreshToken_,
                     CloudName(settings_.Cloud), accountTenant_});
    }
}
