#pragma once
// Signing in with the device authorization grant: the user opens the address
// shown, types the code, and signs in there; meanwhile the program polls the
// token endpoint. Success puts the refresh token into the token cache.
//
// Three ways to drive it: Start and Poll one step at a time; SignInWithDeviceCode
// on one thread, for the console; TBackgroundSignIn, a worker thread with a
// cancel event, for a window that must keep painting and offer Cancel.

#include "base/UniqueHandle.h"
#include "http/HttpClient.h"
#include "identity/Microsoft365Settings.h"
#include "identity/TokenCache.h"

#include <windows.h>

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

struct TOAuthAnswer;

struct TDeviceCodePrompt {
    std::wstring Message;  // the service's instructions, to be shown exactly as given
    std::wstring UserCode;
    std::wstring VerificationUri;
    int IntervalSeconds = 5;
    int ExpiresInSeconds = 900;
};

struct TSignedInAccount {
    std::wstring Account;   // preferred_username, for display only
    std::wstring ObjectId;  // oid
};

class TDeviceCodeSignIn {
public:
    static constexpr const wchar_t* kDeclined = L"The sign-in to Microsoft 365 was declined.";
    static constexpr const wchar_t* kExpired = L"The sign-in code has expired. Sign in again.";
    static constexpr const wchar_t* kBadCode = L"Microsoft 365 did not recognise the sign-in code. Sign in again.";
    static constexpr const wchar_t* kNoRefreshToken =
        L"Microsoft 365 gave no refresh token: the app registration needs the permission offline_access.";
    static constexpr const wchar_t* kNoAccountId = L"Microsoft 365 named no account for the sign-in.";

    TDeviceCodeSignIn(const THttpClient& http, TMicrosoft365Settings settings, TTokenCache cache);

    // Asks for a code. Raises ESignInFailed with the service's description
    // (an unknown app, public client flows not allowed), EHttpError, or
    // ESettingsError for an unusable tenant.
    const TDeviceCodePrompt& Start();
    // One poll. Nothing while the user has not finished: wait NextPollMs()
    // before the next. The account once signed in, saved in the cache.
    // Raises ESignInFailed when the sign-in ended any other way.
    std::optional<TSignedInAccount> Poll();
    DWORD NextPollMs() const { return static_cast<DWORD>(intervalSeconds_) * 1000; }

private:
    TSignedInAccount Finish(const TOAuthAnswer& answer);

    const THttpClient& http_;
    const TMicrosoft365Settings settings_;
    const TTokenCache cache_;
    TDeviceCodePrompt prompt_;
    std::string deviceCode_;
    int intervalSeconds_ = 5;
    ULONGLONG expiresAt_ = 0;
};

// Starts the flow, shows the prompt once, and polls until it ends. wait(ms)
// pauses between polls and answers false when the user cancelled; then
// ESignInCancelled is raised and nothing is saved.
TSignedInAccount SignInWithDeviceCode(TDeviceCodeSignIn& flow,
                                      const std::function<void(const TDeviceCodePrompt&)>& show,
                                      const std::function<bool(DWORD ms)>& wait);

// The whole flow on a thread of its own. prompted runs once the code is
// there, finished once the flow has ended either way; both run on the worker
// thread, so a window posts itself a message from them and reads Prompt and
// Outcome on its own thread. Cancel (or the destructor) stops the polling at
// once; a request under way is let finish.
class TBackgroundSignIn {
public:
    TBackgroundSignIn(const THttpClient& http, TMicrosoft365Settings settings, TTokenCache cache,
                      std::function<void()> prompted, std::function<void()> finished);
    ~TBackgroundSignIn();
    TBackgroundSignIn(const TBackgroundSignIn&) = delete;
    TBackgroundSignIn& operator=(const TBackgroundSignIn&) = delete;

    void Cancel();
    std::optional<TDeviceCodePrompt> Prompt() const;

    struct TOutcome {
        std::optional<TSignedInAccount> Account;  // signed in
        std::wstring Error;                       // why not, when not
        bool Cancelled = false;
    };
    // Nothing until finished has run.
    std::optional<TOutcome> Outcome() const;

private:
    void Run(std::function<void()> prompted, std::function<void()> finished);

    TDeviceCodeSignIn flow_;
    UniqueKernelHandle cancel_;
    mutable std::mutex mutex_;
    std::optional<TDeviceCodePrompt> prompt_;
    std::optional<TOutcome> outcome_;
    std::thread thread_;
};
