#pragma once
// One authenticated request to Microsoft Graph, the way every caller sends
// one: the bearer token from its source, a token turned away (401) renewed
// once, throttling (429, 503) waited out as Retry-After asks (fractions of a
// second included) within the wait limit (WaitLimitSeconds), and a link Graph
// gives to a next page followed only on Graph's own origin.
// https://learn.microsoft.com/graph/throttling
// https://learn.microsoft.com/graph/paging

#include "base/Errors.h"
#include "http/HttpClient.h"
#include "http/RetryAfter.h"
#include "identity/AccessTokenSource.h"

#include <nlohmann/json.hpp>

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

class EGraphError : public EException {
public:
    EGraphError(std::wstring message, DWORD status, std::wstring code)
        : EException(std::move(message)), status_(status), code_(std::move(code))
    {
    }
    DWORD Status() const noexcept { return status_; }  // 0 where no status applies
    const std::wstring& Code() const noexcept { return code_; }

private:
    DWORD status_;
    std::wstring code_;
};

// Who the missing-permission message speaks to.
enum class TPermissionKind { Delegated, Application };

// Graph's answer once neither a lost token nor throttling stands in the way.
struct TGraphAnswer {
    DWORD Status = 0;
    nlohmann::json Body;  // discarded when the body is not JSON

    bool Succeeded() const { return Status >= 200 && Status < 300; }
};

class TGraphCall {
public:
    TGraphCall(const THttpClient& http, IAccessTokenSource& tokens);

    // Any status but 401 and the throttled ones comes back to the caller,
    // whose failure it is to name. A second 401 is the token source's to
    // judge (it raises when it cannot do better); the request is not sent a
    // third time. Raises EGraphError when throttling outlasts the wait limit.
    TGraphAnswer Send(const std::wstring& method, const std::wstring& url, const std::string& body = {});

    // Told the status of every answer as it comes, on the calling thread.
    void ObserveAnswers(std::function<void(DWORD status)> observer) { observer_ = std::move(observer); }
    // Does the waiting instead of the call, which otherwise keeps windows painted.
    void WaitWith(std::function<void(DWORD ms)> waiter) { waiter_ = std::move(waiter); }

    void Observe(DWORD status) const
    {
        if (observer_)
            observer_(status);
    }
    const std::function<void(DWORD)>& Waiter() const { return waiter_; }

private:
    const THttpClient& http_;
    IAccessTokenSource& tokens_;
    std::function<void(DWORD)> observer_;
    std::function<void(DWORD)> waiter_;
};

// The waits a throttled call spends before it goes on, kept within the wait
// limit as a busy Outlook's are; without a Retry-After, an exponential
// back-off. Graph throttles a batch's requests one by one, so a batch waits
// with one of these as well.
class TThrottleWaits {
public:
    static constexpr DWORD kFirstBackOffMs = 1'000;

    explicit TThrottleWaits(const std::function<void(DWORD)>& waiter) : waiter_(waiter) {}

    // Raises EGraphError once the waits would outlast the wait limit.
    void Wait(std::optional<DWORD> retryAfterMs);
    // Something got through: the next throttling starts a wait of its own.
    void Reset();

private:
    const std::function<void(DWORD)>& waiter_;
    ULONGLONG waitedMs_ = 0;
    DWORD backOffMs_ = kFirstBackOffMs;
};

bool IsThrottled(DWORD status);

// A string member of a JSON object; empty where there is none.
std::wstring GraphText(const nlohmann::json& object, const char* name);

// The code and message of Graph's error body; empty where it has none.
struct TGraphErrorText {
    std::wstring Code;
    std::wstring Message;
};
TGraphErrorText GraphErrorText(const nlohmann::json& body);

// The failure a status and error body stand for, as the user reads it.
EGraphError GraphErrorFrom(DWORD status, const nlohmann::json& body, TPermissionKind permission);

// Whether link lies on graphUrl's origin: scheme, host and port, as a server
// compares them, never as text. Only there may a request carry the token.
// A link the program may not follow at all is on no one's origin.
bool IsOnGraphOrigin(std::wstring_view graphUrl, std::wstring_view link);
