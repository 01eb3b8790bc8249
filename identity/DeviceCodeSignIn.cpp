#include "identity/DeviceCodeSignIn.h"

#include "identity/IdToken.h"
#include "identity/SignInErrors.h"
#include "identity/TokenEndpoint.h"

#include <algorithm>

namespace {

constexpr char kDeviceCodeGrant[] = "urn:ietf:params:oauth:grant-type:device_code";
// RFC 8628: without an interval, 5 s; slow_down adds 5 s for good.
constexpr int kDefaultIntervalSeconds = 5;
constexpr int kSlowDownSeconds = 5;
// Never hammer the service, whatever interval it names.
constexpr int kMinIntervalSeconds = 1;

int ClampedSeconds(long long value, int fallback, int low, int high)
{
    if (value <= 0)
        return fallback;
    return static_cast<int>(std::clamp<long long>(value, low, high));
}

}  // namespace

TDeviceCodeSignIn::TDeviceCodeSignIn(const THttpClient& http, TMicrosoft365Settings settings, TTokenCache cache)
    : http_(http), settings_(std::move(settings)), cache_(std::move(cache))
{
}

const TDeviceCodePrompt& TDeviceCodeSignIn::Start()
{
    const TOAuthAnswer answer = PostForm(http_, settings_.DeviceCodeUrl(),
                                         {{"client_id", ToUtf8(settings_.ClientId)}, {"scope", settings_.SignInScope()}});
    if (!answer.Ok())
        throw ESignInFailed(L"Microsoft 365 did not start the sign-in: " + answer.Description);
    deviceCode_ = answer.Text("device_code");
    if (deviceCode_.empty())
        throw ESignInFailed(L"Microsoft 365 did not start the sign-in: its answer held no device code.");
    prompt_.UserCode = FromUtf8(answer.Text("user_code"));
    prompt_.VerificationUri = FromUtf8(answer.Text("verification_uri"));
    prompt_.Message = FromUtf8(answer.Text("message"));
    if (prompt_.Message.empty())
        prompt_.Message = L"To sign in, open " + prompt_.VerificationUri + L" and enter the code " + prompt_.UserCode + L".";
    prompt_.IntervalSeconds =
        ClampedSeconds(answer.Number("interval", 0), kDefaultIntervalSeconds, kMinIntervalSeconds, 60);
    prompt_.ExpiresInSeconds = ClampedSeconds(answer.Number("expires_in", 0), 900, 1, 24 * 3600);
    intervalSeconds_ = prompt_.IntervalSeconds;
    expiresAt_ = GetTickCount64() + static_cast<ULONGLONG>(prompt_.ExpiresInSeconds) * 1000;
    return prompt_;
}

std::optional<TSignedInAccount> TDeviceCodeSignIn::Poll()
{
    if (deviceCode_.empty())
        throw ESignInFailed(kBadCode);
    if (GetTickCount64() >= expiresAt_)
        throw ESignInFailed(kExpired);
    const TOAuthAnswer answer = PostForm(
        http_, settings_.TokenUrl(),
        {{"grant_type", kDeviceCodeGrant}, {"client_id", ToUtf8(settings_.ClientId)}, {"device_code", deviceCode_}});
    if (answer.Ok())
        return Finish(answer);
    if (answer.Error == "authorization_pending")
        return std::nullopt;
    if (answer.Error == "slow_down") {
        intervalSeconds_ += kSlowDownSeconds;
        return std::nullopt;
    }
    deviceCode_.clear();
    if (answer.Error == "authorization_declined")
        throw ESignInFailed(kDeclined);
    if (answer.Error == "expired_token")
        throw ESignInFailed(kExpired);
    if (answer.Error == "bad_verification_code")
        throw ESignInFailed(kBadCode);
    throw ESignInFailed(L"The sign-in to Microsoft 365 failed: " + answer.Description);
}

TSignedInAccount TDeviceCodeSignIn::Finish(const TOAuthAnswer& answer)
{
    deviceCode_.clear();
    const TTokenGrant grant = ReadTokenGrant(answer);
    if (grant.RefreshToken.empty())
        throw ESignInFailed(kNoRefreshToken);
    const auto claims = ReadIdTokenClaims(grant.IdToken);
    if (!claims || claims->ObjectId.empty())
        throw ESignInFailed(kNoAccountId);
    TSignedInAccount account{claims->PreferredUsername, claims->ObjectId};
    cache_.Save({account.Account, account.ObjectId, settings_.TenantId, settings_.ClientId, grant.RefreshToken,
                 CloudName(settings_.Cloud), claims->TenantId});
    return account;
}

TSignedInAccount SignInWithDeviceCode(TDeviceCodeSignIn& flow,
                                      const std::function<void(const TDeviceCodePrompt&)>& show,
                                      const std::function<bool(DWORD ms)>& wait)
{
    show(flow.Start());
    for (;;) {
        if (!wait(flow.NextPollMs()))
            throw ESignInCancelled();
        if (auto account = flow.Poll())
            return *account;
    }
}

TBackgroundSignIn::TBackgroundSignIn(const THttpClient& http, TMicrosoft365Settings settings, TTokenCache cache,
                                     std::function<void()> prompted, std::function<void()> finished)
    : flow_(http, std::move(settings), std::move(cache)), cancel_(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    if (!cancel_)
        throw EException(L"The sign-in could not be started: no event for its Cancel.");
    thread_ = std::thread(&TBackgroundSignIn::Run, this, std::move(prompted), std::move(finished));
}

TBackgroundSignIn::~TBackgroundSignIn()
{
    Cancel();
    if (thread_.joinable())
        thread_.join();
}

void TBackgroundSignIn::Cancel()
{
    SetEvent(cancel_.get());
}

std::optional<TDeviceCodePrompt> TBackgroundSignIn::Prompt() const
{
    std::lock_guard lock(mutex_);
    return prompt_;
}

std::optional<TBackgroundSignIn::TOutcome> TBackgroundSignIn::Outcome() const
{
    std::lock_guard lock(mutex_);
    return outcome_;
}

void TBackgroundSignIn::Run(std::function<void()> prompted, std::function<void()> finished)
{
    TOutcome outcome;
    try {
        outcome.Account = SignInWithDeviceCode(
            flow_,
            [&](const TDeviceCodePrompt& prompt) {
                {
                    std::lock_guard lock(mutex_);
                    prompt_ = prompt;
                }
                if (prompted)
                    prompted();
            },
            [&](DWORD ms) { return WaitForSingleObject(cancel_.get(), ms) == WAIT_TIMEOUT; });
    } catch (const ESignInCancelled& e) {
        outcome.Cancelled = true;
        outcome.Error = e.Message();
    } catch (...) {
        outcome.Error = CurrentExceptionMessage();
    }
    {
        std::lock_guard lock(mutex_);
        outcome_ = std::move(outcome);
    }
    // Nothing may leave a thread's function but through its end.
    try {
        if (finished)
            finished();
    } catch (...) {
    }
}
