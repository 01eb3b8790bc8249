// Which addresses each cloud's sign-in and Graph calls go to, and how a
// stand-in takes their place without two clouds' hosts ever mixing.

#include "support/ScopedVariable.h"
#include "GraphFixture.h"
#include "identity/Clouds.h"
#include "identity/SignInErrors.h"

namespace {

TEST(Clouds, EachCloudPairsItsOwnLoginAndGraphHosts)
{
    struct {
        const wchar_t* name;
        const wchar_t* login;
        const wchar_t* graph;
        const char* scope;
    } const cases[] = {
        {L"global", L"https://login.microsoftonline.com", L"https://graph.microsoft.com",
         "https://graph.microsoft.com/MailboxSettings.ReadWrite offline_access openid profile"},
        {L" USGov ", L"https://login.microsoftonline.us", L"https://graph.microsoft.us",
         "https://graph.microsoft.us/MailboxSettings.ReadWrite offline_access openid profile"},
        {L"usgovdod", L"https://login.microsoftonline.us", L"https://dod-graph.microsoft.us",
         "https://dod-graph.microsoft.us/MailboxSettings.ReadWrite offline_access openid profile"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.name));
        const ECloud cloud = ParseCloud(c.name);
        EXPECT_EQ(CloudLoginUrl(cloud), c.login);
        EXPECT_EQ(CloudGraphUrl(cloud), c.graph);
        EXPECT_EQ(CloudSignInScope(cloud), c.scope);
        EXPECT_EQ(ParseCloud(CloudName(cloud)), cloud);
    }
    EXPECT_EQ(CloudSignInScope(ECloud::Global), kSignInScope);
    EXPECT_TRUE(CloudInfo(ECloud::Global).PersonalAccounts);
    EXPECT_FALSE(CloudInfo(ECloud::UsGov).PersonalAccounts);
    EXPECT_FALSE(CloudInfo(ECloud::UsGovDod).PersonalAccounts);
}

TEST(Clouds, ChinaAndUnknownNamesAreRefusedSayingWhy)
{
    const std::wstring china = Caught<ESettingsError>([] { ParseCloud(L"China"); }).Message();
    EXPECT_NE(china.find(L"does not offer the category list"), std::wstring::npos) << ToUtf8(china);
    const std::wstring other = Caught<ESettingsError>([] { ParseCloud(L"germany"); }).Message();
    EXPECT_NE(other.find(L"global, usgov or usgovdod"), std::wstring::npos) << ToUtf8(other);
    EXPECT_THROW(ParseCloud(L""), ESettingsError);
}

TEST(Clouds, StandInTakesEveryHostAsAPrefixAndTheOlderVariablesOnlyTheWorldwideOnes)
{
    ScopedVariable standIn(L"PELLORIN_STANDIN_URL", L"http://127.0.0.1:4100/");
    EXPECT_EQ(CloudGraphUrl(ECloud::UsGov), L"http://127.0.0.1:4100/graph.microsoft.us");
    EXPECT_EQ(CloudGraphUrl(ECloud::UsGovDod), L"http://127.0.0.1:4100/dod-graph.microsoft.us");
    EXPECT_EQ(CloudLoginUrl(ECloud::UsGovDod), L"http://127.0.0.1:4100/login.microsoftonline.us");
    EXPECT_EQ(CloudLoginUrl(ECloud::Global), L"http://127.0.0.1:4100/login.microsoftonline.com");

    ScopedVariable login(L"PELLORIN_LOGIN_URL", L"http://127.0.0.1:4000");
    ScopedVariable graph(L"PELLORIN_GRAPH_URL", L"http://127.0.0.1:4001");
    EXPECT_EQ(CloudLoginUrl(ECloud::Global), L"http://127.0.0.1:4000");
    EXPECT_EQ(CloudGraphUrl(ECloud::Global), L"http://127.0.0.1:4001");
    // A test pointing the worldwide cloud at one stand-in must not send a
    // government sign-in there, where its token would be taken as worldwide.
    EXPECT_EQ(CloudGraphUrl(ECloud::UsGov), L"http://127.0.0.1:4100/graph.microsoft.us");
}

}  // namespace
