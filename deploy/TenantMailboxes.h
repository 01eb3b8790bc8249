#pragma once
// Every enabled user of the tenant that has a mailbox, read from Graph one
// page at a time as the run needs them: GET /v1.0/users with
// $select=id,userPrincipalName,mail and $filter=accountEnabled eq true,
// following @odata.nextLink. A user without mail has no mailbox to deploy
// to: it is left out and counted.
// https://learn.microsoft.com/graph/api/user-list
// https://learn.microsoft.com/graph/paging

#include "deploy/MailboxList.h"
#include "http/HttpClient.h"
#include "identity/AppTokenSource.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <functional>
#include <string>

// Graph's largest page of users: fewer requests for a large tenant.
inline constexpr int kUsersPageSize = 999;

// Which of the organisation's users are read.
enum class TTenantScope {
    EnabledUsers,  // accountEnabled eq true: users who sign in
    // Every user with a mail address, shared mailboxes (disabled accounts
    // with mail) among them. Read unfiltered rather than by "mail ne null",
    // an advanced query, so that users without mail are still counted.
    // https://learn.microsoft.com/exchange/collaboration/shared-mailboxes/shared-mailboxes
    AllMailboxes,
    // A group's members, nested groups' included; members that are no user
    // (groups, devices) are passed over.
    // https://learn.microsoft.com/graph/api/group-list-transitivemembers
    GroupMembers,
};

// GroupMember.Read.All lets an app read a group's members; User.Read.All
// users' mail addresses.
inline constexpr wchar_t kUsersPermission[] = L"User.Read.All";
inline constexpr wchar_t kGroupPermission[] = L"GroupMember.Read.All";

class TTenantMailboxes : public IMailboxSource {
public:
    // GETs an address and returns the answer's JSON; raises when there is none.
    using TFetch = std::function<nlohmann::json(const std::wstring& url)>;

    // graphBase is "https://graph.microsoft.com" or a stand-in's address.
    TTenantMailboxes(std::wstring graphBase, TFetch fetch, int pageSize = kUsersPageSize);
    // group: the group's object id, with GroupMembers only.
    TTenantMailboxes(std::wstring graphBase, TFetch fetch, TTenantScope scope, std::wstring group = {},
                     int pageSize = kUsersPageSize);

    // Raises EException when a page cannot be read, or when Graph's link to
    // the next page leads anywhere but Graph itself: the token would go with it.
    bool Next(TMailbox& mailbox) override;

    std::size_t WithoutMail() const { return withoutMail_; }
    // Handed out so far whose account is disabled: shared mailboxes.
    std::size_t Shared() const { return shared_; }
    TTenantScope Scope() const { return scope_; }
    std::size_t PagesRead() const { return pages_; }
    std::wstring FirstPageUrl() const;

private:
    std::wstring graphBase_;
    TFetch fetch_;
    TTenantScope scope_ = TTenantScope::EnabledUsers;
    std::wstring group_;
    int pageSize_;
    std::size_t shared_ = 0;
    nlohmann::json page_;
    std::size_t index_ = 0;
    std::wstring next_;
    bool started_ = false;
    std::size_t withoutMail_ = 0;
    std::size_t pages_ = 0;
};

// A fetch with the application's token, sent as every Graph request is
// (graph/GraphCall.h); a page that met no answer is asked for again a few
// times. Raises EConsentMissing(permission) for a 403, EException with Graph's
// error code and message for any other failure.
TTenantMailboxes::TFetch GraphGetWithAppToken(const THttpClient& http, TAppTokenSource& tokens,
                                              const wchar_t* permission = kUsersPermission);
