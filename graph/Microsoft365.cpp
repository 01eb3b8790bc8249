#include "graph/Microsoft365.h"

#include "identity/SignInErrors.h"

TMicrosoft365::TMicrosoft365(const THttpClient& http, const TMicrosoft365Overrides& overrides,
                             std::optional<std::wstring> cachePath)
    : http_(http), settings_(ReadMicrosoft365Settings(overrides))
{
    if (!settings_)
        return;
    cache_.emplace(cachePath ? std::move(*cachePath) : TTokenCache::DefaultPath());
    Reload();
}

TMicrosoft365Status TMicrosoft365::Status() const
{
    if (!settings_)
        return TMicrosoft365Status::NotConfigured;
    return signIn_ ? TMicrosoft365Status::SignedIn : TMicrosoft365Status::SignedOut;
}

std::wstring TMicrosoft365::Account() const
{
    return signIn_ ? signIn_->Account : std::wstring();
}

std::wstring TMicrosoft365::MailboxKey() const
{
    return signIn_ ? std::wstring(TMailboxStore::kKeyPrefix) + signIn_->ObjectId : std::wstring();
}

const TMicrosoft365Settings& TMicrosoft365::Configured() const
{
    if (!settings_)
        throw ESettingsError(L"Microsoft 365 is not configured on this computer.");
    return *settings_;
}

void TMicrosoft365::Reload()
{
    signIn_ = cache_ ? CachedSignInFor(*settings_, *cache_) : std::nullopt;
    user_.reset();
}

std::unique_ptr<TMailboxStore> TMicrosoft365::OpenMailbox()
{
    if (!signIn_)
        throw ESignInRequired(TSignedInUser::kSignInFirst);
    try {
        if (!user_)
            user_ = std::make_shared<TSignedInUser>(http_, *settings_, *cache_);
        return std::make_unique<TMailboxStore>(user_, http_, settings_->GraphUrl, user_->Account(), user_->ObjectId());
    } catch (const ESignInRequired&) {
        // The user is offered the sign-in again, whether or not the cache
        // still holds a refresh token Graph will not honour.
        signIn_.reset();
        user_.reset();
        throw;
    }
}

TDeviceCodeSignIn TMicrosoft365::NewSignIn() const
{
    return TDeviceCodeSignIn(http_, Configured(), *cache_);
}

std::unique_ptr<TBackgroundSignIn> TMicrosoft365::StartBackgroundSignIn(std::function<void()> prompted,
                                                                        std::function<void()> finished) const
{
    return std::make_unique<TBackgroundSignIn>(http_, Configured(), *cache_, std::move(prompted), std::move(finished));
}

void TMicrosoft365::SignOut()
{
    if (cache_)
        cache_->Remove();
    signIn_.reset();
    user_.reset();
}
