#include "deploy/TenantMailboxes.h"

#include "http/Url.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

namespace {

constexpr int kThrottledTries = 6;
constexpr double kLongestRetryAfterSeconds = 120.0;

std::wstring GraphErrorText(const THttpResponse& response)
{
    const auto body = nlohmann::json::parse(response.Body, nullptr, false);
    if (!body.is_discarded() && body.is_object() && body.contains("error") && body["error"].is_object()) {
        const std::string code = body["error"].value("code", "");
        const std::string message = body["error"].value("message", "");
        if (!code.empty() || !message.empty())
            return FromUtf8(code) + L": " + FromUtf8(message);
    }
    return L"HTTP " + std::to_wstring(response.Status);
}

}  // namespace

TTenantMailboxes::TTenantMailboxes(std::wstring graphBase, TFetch fetch, int pageSize)
    : graphBase_(std::move(graphBase)), fetch_(std::move(fetch)), pageSize_(pageSize)
{
    while (!graphBase_.empty() && graphBase_.back() == L'/')
        graphBase_.pop_back();
}

std::wstring TTenantMailboxes::FirstPageUrl() const
{
    return graphBase_ + L"/v1.0/users?$select=id,userPrincipalName,mail&$filter=accountEnabled%20eq%20true&$top=" +
           std::to_wstring(pageSize_);
}

bool TTenantMailboxes::Next(TMailbox& mailbox)
{
    for (;;) {
        if (page_.is_array() && index_ < page_.size()) {
            const nlohmann::json& user = page_[index_++];
            if (!user.is_object() || !user.contains("id") || !user["id"].is_string())
                continue;
            if (!user.contains("mail") || !user["mail"].is_string() || user["mail"].get<std::string>().empty()) {
                ++withoutMail_;
                continue;
            }
            mailbox = {};
            mailbox.Address = FromUtf8(user["id"].get<std::string>());
            const std::string upn = user.value("userPrincipalName", "");
            mailbox.Name = upn.empty() ? mailbox.Address : FromUtf8(upn);
            return true;
        }
        if (started_ && next_.empty())
            return false;
        const std::wstring url = started_ ? next_ : FirstPageUrl();
        if (started_ && ParseAllowedUrl(url).Origin() != ParseAllowedUrl(graphBase_).Origin())
            throw EException(L"Graph's link to the next page of users leads to another server (" + url +
                             L"): the run stops rather than send its token there.");
        started_ = true;
        nlohmann::json answer = fetch_(url);
        ++pages_;
        // Only the page at hand is held.
        page_ = answer.is_object() && answer.contains("value") && answer["value"].is_array()
                    ? std::move(answer["value"])
                    : nlohmann::json::array();
        index_ = 0;
        next_ = answer.is_object() && answer.contains("@odata.nextLink") && answer["@odata.nextLink"].is_string()
                    ? FromUtf8(answer["@odata.nextLink"].get<std::string>())
                    : std::wstring();
    }
}

TTenantMailboxes::TFetch GraphGetWithAppToken(const THttpClient& http, TAppTokenSource& tokens)
{
    return [&http, &tokens](const std::wstring& url) {
        bool renewed = false;
        std::string token = tokens.AccessToken();
        for (int attempt = 0;; ++attempt) {
            THttpResponse response;
            try {
                response = http.Send({L"GET", url, {{L"Authorization", L"Bearer " + FromUtf8(token)}}, {}});
            } catch (const EHttpError&) {
                if (attempt + 1 >= kThrottledTries)
                    throw;
                Sleep(1000u << std::min(attempt, 5));
                continue;
            }
            if (response.Status == 200) {
                auto answer = nlohmann::json::parse(response.Body, nullptr, false);
                if (answer.is_discarded())
                    throw EException(L"Graph's list of users could not be read: its answer is not JSON.");
                return answer;
            }
            if (response.Status == 401 && !renewed) {
                token = tokens.RenewAfterRejection(token);
                renewed = true;
                continue;
            }
            if (response.Status == 403)
                throw EConsentMissing(L"User.Read.All");
            if ((response.Status == 429 || response.Status == 503) && attempt + 1 < kThrottledTries) {
                double seconds = 1 << std::min(attempt, 5);
                if (const auto after = response.Header(L"Retry-After")) {
                    wchar_t* end = nullptr;
                    const double given = std::wcstod(after->c_str(), &end);
                    if (end != after->c_str() && given >= 0)
                        seconds = std::min(given, kLongestRetryAfterSeconds);
                }
                Sleep(static_cast<DWORD>(seconds * 1000));
                continue;
            }
            throw EException(L"Graph's list of users could not be read: " + GraphErrorText(response));
        }
    };
}
