#include "graph/GraphCategories.h"

#include "base/Platform.h"
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
    return {GraphText(object, "id"), GraphText(object, "displayName"), GraphText(object, "color")};
}

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
    : call_(http, tokens), graphUrl_(std::move(graphUrl)), mailbox_(std::move(mailbox)),
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
    TGraphAnswer answer = call_.Send(method, url, body);
    if (!answer.Succeeded())
        throw GraphErrorFrom(answer.Status, answer.Body, permission_);
    if (!answer.Body.is_object())
        throw EGraphError(L"Microsoft 365 answered in a form Pellorin cannot read.", answer.Status, L"");
    return {answer.Status, std::move(answer.Body)};
}

std::vector<TGraphCategory> TGraphCategories::List()
{
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
        const std::wstring next = GraphText(answer.Body, "@odata.nextLink");
        if (next.empty())
            return categories;
        if (!IsOnGraphOrigin(graphUrl_, next))
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
    TThrottleWaits waits(call_.Waiter());
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
                call_.Observe(status);
                throttled.push_back(index);
                if (const auto ms = InnerRetryAfterMs(response))
                    retryAfter = std::max(retryAfter.value_or(0), *ms);
            } else if (status >= 400 && status < 500 && status != 401 &&
                       !(status == 403 && GraphText(error, "code") == L"ErrorAccessDenied")) {
                // A name Graph turns away, as Outlook refuses one: the others go on.
                const std::wstring message = GraphText(error, "message");
                each(index,
                     {false, {}, message.empty() ? GraphErrorFrom(status, body, permission_).Message() : message, status});
            } else {
                // Not about one name: a lost sign-in, a missing permission, a failing service.
                failure = failure.value_or(GraphErrorFrom(status, body, permission_));
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
