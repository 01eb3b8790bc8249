#include "deploy/TenantMailboxes.h"

#include "graph/GraphCall.h"
#include "http/Url.h"

#include <windows.h>

#include <algorithm>

namespace {

// A page that met no answer is asked for again, after 1, 2, 4... seconds.
constexpr int kUnansweredTries = 6;

}  // namespace

TTenantMailboxes::TTenantMailboxes(std::wstring graphBase, TFetch fetch, int pageSize)
    : TTenantMailboxes(std::move(graphBase), std::move(fetch), TTenantScope::EnabledUsers, {}, pageSize)
{
}

TTenantMailboxes::TTenantMailboxes(std::wstring graphBase, TFetch fetch, TTenantScope scope, std::wstring group,
                                   int pageSize)
    : graphBase_(std::move(graphBase)), fetch_(std::move(fetch)), scope_(scope), group_(std::move(group)),
      pageSize_(pageSize)
{
    while (!graphBase_.empty() && graphBase_.back() == L'/')
        graphBase_.pop_back();
}

std::wstring TTenantMailboxes::FirstPageUrl() const
{
    const std::wstring top = L"&$top=" + std::to_wstring(pageSize_);
    switch (scope_) {
    case TTenantScope::EnabledUsers:
        break;
    case TTenantScope::AllMailboxes:
        return graphBase_ + L"/v1.0/users?$select=id,userPrincipalName,mail,accountEnabled" + top;
    case TTenantScope::GroupMembers:
        return graphBase_ + L"/v1.0/groups/" + FromUtf8(PercentEncode(ToUtf8(group_))) +
               L"/transitiveMembers?$select=id,userPrincipalName,mail,accountEnabled" + top;
    }
    return graphBase_ + L"/v1.0/users?$select=id,userPrincipalName,mail&$filter=accountEnabled%20eq%20true" + top;
}

bool TTenantMailboxes::Next(TMailbox& mailbox)
{
    for (;;) {
        if (page_.is_array() && index_ < page_.size()) {
            const nlohmann::json& user = page_[index_++];
            if (!user.is_object() || !user.contains("id") || !user["id"].is_string())
                continue;
            // A group's nested groups and its devices hold no mailbox of their own.
            if (user.contains("@odata.type") && user["@odata.type"] != "#microsoft.graph.user")
                continue;
            if (!user.contains("mail") || !user["mail"].is_string() || user["mail"].get<std::string>().empty()) {
                ++withoutMail_;
                continue;
            }
            mailbox = {};
            mailbox.Address = FromUtf8(user["id"].get<std::string>());
            const std::string upn = user.value("userPrincipalName", "");
            mailbox.Name = upn.empty() ? mailbox.Address : FromUtf8(upn);
            if (user.contains("accountEnabled") && user["accountEnabled"] == false)
                ++shared_;
            return true;
        }
        if (started_ && next_.empty())
            return false;
        const std::wstring url = started_ ? next_ : FirstPageUrl();
        if (started_ && !IsOnGraphOrigin(graphBase_, url))
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

TTenantMailboxes::TFetch GraphGetWithAppToken(const THttpClient& http, TAppTokenSource& tokens,
                                              const wchar_t* permission)
{
    return [&http, &tokens, permission](const std::wstring& url) {
        TGraphCall call(http, tokens);
        for (int attempt = 0;; ++attempt) {
            TGraphAnswer answer;
            try {
                answer = call.Send(L"GET", url);
            } catch (const EHttpError&) {
                if (attempt + 1 >= kUnansweredTries)
                    throw;
                Sleep(1000u << std::min(attempt, 5));
                continue;
            }
            if (answer.Status == 200) {
                if (answer.Body.is_discarded())
                    throw EException(L"Graph's list of users could not be read: its answer is not JSON.");
                return std::move(answer.Body);
            }
            if (answer.Status == 403)
                throw EConsentMissing(permission);
            const auto [code, message] = GraphErrorText(answer.Body);
            throw EException(L"Graph's list of users could not be read: " +
                             (code.empty() && message.empty() ? L"HTTP " + std::to_wstring(answer.Status)
                                                              : code + L": " + message));
        }
    };
}
