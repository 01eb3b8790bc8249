// The signed-in mailbox as a category store, and what the front ends ask of
// Microsoft 365: nothing sent where nothing is configured, no token anywhere
// but in the request that needs it.

#include "GraphFixture.h"
#include "graph/Microsoft365.h"
#include "http/Url.h"
#include "identity/SignInErrors.h"

#include <algorithm>

namespace {

class MailboxStoreTest : public GraphFixture {
protected:
    void SetUp() override
    {
        GraphFixture::SetUp();
        WriteUserSettings(Settings().TenantId.c_str(), Settings().ClientId.c_str());
    }
    TMicrosoft365 Microsoft365() { return TMicrosoft365(http, {}, CachePath()); }
};

TEST_F(MailboxStoreTest, NothingConfiguredSendsNothing)
{
    ScratchHkcu emptyUser;  // no settings at all, the stand-in's address still in the environment
    TScratchHklm emptyMachine;
    TMicrosoft365 microsoft365(http, {}, CachePath());
    EXPECT_EQ(microsoft365.Status(), TMicrosoft365Status::NotConfigured);
    EXPECT_THROW(microsoft365.OpenMailbox(), ESignInRequired);
    EXPECT_THROW(microsoft365.NewSignIn(), ESettingsError);
    microsoft365.SignOut();
    EXPECT_EQ(http.RequestsSent(), 0u);
    EXPECT_TRUE(standIn.Log().empty());
}

TEST_F(MailboxStoreTest, ConfiguredButSignedOutSendsNothingUntilSignIn)
{
    TMicrosoft365 microsoft365 = Microsoft365();
    EXPECT_EQ(microsoft365.Status(), TMicrosoft365Status::SignedOut);
    EXPECT_EQ(Caught<ESignInRequired>([&] { microsoft365.OpenMailbox(); }).Message(), TSignedInUser::kSignInFirst);
    EXPECT_TRUE(standIn.Log().empty());

    SignIn();
    microsoft365.Reload();
    EXPECT_EQ(microsoft365.Status(), TMicrosoft365Status::SignedIn);
    EXPECT_EQ(microsoft365.Account(), FromUtf8(kUpn));
    microsoft365.SignOut();
    EXPECT_EQ(microsoft365.Status(), TMicrosoft365Status::SignedOut);
    EXPECT_FALSE(Cache().Load());
    EXPECT_TRUE(standIn.Log().empty());
}

TEST_F(MailboxStoreTest, IsAStoreNamedAndKeyedByTheAccount)
{
    SignIn();
    TMicrosoft365 microsoft365 = Microsoft365();
    const auto store = microsoft365.OpenMailbox();
    EXPECT_EQ(store->DisplayName(), L"Microsoft 365 (alex@contoso.example)");
    EXPECT_EQ(store->Key(), L"m365:" + FromUtf8(kOid));
    std::wstring upper = store->Key();
    upper[6] = L'F';
    EXPECT_NE(store->Key(), upper);
    EXPECT_NE(store->Key(), FromUtf8(kOid));
    EXPECT_FALSE(store->IsDefault());
    ASSERT_TRUE(store->Readable());
    EXPECT_EQ(store->Error(), L"");
    EXPECT_EQ(StoreDisplayText(store->Names()), L"Blue\r\nRed\r\n");

    const std::size_t before = standIn.Log().size();
    EXPECT_EQ(store->ColorOf(L"RED"), TCategoryColor::FromOutlook(1));
    EXPECT_EQ(store->ColorOf(L"Blue"), TCategoryColor::FromOutlook(8));
    EXPECT_EQ(store->ColorOf(L"Green"), std::nullopt);
    EXPECT_EQ(standIn.Log().size(), before);
}

TEST_F(MailboxStoreTest, FailedReadMarksItUnreadableButALostSignInIsRaised)
{
    SignIn();
    standIn.Fail({{"path", "/masterCategories"}, {"status", 403}, {"code", "ErrorAccessDenied"}});
    TMicrosoft365 microsoft365 = Microsoft365();
    const auto store = microsoft365.OpenMailbox();
    EXPECT_FALSE(store->Readable());
    EXPECT_NE(store->Error().find(L"MailboxSettings.ReadWrite"), std::wstring::npos);
    EXPECT_EQ(store->Names().Count(), 0);

    // Read again: it is readable from then on.
    store->ReRead();
    EXPECT_TRUE(store->Readable());
    EXPECT_EQ(store->Names().Count(), 2);

    standIn.Fail({{"path", "/masterCategories"}, {"status", 500}, {"count", 1}});
    EXPECT_THROW(store->ReRead(), EGraphError);

    standIn.Post("tokens", {{"revoke_refresh", true}});
    TMicrosoft365 later = Microsoft365();
    EXPECT_EQ(Caught<ESignInRequired>([&] { later.OpenMailbox(); }).Message(), TSignedInUser::kSignInExpired);
    EXPECT_EQ(later.Status(), TMicrosoft365Status::SignedOut);
}

TEST_F(MailboxStoreTest, ReReadSeesWhatOthersAdded)
{
    SignIn();
    const auto store = Microsoft365().OpenMailbox();
    standIn.AddUser(kOid, kUpn, {{"Red", "preset0"}, {"Blue", "preset7"}, {"Green", "preset4"}});
    EXPECT_EQ(store->Names().IndexOf(L"Green"), -1);
    store->ReRead();
    EXPECT_NE(store->Names().IndexOf(L"Green"), -1);
    EXPECT_EQ(store->ColorOf(L"Green"), TCategoryColor::FromOutlook(5));
}

TEST_F(MailboxStoreTest, AddsOneByOneOrManyInBatches)
{
    SignIn();
    const auto store = Microsoft365().OpenMailbox();
    standIn.Post("log/clear");
    const TAddOutcome one = store->Add(L"Yellow", TCategoryColor::FromOutlook(4));
    EXPECT_TRUE(one.Added);
    EXPECT_EQ(store->ColorOf(L"Yellow"), TCategoryColor::FromOutlook(4));
    const TAddOutcome refused = store->Add(L"yellow", std::nullopt);
    EXPECT_FALSE(refused.Added);
    EXPECT_EQ(refused.Refusal, L"A category named 'yellow' already exists.");
    EXPECT_EQ(CountOuter(standIn.Log(), "/$batch"), 2u);

    standIn.Post("log/clear");
    std::vector<std::wstring> many;
    for (int i = 0; i < 100; ++i)
        many.push_back(L"Many " + std::to_wstring(i));
    std::vector<TAddOutcome> outcomes(many.size());
    std::vector<std::size_t> colorsAsked;
    store->AddMany(
        many,
        [&](std::size_t i) {
            colorsAsked.push_back(i);
            return TCategoryColor::FromOutlook(static_cast<int>(i % 26));
        },
        [&](std::size_t i, const TAddOutcome& outcome) {
            // Each batch's colours are asked before it goes, not all before the first.
            EXPECT_LT(i, colorsAsked.size());
            EXPECT_LE(colorsAsked.size(), (i / 20 + 1) * 20);
            outcomes[i] = outcome;
        });
    EXPECT_EQ(std::count_if(outcomes.begin(), outcomes.end(), [](const TAddOutcome& o) { return o.Added; }), 100);
    EXPECT_EQ(CountOuter(standIn.Log(), "/$batch"), 5u);
    EXPECT_EQ(store->Names().Count(), 103);
    EXPECT_EQ(store->ColorOf(L"Many 27"), TCategoryColor::FromOutlook(1));
}

TEST_F(MailboxStoreTest, GivesAColourButNeverANameAndAGoneCategoryIsRefused)
{
    SignIn();
    const auto store = Microsoft365().OpenMailbox();
    const TColorOutcome changed = store->SetColor(L"Red", TCategoryColor::FromOutlook(9));
    EXPECT_TRUE(changed.Changed) << ToUtf8(changed.Refusal);
    EXPECT_EQ(store->ColorOf(L"red"), TCategoryColor::FromOutlook(9));
    store->ReRead();
    EXPECT_EQ(store->ColorOf(L"Red"), TCategoryColor::FromOutlook(9)) << "Graph kept it";
    EXPECT_EQ(StoreDisplayText(store->Names()), L"Blue\r\nRed\r\n");

    // Removed and made again elsewhere since the read: the id read is gone.
    standIn.AddUser(kOid, kUpn, {{"Red", "preset0"}});
    const TColorOutcome gone = store->SetColor(L"Red", TCategoryColor::FromOutlook(2));
    EXPECT_FALSE(gone.Changed);
    EXPECT_NE(gone.Refusal.find(L"not found"), std::wstring::npos) << ToUtf8(gone.Refusal);
    EXPECT_FALSE(store->SetColor(L"Purple", TCategoryColor::FromOutlook(2)).Changed);
}

// A mailbox that lets no colour be changed stops the change at the first
// category, with the permission it wants named, rather than turning each
// category away in turn.
TEST_F(MailboxStoreTest, AMailboxDenyingColourChangesStopsNamingThePermission)
{
    SignIn();
    const auto store = Microsoft365().OpenMailbox();
    standIn.Fail({{"method", "PATCH"}, {"status", 403}, {"code", "ErrorAccessDenied"}, {"count", -1}});
    const auto denied = Caught<EGraphError>([&] { store->SetColor(L"Red", TCategoryColor::FromOutlook(9)); });
    EXPECT_NE(denied.Message().find(L"MailboxSettings.ReadWrite"), std::wstring::npos) << denied.what();
    EXPECT_EQ(store->ColorOf(L"Red"), TCategoryColor::FromOutlook(1)) << "unchanged";
}

TEST_F(MailboxStoreTest, NamesAddedBeforeAFailureStayKnown)
{
    SignIn();
    const auto store = Microsoft365().OpenMailbox();
    standIn.Fail({{"where", "inner"}, {"name", "N 22"}, {"status", 500}, {"code", "ErrorInternalServerError"}});
    std::vector<std::wstring> names;
    for (int i = 0; i < 25; ++i)
        names.push_back(L"N " + std::to_wstring(i));
    std::size_t told = 0;
    EXPECT_THROW(store->AddMany(
                     names, [](std::size_t) { return std::nullopt; },
                     [&](std::size_t, const TAddOutcome& outcome) { told += outcome.Added ? 1 : 0; }),
                 EGraphError);
    EXPECT_EQ(told, 24u) << "each name the batch added was told before the failure raised";
    EXPECT_EQ(store->Names().Count(), 2 + 24);
    EXPECT_EQ(store->Names().IndexOf(L"N 22"), -1);
}

TEST_F(MailboxStoreTest, RefusedAddressSendsNothing)
{
    SetEnvironmentVariableW(L"PELLORIN_LOGIN_URL", L"http://login.example.org");
    TMicrosoft365 microsoft365 = Microsoft365();
    EXPECT_THROW(microsoft365.NewSignIn().Start(), EUrlRefused);
    EXPECT_EQ(http.RequestsSent(), 0u);
}

TEST_F(MailboxStoreTest, NoTokenInAnyTextOrFileOrTheRegistry)
{
    SignIn();
    std::vector<std::wstring> texts;
    const auto keep = [&](const std::function<void()>& action) {
        try {
            action();
        } catch (const EException& e) {
            texts.push_back(e.Message());
        }
    };
    {
        const auto store = Microsoft365().OpenMailbox();
        standIn.Post("tokens", {{"expire_access", true}});
        store->ReRead();
        standIn.Fail({{"path", "/masterCategories"}, {"status", 401}, {"count", -1}});
        keep([&] { store->ReRead(); });
        standIn.Post("reset");
        standIn.AddUser(kOid, kUpn);
        keep([&] { store->ReRead(); });
        keep([&] { store->Add(L"x", std::nullopt); });
    }
    const nlohmann::json tokens = standIn.Get("tokens");
    ASSERT_EQ(texts.size(), 3u);
    for (const std::wstring& text : texts)
        EXPECT_FALSE(HoldsAnyToken(text, tokens)) << ToUtf8(text);

    // The cache holds the refresh token, sealed.
    std::string sealed;
    {
        HANDLE file = CreateFileW(CachePath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        char buffer[8192];
        DWORD read = 0;
        ReadFile(file, buffer, sizeof(buffer), &read, nullptr);
        CloseHandle(file);
        sealed.assign(buffer, read);
    }
    EXPECT_FALSE(HoldsAnyToken(FromUtf8(sealed), tokens));
    EXPECT_NE(Cache().Load()->RefreshToken, "");

    // The registry holds the two settings and nothing else of ours.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Pellorin", 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD subkeys = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(key);
    EXPECT_EQ(subkeys, 1u);
    DWORD values = 0;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kMicrosoft365UserKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(key);
    EXPECT_EQ(values, 2u);
}

}  // namespace
