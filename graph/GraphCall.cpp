#include "graph/GraphCall.h"

#include "base/PaintingWait.h"
#include "base/Platform.h"
#include "base/WaitLimit.h"
#include "http/Url.h"

#include <algorithm>

namespace {

using nlohmann::json;

constexpr DWORD kLongestBackOffMs = 64'000;

}  // namespace

std::wstring GraphText(const json& object, const char* name)
{
    if (!object.is_object())
        return {};
    const auto found = object.find(name);
    return found != object.end() && found->is_string() ? FromUtf8(found->get<std::string>()) : std::wstring();
}

TGraphCall::TGraphCall(const THttpClient& http, IAccessTokenSource& tokens) : http_(http), tokens_(tokens) {}

TGraphAnswer TGraphCall::Send(const std::wstring& method, const std::wstring& url, const std::string& body)
{
    TThrottleWaits waits(waiter_);
    std::string token = tokens_.AccessToken();
    bool renewed = false;
    for (;;) {
        THttpRequest request{method, url, {{L"Authorization", L"Bearer " + FromUtf8(token)}, {L"Accept", L"application/json"}},
                             body};
        if (!body.empty())
            request.Headers.push_back({L"Content-Type", L"application/json"});
        const THttpResponse response = http_.Send(request);
        Observe(response.Status);
        if (response.Status == 401) {
            // A fresh token turned away too is past renewing: the source says
            // why (sign in again, or the application's credentials).
            const std::string again = tokens_.RenewAfterRejection(token);
            if (!renewed) {
                token = again;
                renewed = true;
                continue;
            }
        } else if (IsThrottled(response.Status)) {
            const auto retryAfter = response.Header(L"Retry-After");
            waits.Wait(retryAfter ? RetryAfterMs(*retryAfter) : std::nullopt);
            continue;
        }
        return {response.Status, json::parse(response.Body, nullptr, false)};
    }
}

void TThrottleWaits::Wait(std::optional<DWORD> retryAfterMs)
{
    const DWORD ms = retryAfterMs ? *retryAfterMs : backOffMs_;
    backOffMs_ = std::min<DWORD>(backOffMs_ * 2, kLongestBackOffMs);
    const ULONGLONG limitMs = static_cast<ULONGLONG>(WaitLimitSeconds()) * 1000;
    if (waitedMs_ + ms > limitMs) {
        throw EGraphError(L"Microsoft 365 stayed busy past the wait of " + std::to_wstring(WaitLimitSeconds()) +
                              L" seconds. Try again later.",
                          0, L"");
    }
    if (waiter_)
        waiter_(ms);
    else
        WaitKeepingWindowsPainted(nullptr, ms);
    waitedMs_ += ms;
}

void TThrottleWaits::Reset()
{
    waitedMs_ = 0;
    backOffMs_ = kFirstBackOffMs;
}

bool IsThrottled(DWORD status)
{
    return status == 429 || status == 503;
}

TGraphErrorText GraphErrorText(const json& body)
{
    const json error = body.is_object() && body.contains("error") ? body["error"] : json();
    return {GraphText(error, "code"), GraphText(error, "message")};
}

EGraphError GraphErrorFrom(DWORD status, const json& body, TPermissionKind permission)
{
    const auto [code, message] = GraphErrorText(body);
    if (status == 403 && code == L"ErrorAccessDenied") {
        return EGraphError(permission == TPermissionKind::Delegated
                               ? L"Microsoft 365 refused access to the category list: the app registration needs "
                                 L"the delegated permission MailboxSettings.ReadWrite."
                               : L"Microsoft 365 refused access to the category list: the application permission "
                                 L"MailboxSettings.ReadWrite needs an administrator's consent.",
                           status, code);
    }
    if (code.empty() && message.empty())
        return EGraphError(L"Microsoft 365 answered HTTP " + std::to_wstring(status) + L".", status, code);
    std::wstring text = L"Microsoft 365 answered " + code;
    if (!code.empty() && !message.empty())
        text += L": ";
    text += message;
    return EGraphError(text, status, code);
}

bool IsOnGraphOrigin(std::wstring_view graphUrl, std::wstring_view link)
{
    try {
        return ParseAllowedUrl(link).Origin() == ParseAllowedUrl(graphUrl).Origin();
    } catch (const EUrlRefused&) {
        return false;
    }
}
