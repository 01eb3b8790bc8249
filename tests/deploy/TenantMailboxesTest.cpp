// --all-mailboxes against the Graph stand-in: the tenant's users page by
// page, those without mail left out and counted, and what stops the run.
#include "deploy/TenantMailboxes.h"
#include "graph/GraphStandIn.h"
#include "support/Caught.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

constexpr char kClientId[] = "0b7c8a2e-4d1f-4b6a-9c3e-2f5d6e7a8b9c";
constexpr char kTenant[] = "contoso.onmicrosoft.com";
constexpr wchar_t kSecretVariable[] = L"PELLORIN_TEST_CLIENT_SECRET";

class TenantMailboxesTest : public testing::Test {
protected:
    void SetUp() override
    {
        standIn.Reset();
        Register({"MailboxSettings.ReadWrite", "User.Read.All"});
        // 25 users: #5 and #16 disabled, #3, #10, #17 and #24 without mail.
        standIn.Post("app/users", {{"count", 25}});
    }
    void TearDown() override { SetEnvironmentVariableW(kSecretVariable, nullptr); }

    void Register(const std::vector<std::string>& consent) const
    {
        standIn.RegisterApp({{"client_id", kClientId}, {"tenant", kTenant}, {"consent", consent}}, kSecretVariable);
    }

    std::size_t UserPages() const { return CountOuter(standIn.Log(), "/v1.0/users?"); }

    TGraphStandIn standIn;
    THttpClient http;
    TAppTokenSource tokens{http, {standIn.Url(), FromUtf8(kTenant), FromUtf8(kClientId)},
                           TAppCredential::SecretInVariable(kSecretVariable)};
};

}  // namespace

TEST_F(TenantMailboxesTest, ReadsPageByPageLeavingOutUsersWithoutMail)
{
    TTenantMailboxes users(standIn.Url(), GraphGetWithAppToken(http, tokens), 10);
    TMailbox mailbox;
    ASSERT_TRUE(users.Next(mailbox));
    EXPECT_EQ(mailbox.Address, L"user-oid-0");
    EXPECT_EQ(mailbox.Name, L"user-0@contoso.com");
    EXPECT_EQ(UserPages(), 1u) << "the next page is read only when it is needed";

    std::vector<std::wstring> names{mailbox.Name};
    while (users.Next(mailbox))
        names.push_back(mailbox.Name);
    EXPECT_EQ(names.size(), 19u);
    for (const wchar_t* absent : {L"user-3@contoso.com", L"user-5@contoso.com", L"user-16@contoso.com"})
        EXPECT_EQ(std::count(names.begin(), names.end(), absent), 0) << ToUtf8(absent);
    EXPECT_EQ(users.WithoutMail(), 4u);
    EXPECT_EQ(users.PagesRead(), 3u) << "23 enabled users, 10 a page";
    EXPECT_EQ(UserPages(), 3u);

    const auto log = standIn.Log();
    const std::string first = log.at(1)["path"].get<std::string>();
    EXPECT_NE(first.find("$select=id,userPrincipalName,mail"), std::string::npos) << first;
    EXPECT_NE(first.find("$filter=accountEnabled%20eq%20true"), std::string::npos) << first;
}

TEST_F(TenantMailboxesTest, WithoutConsentTheRunStopsNamingThePermission)
{
    standIn.Reset();
    Register({"MailboxSettings.ReadWrite"});
    TTenantMailboxes users(standIn.Url(), GraphGetWithAppToken(http, tokens));
    TMailbox mailbox;
    const auto e = Caught<EConsentMissing>([&] { users.Next(mailbox); });
    EXPECT_EQ(e.Message().rfind(L"The application permission User.Read.All needs admin consent.", 0), 0u) << e.what();
}

