// A sign-in with no setup through the maker's application, personal Microsoft
// accounts, and the national clouds: who signs in where, which hosts the
// requests reach, and that nothing leaves before the user chooses to sign in.

#include "support/ScopedVariable.h"
#include "GraphFixture.h"
#include "graph/MailboxSource.h"
#include "graph/Microsoft365.h"
#include "identity/SignInErrors.h"

#include <algorithm>
#include <set>

namespace {

constexpr wchar_t kMakerApp[] = L"7d3e6c1a-0b2f-4c5d-9e8f-a1b2c3d4e5f6";
constexpr const char* kPersonalOid = "00000000-0000-0000-6a1b-2c3d4e5f6071";
constexpr const char* kPersonalUpn = "pat@outlook.example";

class PersonalAndCloudSignIn : public GraphFixture {
protected:
    void SetUp() override
    {
        GraphFixture::SetUp();
        standIn.Post("user", {{"oid", kPersonalOid}, {"upn", kPersonalUpn}, {"personal", true},
                              {"categories", {{{"displayName", "Green"}, {"color", "preset4"}}}}});
    }

    void SignInAs(TMicrosoft365& microsoft365, const char* oid)
    {
        standIn.Set({{"sign_in_user", oid}, {"poll_script", {"approve"}}});
        TDeviceCodeSignIn flow = microsoft365.NewSignIn();
        SignInWithDeviceCode(flow, [](const TDeviceCodePrompt&) {}, [](DWORD) { return true; });
        microsoft365.Reload();
    }

    std::set<std::string> HostsReached() const
    {
        std::set<std::string> hosts;
        for (const auto& entry : standIn.Log())
            hosts.insert(entry.value("host", ""));
        return hosts;
    }
};

TEST_F(PersonalAndCloudSignIn, PersonalAccountUsesItsMailboxThroughTheMakersAppWithNothingConfigured)
{
    ScopedVariable maker(L"PELLORIN_TEST_MAKER_CLIENT_ID", kMakerApp);
    // The maker's registration admits work and personal accounts alike.
    standIn.Post("app/register", {{"client_id", ToUtf8(kMakerApp)}, {"audience", "AzureADandPersonalMicrosoftAccount"}});
    for (const wchar_t* tenant : {L"", L"consumers"}) {
        SCOPED_TRACE(ToUtf8(tenant));
        if (*tenant)
            WriteUserSettings(tenant, L"");
        TMicrosoft365 microsoft365(http, {}, CachePath());
        ASSERT_EQ(microsoft365.Status(), TMicrosoft365Status::SignedOut);
        EXPECT_EQ(microsoft365.Settings()->TenantId, *tenant ? tenant : L"common");
        EXPECT_EQ(microsoft365.Settings()->ClientId, kMakerApp);
        SignInAs(microsoft365, kPersonalOid);
        ASSERT_EQ(microsoft365.Status(), TMicrosoft365Status::SignedIn);
        EXPECT_EQ(microsoft365.Account(), FromUtf8(kPersonalUpn));
        EXPECT_EQ(Cache().Load()->AccountTenant, kPersonalAccountsTenant);

        const auto store = microsoft365.OpenMailbox();
        EXPECT_EQ(store->DisplayName(), L"Microsoft 365 (" + FromUtf8(kPersonalUpn) + L")");
        EXPECT_TRUE(store->ColorOf(L"Green"));
        store->Add(std::wstring(L"From ") + (*tenant ? tenant : L"common"), std::nullopt);
        // Personal accounts are refused ".default"; the named scope is what signs them in.
        for (const auto& entry : standIn.Log()) {
            if (entry.contains("scope") && entry["scope"].is_string()) {
                EXPECT_EQ(entry["scope"], kSignInScope);
            }
        }
        microsoft365.SignOut();
        standIn.Post("log/clear");
        if (*tenant)
            WriteUserSettings(L"", L"");
    }
    const auto list = standIn.Categories(kPersonalOid);
    for (const char* name : {"From common", "From consumers"})
        EXPECT_NE(std::find_if(list.begin(), list.end(), [&](const auto& c) { return c.first == name; }), list.end())
            << name;
}

TEST_F(PersonalAndCloudSignIn, NothingLeavesUntilTheUserChoosesToSignIn)
{
    {
        // No maker's id and nothing configured: not even WinHTTP starts.
        TMicrosoft365Setup setup;
        EXPECT_EQ(setup.Source(), nullptr);
    }
    ScopedVariable maker(L"PELLORIN_TEST_MAKER_CLIENT_ID", kMakerApp);
    TMicrosoft365 microsoft365(http, {}, CachePath());
    TMailboxSource source(microsoft365);
    EXPECT_TRUE(source.WantsChooser());
    EXPECT_EQ(source.PendingEntry(), std::wstring(TMailboxSource::kSignInEntry));
    for (int refresh = 0; refresh < 2; ++refresh)
        EXPECT_TRUE(source.ReadStores().empty());
    EXPECT_EQ(http.RequestsSent(), 0u);
    EXPECT_TRUE(standIn.Log().empty());
}

TEST_F(PersonalAndCloudSignIn, ConfiguredValuesWinOverTheMakersApp)
{
    ScopedVariable maker(L"PELLORIN_TEST_MAKER_CLIENT_ID", kMakerApp);
    TScratchHklm machine;
    WriteUserSettings(L"contoso.example", L"11111111-2222-3333-4444-555555555555");
    auto settings = ReadMicrosoft365Settings();
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->ClientId, L"11111111-2222-3333-4444-555555555555");
    settings = ReadMicrosoft365Settings({L"organizations", std::nullopt});
    EXPECT_EQ(settings->TenantId, L"organizations");
    // The maker's application is registered in the worldwide cloud alone.
    WriteUserSettings(L"", L"");
    EXPECT_FALSE(ReadMicrosoft365Settings({std::nullopt, std::nullopt, L"usgov"}));
}

