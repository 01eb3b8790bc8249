#include "graph/GraphCategories.h"

#include "base/PaintingWait.h"
#include "base/Platform.h"
#include "base/WaitLimit.h"
#include "http/Url.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <deque>
#include <map>

namespace {

using nlohmann::json;

constexpr wchar_t kVersion[] = L"/v1.0";
// Far beyond any category list, short of following a server's loop forever.
constexpr int kMaxPages = 10'000;
// Throttled without a Retry-After: Graph asks for exponential back-off.
constexpr DWORD kFirstBackOffMs = 1'000;

std::wstring Text(const json& object, const char* name)
{
    if (!object.is_object())
        return {};
    const auto found = object.find(name);
    return found != object.end() && found->is_string() ? FromUtf8(found->get<std::string>()) : std::wstring();
}

std::string Dump(const json& value)
{
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// Lone surrogates would reach Graph as U+FFFD: a name other than the one asked.
bool IsValidUtf16(std::wstring_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
                return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

TGraphCategory CategoryFrom(const json& object)
{
    return {Text(object, "id"), Text(object, "displayName"), Text(object, "color")};
}

EGraphError ErrorFrom(DWORD status, const json& body, TPermissionKind permission)
{
    const json error = body.is_object() && body.contains("error") ? body["error"] : json();
    const std::wstring code = Text(error, "code");
    const std::wstring message = Text(error, "message");
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

bool IsThrottled(DWORD status)
{
    return status == 429 || status == 503;
}

// The waits a throttled call spends before it goes on, kept within the wait
// limit as a busy Outlook's are.
class TThrottleWaits {
public:
    explicit TThrottleWaits(const std::function<void(DWORD)>& waiter) : waiter_(waiter) {}

    void Wait(std::optional<DWORD> retryAfterMs)
    {
        const DWORD ms = retryAfterMs ? *retryAfterMs : backOffMs_;
        backOffMs_ = std::min<DWORD>(backOffMs_ * 2, 64'000);
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
    // Something got through: the next throttling starts a wait of its own.
    void Reset()
    {
        waitedMs_ = 0;
        backOffMs_ = kFirstBackOffMs;
    }

private:
    const std::function<void(DWORD)>& waiter_;
    ULONGLONG waitedMs_ = 0;
    DWORD backOffMs_ = kFirstBackOffMs;
};

std::optional<DWORD> InnerRetryAfterMs(const json& response)
{
    const auto headers = response.find("headers");
    if (headers == response.end() || !headers->is_object())
        return std::nullopt;
    for (const auto& [name, value] : headers->items()) {
        if (!SameTextIgnoringCase(FromUtf8(name), L"Retry-After"))
            continue;
        if (value.is_string())
            return RetryAfterMs(FromUtf8(value.get<std::string>()));
        if (value.is_number())
            return RetryAfterMs(std::to_wstring(value.get<double>()));
    }
    return std::nullopt;
}

}  // namespace

std::optional<DWORD> RetryAfterMs(std::wstring_view value)
{
    while (!value.empty() && value.front() == L' ')
        value.remove_prefix(1);
    while (!value.empty() && value.back() == L' ')
        value.remove_suffix(1);
    if (value.empty() || value.size() > 16)
        return std::nullopt;
    double seconds = 0;
    double scale = 0;
    for (const wchar_t c : value) {
        if (c == L'.' && scale == 0) {
            scale = 1;
        } else if (c >= L'0' && c <= L'9') {
            if (scale == 0) {
                seconds = seconds * 10 + (c - L'0');
            } else {
                scale /= 10;
                seconds += (c - L'0') * scale;
            }
        } else {
            return std::nullopt;
        }
    }
    // A day is past any wait limit; the cap keeps the sum within a DWORD.
    return static_cast<DWORD>(std::min(seconds, 86'400.0) * 1000 + 0.5);
}

std::wstring SignedInMailbox()
{
    return L"/me";
}

std::wstring UserMailbox(std::wstring_view idOrPrincipalName)
{
    return L"/users/" + FromUtf8(PercentEncode(ToUtf8(idOrPrincipalName)));
}

struct TGraphCategories::TAnswer {
    DWORD Status = 0;
    json Body;
};

TGraphCategories::TGraphCategories(const THttpClient& http, IAccessTokenSource& tokens, std::wstring graphUrl,
                                   std::wstring mailbox, TPermissionKind permission)
    : http_(http), tokens_(tokens), graphUrl_(std::move(graphUrl)), mailbox_(std::move(mailbox)),
      permission_(permission)
{
}

std::wstring TGraphCategories::CategoriesPath() const
{
    return mailbox_ + L"/outlook/masterCategories";
}

TGraphCategories::TAnswer TGraphCategories::Call(const std::wstring& method, const std::wstring& url,
                                                 const std::string& body)
{
    TThrottleWaits waits(waiter_);
    std::string token = tokens_.AccessToken();
    for (;;) {
        THttpRequest request{method, url, {{L"Authorization", L"Bearer " + FromUtf8(token)}, {L"Accept", L"application/json"}},
                             body};
        if (!body.empty())
            request.Headers.push_back({L"Content-Type", L"application/json"});
        const THttpResponse response = http_.Send(request);
        Observe(response.Status);
        if (response.Status == 401) {
            // Raises once a renewed token is turned away as well.
            token = tokens_.RenewAfterRejection(token);
            continue;
        }
        if (IsThrottled(response.Status)) {
            const auto retryAfter = response.Header(L"Retry-After");
            waits.Wait(retryAfter ? RetryAfterMs(*retryAfter) : std::nullopt);
            continue;
        }
        json parsed = json::parse(response.Body, nullptr, false);
        if (response.Status < 200 || response.Status >= 300)
            throw ErrorFrom(response.Status, parsed, permission_);
        if (!parsed.is_object())
            throw EGraphError(L"Microsoft 365 answered in a form Pellorin cannot read.", response.Status, L"");
        return {response.Status, std::move(parsed)};
    }
}

std::vector<TGraphCategory> TGraphCategories::List()
{
    const std::wstring origin = ParseAllowedUrl(graphUrl_).Origin();
    std::vector<TGraphCategory> categories;
    std::wstring url = graphUrl_ + kVersion + CategoriesPath();
    for (int page = 0;; ++page) {
        if (page == kMaxPages)
            throw EGraphError(L"Microsoft 365 kept on giving further pages of categories.", 0, L"");
        const TAnswer answer = Call(L"GET", url, {});
        const auto value = answer.Body.find("value");
        if (value == answer.Body.end() || !value->is_array())
            throw EGraphError(L"Microsoft 365 answered in a form Pellorin cannot read.", answer.Status, L"");
        for (const json& item : *value) {
            TGraphCategory category = CategoryFrom(item);
            if (!category.DisplayName.empty())
                categories.push_back(std::move(category));
        }
        const std::wstring next = Text(answer.Body, "@odata.nextLink");
        if (next.empty())
            return categories;
        if (ParseAllowedUrl(next).Origin() != origin)
            throw EGraphError(L"Microsoft 365 gave a next page on another server, which is not followed: " + next, 0,
                              L"");
        url = next;
    }
}

void TGraphCategories::Add(const std::vector<TNewCategory>& categories,
                           const std::function<void(std::size_t, const TAddResult&)>& each)
{
    std::deque<std::size_t> queue;
    for (std::size_t i = 0; i < categories.size(); ++i) {
        if (IsValidUtf16(categories[i].DisplayName))
            queue.push_back(i);
        else
            each(i, {false, {}, kInvalidName});
    }
    const std::string innerUrl = ToUtf8(CategoriesPath());
    SendBatches(std::move(queue), [&](std::size_t index) {
        json body = {{"displayName", ToUtf8(categories[index].DisplayName)}};
        if (categories[index].Color) {
            if (const auto name = categories[index].Color->GraphName())
                body["color"] = ToUtf8(*name);
        }
        return json{{"id", std::to_string(index)},
                    {"method", "POST"},
                    {"url", innerUrl},
                    {"headers", {{"Content-Type", "application/json"}}},
                    {"body", std::move(body)}};
    }, each);
}

void TGraphCategories::SetColors(const std::vector<TColorChange>& changes,
                                 const std::function<void(std::size_t, const TAddResult&)>& each)
{
    std::deque<std::size_t> queue;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        if (changes[i].Color.GraphName())
            queue.push_back(i);
        else
            each(i, {false, {}, L"Microsoft 365 has no name for the colour " +
                                    std::to_wstring(changes[i].Color.OutlookValue()) + L"."});
    }
    const std::string innerUrl = ToUtf8(CategoriesPath()) + "/";
    SendBatches(std::move(queue), [&](std::size_t index) {
        return json{{"id", std::to_string(index)},
                    {"method", "PATCH"},
                    {"url", innerUrl + PercentEncode(ToUtf8(changes[index].Id))},
                    {"headers", {{"Content-Type", "application/json"}}},
                    {"body", {{"color", ToUtf8(*changes[index].Color.GraphName())}}}};
    }, each);
}

void TGraphCategories::SendBatches(std::deque<std::size_t> queue, const std::function<json(std::size_t)>& request,
                                   const std::function<void(std::size_t, const TAddResult&)>& each)
{
    TThrottleWaits waits(waiter_);
    while (!queue.empty()) {
        std::vector<std::size_t> batch;
        while (!queue.empty() && batch.size() < kMaxBatch) {
            batch.push_back(queue.front());
            queue.pop_front();
        }
        json requests = json::array();
        for (const std::size_t index : batch)
            requests.push_back(request(index));
        const TAnswer answer = Call(L"POST", graphUrl_ + kVersion + L"/$batch", Dump({{"requests", requests}}));

        std::map<std::string, const json*> responses;
        const auto list = answer.Body.find("responses");
        if (list != answer.Body.end() && list->is_array()) {
            for (const json& response : *list) {
                if (response.is_object() && response.contains("id") && response["id"].is_string())
                    responses[response["id"].get<std::string>()] = &response;
            }
        }
        // Every answer of the batch is reported before a failure in it raises.
        std::optional<EGraphError> failure;
        std::vector<std::size_t> throttled;
        std::optional<DWORD> retryAfter;
        for (const std::size_t index : batch) {
            const auto found = responses.find(std::to_string(index));
            if (found == responses.end()) {
                failure = failure.value_or(EGraphError(L"Microsoft 365 left a request of a batch unanswered.", 0, L""));
                continue;
            }
            const json& response = *found->second;
            const auto statusField = response.find("status");
            const DWORD status = statusField != response.end() && statusField->is_number_integer()
                                     ? static_cast<DWORD>(statusField->get<long long>())
                                     : 0;
            const json body = response.contains("body") ? response["body"] : json();
            const json error = body.is_object() && body.contains("error") ? body["error"] : json();
            if (status >= 200 && status < 300) {
                each(index, {true, CategoryFrom(body), {}});
            } else if (IsThrottled(status)) {
                Observe(status);
                throttled.push_back(index);
                if (const auto ms = InnerRetryAfterMs(response))
                    retryAfter = std::max(retryAfter.value_or(0), *ms);
            } else if (status >= 400 && status < 500 && status != 401 &&
                       !(status == 403 && Text(error, "code") == L"ErrorAccessDenied")) {
                // A name Graph turns away, as Outlook refuses one: the others go on.
                const std::wstring message = Text(error, "message");
                each(index,
                     {false, {}, message.empty() ? ErrorFrom(status, body, permission_).Message() : message, status});
            } else {
                // Not about one name: a lost sign-in, a missing permission, a failing service.
                failure = failure.value_or(ErrorFrom(status, body, permission_));
            }
        }
        if (failure)
            throw *failure;
        if (throttled.size() < batch.size())
            waits.Reset();
        if (!throttled.empty()) {
            waits.Wait(retryAfter);
            queue.insert(queue.begin(), throttled.begin(), throttled.end());
        }
    }
}

TGraphCategory TGraphCategories::SetColor(const std::wstring& id, TCategoryColor color)
{
    const auto name = color.GraphName();
    if (!name)
        throw EGraphError(L"Microsoft 365 has no name for the colour " + std::to_wstring(color.OutlookValue()) + L".",
                          0, L"");
    const TAnswer answer = Call(L"PATCH",
                                graphUrl_ + kVersion + CategoriesPath() + L"/" + FromUtf8(PercentEncode(ToUtf8(id))),
                                Dump({{"color", ToUtf8(*name)}}));
    return CategoryFrom(answer.Body);
}