TEST_F(TenantMailboxesTest, ThrottlingIsWaitedOutAndARefusedTokenRenewed)
{
    standIn.Fail({{"status", 429}, {"retry_after", 0.2}, {"path", "/users"}, {"count", 1}});
    standIn.Fail({{"status", 401}, {"code", "InvalidAuthenticationToken"}, {"path", "/users"}, {"count", 1}});
    TTenantMailboxes users(standIn.Url(), GraphGetWithAppToken(http, tokens));
    std::size_t count = 0;
    TMailbox mailbox;
    while (users.Next(mailbox))
        ++count;
    EXPECT_EQ(count, 19u);
    EXPECT_EQ(UserPages(), 3u) << "one page, asked three times";
    EXPECT_EQ(tokens.TokensRequested(), 2u);
}

// Nor to a link that only begins as Graph's address does: another port, or a
// host that merely starts with Graph's.
TEST_F(TenantMailboxesTest, NeverFollowsALinkToAnotherServer)
{
    const std::string graph = ToUtf8(standIn.Url());
    for (const std::string& elsewhere : {std::string("http://localhost:9"), graph + "1", graph + ".example.org"}) {
        SCOPED_TRACE(elsewhere);
        standIn.Post("log/clear");
        standIn.Set({{"next_link_base", elsewhere}});
        TTenantMailboxes users(standIn.Url(), GraphGetWithAppToken(http, tokens), 10);
        TMailbox mailbox;
        const auto e = Caught<EException>([&] {
            while (users.Next(mailbox)) {
            }
        });
        EXPECT_NE(e.Message().find(L"leads to another server"), std::wstring::npos) << e.what();
        EXPECT_EQ(UserPages(), 1u);
    }
}

TEST_F(TenantMailboxesTest, AllMailboxesTakesSharedMailboxesAndCountsThem)
{
    TTenantMailboxes users(standIn.Url(), GraphGetWithAppToken(http, tokens), TTenantScope::AllMailboxes, {}, 10);
    TMailbox mailbox;
    std::vector<std::wstring> names;
    while (users.Next(mailbox))
        names.push_back(mailbox.Name);
    EXPECT_EQ(names.size(), 21u) << "25 users, 4 without mail";
    for (const wchar_t* shared : {L"user-5@contoso.com", L"user-16@contoso.com"})
        EXPECT_EQ(std::count(names.begin(), names.end(), shared), 1) << ToUtf8(shared);
    EXPECT_EQ(users.Shared(), 2u);
    EXPECT_EQ(users.WithoutMail(), 4u);
}

TEST_F(TenantMailboxesTest, AGroupGivesItsNestedMembersPageByPageAndNamesItsPermission)
{
    standIn.Post("group", {{"id", "inner"}, {"members", {"user-oid-1", "user-oid-5", "user-oid-3"}}});
    standIn.Post("group", {{"id", "outer"},
                           {"members", {"user-oid-0", "inner", "user-oid-1", nlohmann::json{{"id", "printer-7"}}}}});
    standIn.Set({{"group_page_size", 2}});
    Register({"MailboxSettings.ReadWrite", "GroupMember.Read.All"});
    TTenantMailboxes members(standIn.Url(), GraphGetWithAppToken(http, tokens, kGroupPermission),
                             TTenantScope::GroupMembers, L"outer");
    TMailbox mailbox;
    std::vector<std::wstring> names;
    while (members.Next(mailbox))
        names.push_back(mailbox.Name);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"user-0@contoso.com", L"user-1@contoso.com", L"user-5@contoso.com"}))
        << "each once; the nested group, the device and a user without mail are no mailboxes";
    EXPECT_EQ(members.Shared(), 1u);
    EXPECT_EQ(members.WithoutMail(), 1u);
    EXPECT_EQ(members.PagesRead(), 3u) << "6 objects under the group, 2 a page";

    Register({"MailboxSettings.ReadWrite", "User.Read.All"});
    TAppTokenSource fresh{http, {standIn.Url(), FromUtf8(kTenant), FromUtf8(kClientId)},
                          TAppCredential::SecretInVariable(kSecretVariable)};
    TTenantMailboxes refused(standIn.Url(), GraphGetWithAppToken(http, fresh, kGroupPermission),
                             TTenantScope::GroupMembers, L"outer");
    const auto e = Caught<EConsentMissing>([&] { refused.Next(mailbox); });
    EXPECT_NE(e.Message().find(L"GroupMember.Read.All"), std::wstring::npos) << e.what();
}