TEST_F(PersonalAndCloudSignIn, TestOverrideOfTheMakersIdNeedsALoopbackLogin)
{
    ScopedVariable maker(L"PELLORIN_TEST_MAKER_CLIENT_ID", kMakerApp);
    EXPECT_EQ(MakerClientId(), kMakerApp);
    SetEnvironmentVariableW(L"PELLORIN_LOGIN_URL", nullptr);
    EXPECT_EQ(MakerClientId(), L"");  // Microsoft's own login: the build's id, here none
    SetEnvironmentVariableW(L"PELLORIN_LOGIN_URL", L"https://login.example.org");
    EXPECT_EQ(MakerClientId(), L"");
}

TEST_F(PersonalAndCloudSignIn, GovernmentCloudsReachOnlyTheirOwnHosts)
{
    SetEnvironmentVariableW(L"PELLORIN_LOGIN_URL", nullptr);
    SetEnvironmentVariableW(L"PELLORIN_GRAPH_URL", nullptr);
    ScopedVariable prefixed(L"PELLORIN_STANDIN_URL", standIn.Url().c_str());
    const struct {
        const wchar_t* cloud;
        const char* graphHost;
    } cases[] = {{L"usgov", "graph.microsoft.us"}, {L"usgovdod", "dod-graph.microsoft.us"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.cloud));
        standIn.Post("log/clear");
        TMicrosoft365 microsoft365(http, {L"organizations", L"11111111-2222-3333-4444-555555555555", c.cloud},
                                   CachePath());
        SignInAs(microsoft365, kOid);
        const auto store = microsoft365.OpenMailbox();
        EXPECT_TRUE(store->ColorOf(L"Red"));
        store->Add(L"Cloud " + std::wstring(c.cloud), std::nullopt);
        EXPECT_EQ(HostsReached(), (std::set<std::string>{"login.microsoftonline.us", c.graphHost}));
        EXPECT_EQ(Cache().Load()->Cloud, c.cloud);

        // A sign-in of one cloud is of no use in another.
        TMicrosoft365 worldwide(http, {L"organizations", L"11111111-2222-3333-4444-555555555555", L"global"},
                                CachePath());
        EXPECT_EQ(worldwide.Status(), TMicrosoft365Status::SignedOut);
    }
    EXPECT_THROW(TMicrosoft365(http, {L"organizations", L"app", L"china"}, CachePath()), ESettingsError);
    EXPECT_THROW(TMicrosoft365(http, {L"consumers", L"app", L"usgov"}, CachePath()), ESettingsError);
}

TEST_F(PersonalAndCloudSignIn, CacheFromBeforeCloudsWereToldApartStaysTheWorldwideSignIn)
{
    SignIn();
    TCachedSignIn old = *Cache().Load();
    EXPECT_EQ(old.Cloud, L"global");
    TMicrosoft365 microsoft365(http, {Settings().TenantId, Settings().ClientId}, CachePath());
    EXPECT_EQ(microsoft365.Status(), TMicrosoft365Status::SignedIn);
}

}  // namespace
