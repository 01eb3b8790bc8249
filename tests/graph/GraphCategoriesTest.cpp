// Graph's category calls against the stand-in: paging, batches, colours, and
// each answer Graph may give instead.

#include "GraphFixture.h"
#include "base/WaitLimit.h"
#include "graph/GraphCategories.h"
#include "identity/SignInErrors.h"
#include "identity/SignedInUser.h"

#include <map>
#include <memory>

namespace {

std::vector<std::wstring> Names(const std::vector<TGraphCategory>& categories)
{
    std::vector<std::wstring> names;
    for (const TGraphCategory& c : categories)
        names.push_back(c.DisplayName);
    return names;
}

class GraphCategoriesTest : public GraphFixture {
protected:
    void SetUp() override
    {
        GraphFixture::SetUp();
        SignIn();
        user = std::make_unique<TSignedInUser>(http, Settings(), Cache());
        // The refresh before the first call is not what these tests count.
        user->AccessToken();
        standIn.Post("log/clear");
    }
    void TearDown() override
    {
        SetWaitLimitSeconds(kDefaultWaitSeconds);
        GraphFixture::TearDown();
    }
    TGraphCategories Graph() { return TGraphCategories(http, *user, standIn.Url()); }

    std::vector<TAddResult> AddAll(const std::vector<TNewCategory>& categories)
    {
        std::vector<TAddResult> results(categories.size());
        Graph().Add(categories, [&](std::size_t i, const TAddResult& r) { results[i] = r; });
        return results;
    }

    std::unique_ptr<TSignedInUser> user;
};

TEST_F(GraphCategoriesTest, ReadsEveryPageInOrder)
{
    standIn.AddUser(kOid, kUpn, {{"A", "none"}, {"B", "preset1"}, {"C", "preset2"}, {"D", "preset3"}, {"E", "none"}});
    standIn.Set({{"page_size", 2}});
    const auto categories = Graph().List();
    EXPECT_EQ(Names(categories), (std::vector<std::wstring>{L"A", L"B", L"C", L"D", L"E"}));
    EXPECT_EQ(categories[1].Color, L"preset1");
    EXPECT_FALSE(categories[1].Id.empty());
    EXPECT_EQ(CountOuter(standIn.Log(), "/masterCategories"), 3u);
}

TEST_F(GraphCategoriesTest, NextPageOnAnotherServerIsNotFollowed)
{
    for (const char* elsewhere : {"https://graph.example.org", "http://127.0.0.2:1"}) {
        SCOPED_TRACE(elsewhere);
        standIn.Post("log/clear");
        standIn.Set({{"page_size", 1}, {"next_link_base", elsewhere}});
        const auto failure = Caught<EGraphError>([&] { Graph().List(); });
        EXPECT_NE(failure.Message().find(L"another server"), std::wstring::npos);
        EXPECT_EQ(standIn.Log().size(), 1u);
    }
}

// Only Graph's own scheme, host and port receive the token; a host or port
// that merely starts like Graph's is somewhere else.
TEST(GraphOrigin, SchemeHostAndPortNeverAPrefix)
{
    const std::pair<const wchar_t*, bool> cases[] = {
        {L"https://graph.microsoft.com/v1.0/users?$skiptoken=2", true},
        {L"https://GRAPH.microsoft.com:443/v1.0/users", true},
        {L"https://graph.microsoft.com.example.org/v1.0/users", false},
        {L"https://graph.microsoft.com:8443/v1.0/users", false},
        {L"https://graph.microsoft.co/v1.0/users", false},
        {L"http://graph.microsoft.com/v1.0/users", false},
        {L"https://graph.microsoft.com@example.org/v1.0/users", false},
        {L"/v1.0/users", false},
    };
    for (const auto& [link, same] : cases)
        EXPECT_EQ(IsOnGraphOrigin(L"https://graph.microsoft.com", link), same) << ToUtf8(link);
    EXPECT_TRUE(IsOnGraphOrigin(L"http://127.0.0.1:8080", L"http://127.0.0.1:8080/v1.0/me"));
    EXPECT_FALSE(IsOnGraphOrigin(L"http://127.0.0.1:8080", L"http://127.0.0.1:80801/v1.0/me"));
    EXPECT_FALSE(IsOnGraphOrigin(L"http://127.0.0.1:8080", L"http://127.0.0.1:808/v1.0/me"));
}

TEST_F(GraphCategoriesTest, EachErrorStatusSaysWhatWentWrong)
{
    struct ErrorCase {
        int status;
        const char* code;
        const char* message;
        const wchar_t* expected;
    };
    const ErrorCase cases[] = {
        {403, "ErrorAccessDenied", "Access is denied. Check credentials and try again.",
         L"Microsoft 365 refused access to the category list: the app registration needs the delegated permission "
         L"MailboxSettings.ReadWrite."},
        {403, "Authorization_RequestDenied", "Insufficient privileges.",
         L"Microsoft 365 answered Authorization_RequestDenied: Insufficient privileges."},
        {404, "ErrorInvalidUser", "The requested user is invalid.",
         L"Microsoft 365 answered ErrorInvalidUser: The requested user is invalid."},
        {500, "", "", L"Microsoft 365 answered HTTP 500."},
        {502, "", "Bad gateway", L"Microsoft 365 answered Bad gateway"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.status);
        standIn.Fail({{"path", "/masterCategories"}, {"status", c.status}, {"code", c.code}, {"message", c.message}});
        const auto failure = Caught<EGraphError>([&] { Graph().List(); });
        EXPECT_EQ(failure.Message(), c.expected);
        EXPECT_EQ(failure.Status(), static_cast<DWORD>(c.status));
    }
}

TEST_F(GraphCategoriesTest, ThrottlingIsWaitedOutAsRetryAfterSays)
{
    standIn.Fail({{"path", "/masterCategories"}, {"status", 429}, {"retry_after", "0.3"}, {"count", 1}});
    standIn.Fail({{"path", "/masterCategories"}, {"status", 503}, {"retry_after", "0.2"}, {"count", 1}});
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(Graph().List().size(), 2u);
    EXPECT_GE(GetTickCount64() - start, 450u);
    EXPECT_EQ(CountOuter(standIn.Log(), "/masterCategories"), 3u);
}

TEST_F(GraphCategoriesTest, ThrottlingPastTheWaitLimitStopsAtOnce)
{
    SetWaitLimitSeconds(2);
    standIn.Fail({{"path", "/masterCategories"}, {"status", 429}, {"retry_after", "2.5"}, {"count", -1}});
    const auto failure = Caught<EGraphError>([&] { Graph().List(); });
    EXPECT_EQ(failure.Message(), L"Microsoft 365 stayed busy past the wait of 2 seconds. Try again later.");
    EXPECT_EQ(standIn.Log().size(), 1u);
}

TEST(RetryAfter, SecondsWithFractionsAndNothingElse)
{
    const std::pair<const wchar_t*, std::optional<DWORD>> cases[] = {
        {L"2", 2000},  {L"1.5", 1500},     {L"0.25", 250},      {L" 3 ", 3000},
        {L"0", 0},     {L"100000", 86'400'000}, {L"", std::nullopt}, {L"-1", std::nullopt},
        {L"1.2.3", std::nullopt}, {L"abc", std::nullopt}, {L"Wed, 21 Oct 2015 07:28:00 GMT", std::nullopt},
    };
    for (const auto& [text, ms] : cases)
        EXPECT_EQ(RetryAfterMs(text), ms) << ToUtf8(text);
}

TEST_F(GraphCategoriesTest, UnauthorisedIsRenewedOnceThenTheSignInIsAskedFor)
{
    standIn.Post("tokens", {{"expire_access", true}});
    EXPECT_EQ(Graph().List().size(), 2u);
    const auto log = standIn.Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0]["status"], 401);
    EXPECT_EQ(log[1]["grant_type"], "refresh_token");
    EXPECT_EQ(log[2]["status"], 200);

    standIn.Fail({{"path", "/masterCategories"}, {"status", 401}, {"code", "InvalidAuthenticationToken"}, {"count", -1}});
    EXPECT_EQ(Caught<ESignInRequired>([&] { Graph().List(); }).Message(), TSignedInUser::kSignInRejected);
}

TEST_F(GraphCategoriesTest, AddsGoInBatchesOfTwenty)
{
    std::vector<TNewCategory> categories;
    for (int i = 0; i < 45; ++i)
        categories.push_back({L"Name " + std::to_wstring(i), TCategoryColor::FromOutlook(1 + i % 25)});
    const auto results = AddAll(categories);
    for (const TAddResult& r : results) {
        EXPECT_TRUE(r.Added);
        EXPECT_FALSE(r.Category.Id.empty());
    }
    const auto log = standIn.Log();
    EXPECT_EQ(CountOuter(log, "/$batch"), 3u);
    std::vector<int> sizes;
    for (const auto& entry : log) {
        if (entry.contains("batch_size"))
            sizes.push_back(entry["batch_size"].get<int>());
    }
    EXPECT_EQ(sizes, (std::vector<int>{20, 20, 5}));
    EXPECT_EQ(standIn.Categories(kOid).size(), 47u);
}

TEST_F(GraphCategoriesTest, InnerThrottlingIsRetriedAndInnerRefusalsAreTheNamesOwn)
{
    standIn.Fail({{"where", "inner"}, {"name", "Later"}, {"status", 429}, {"retry_after", "0.2"}, {"count", 2}});
    standIn.Fail({{"where", "inner"}, {"name", "Refused"}, {"status", 400}, {"code", "ErrorInvalidArgument"},
                  {"message", "The name is not allowed."}, {"count", -1}});
    const auto results = AddAll({{L"First", std::nullopt},
                                 {L"Later", TCategoryColor::FromOutlook(3)},
                                 {L"Refused", std::nullopt},
                                 {L"red", std::nullopt},  // already there as "Red"
                                 {L"Last", std::nullopt}});
    EXPECT_TRUE(results[0].Added);
    EXPECT_TRUE(results[1].Added);
    EXPECT_EQ(results[1].Category.Color, L"preset2");
    EXPECT_FALSE(results[2].Added);
    EXPECT_EQ(results[2].Refusal, L"The name is not allowed.");
    EXPECT_FALSE(results[3].Added);
    EXPECT_EQ(results[3].Refusal, L"A category named 'red' already exists.");
    EXPECT_TRUE(results[4].Added);
    EXPECT_EQ(CountOuter(standIn.Log(), "/$batch"), 3u);
}

// A lost sign-in answered inside a batch is about every name: the user is to
// sign in again, not to read that a good name was refused.
TEST_F(GraphCategoriesTest, AnInnerLostSignInIsNoNamesRefusal)
{
    standIn.Fail({{"where", "inner"}, {"name", "Lost"}, {"status", 401}, {"code", "InvalidAuthenticationToken"}});
    std::vector<TAddResult> results(3);
    const auto failure = Caught<EGraphError>([&] {
        Graph().Add({{L"One", std::nullopt}, {L"Lost", std::nullopt}, {L"Two", std::nullopt}},
                    [&](std::size_t i, const TAddResult& r) { results[i] = r; });
    });
    EXPECT_EQ(failure.Status(), 401u);
    EXPECT_TRUE(results[0].Added);
    EXPECT_FALSE(results[1].Added);
    EXPECT_TRUE(results[1].Refusal.empty()) << ToUtf8(results[1].Refusal);
}

// Names throttled in one batch go again together, once the longest of their
// waits is over: the shortest would send the others straight into another 429.
TEST_F(GraphCategoriesTest, NamesThrottledInOneBatchWaitForTheLongestRetryAfter)
{
    standIn.Fail({{"where", "inner"}, {"name", "Soon"}, {"status", 429}, {"retry_after", "0.1"}, {"count", 1}});
    standIn.Fail({{"where", "inner"}, {"name", "Late"}, {"status", 503}, {"retry_after", "0.3"}, {"count", 1}});
    std::vector<DWORD> waits;
    TGraphCategories graph = Graph();
    graph.WaitWith([&](DWORD ms) { waits.push_back(ms); });
    std::vector<bool> added(3);
    graph.Add({{L"Soon", std::nullopt}, {L"Late", std::nullopt}, {L"Now", std::nullopt}},
              [&](std::size_t i, const TAddResult& r) { added[i] = r.Added; });
    EXPECT_EQ(waits, (std::vector<DWORD>{300}));
    EXPECT_EQ(added, (std::vector<bool>{true, true, true}));
    EXPECT_EQ(CountOuter(standIn.Log(), "/$batch"), 2u);
}

TEST_F(GraphCategoriesTest, FailureInABatchRaisesAfterReportingTheRest)
{
    standIn.Fail({{"where", "inner"}, {"name", "Denied"}, {"status", 403}, {"code", "ErrorAccessDenied"}});
    std::vector<std::size_t> added;
    const auto failure = Caught<EGraphError>([&] {
        Graph().Add({{L"One", std::nullopt}, {L"Denied", std::nullopt}, {L"Two", std::nullopt}},
                    [&](std::size_t i, const TAddResult& r) {
                        if (r.Added)
                            added.push_back(i);
                    });
    });
    EXPECT_NE(failure.Message().find(L"MailboxSettings.ReadWrite"), std::wstring::npos);
    std::sort(added.begin(), added.end());
    EXPECT_EQ(added, (std::vector<std::size_t>{0, 2}));
}

TEST_F(GraphCategoriesTest, NameThatIsNotUnicodeIsRefusedWithoutARequest)
{
    const std::wstring broken = std::wstring(L"Half ") + wchar_t(0xD83D);
    const auto results = AddAll({{broken, std::nullopt}});
    EXPECT_FALSE(results[0].Added);
    EXPECT_EQ(results[0].Refusal, TGraphCategories::kInvalidName);
    EXPECT_TRUE(standIn.Log().empty());
}

TEST_F(GraphCategoriesTest, EveryColourCrossesGraphBothWays)
{
    std::vector<TNewCategory> categories;
    for (int value = TCategoryColor::kNoneValue; value <= TCategoryColor::kLastValue; ++value)
        categories.push_back({L"Colour " + std::to_wstring(value), TCategoryColor::FromOutlook(value)});
    // Outlook may answer a value Graph has no name for: Graph picks then.
    categories.push_back({L"Unnamed", TCategoryColor::FromOutlook(44)});
    AddAll(categories);
    std::map<std::string, std::string> stored;
    for (const auto& [name, color] : standIn.Categories(kOid))
        stored[name] = color;
    EXPECT_EQ(stored["Colour 0"], "none");
    EXPECT_EQ(stored["Colour 1"], "preset0");
    EXPECT_EQ(stored["Colour 25"], "preset24");
    EXPECT_EQ(stored["Unnamed"], "none");
    int checked = 0;
    for (const TGraphCategory& category : Graph().List()) {
        if (category.DisplayName.rfind(L"Colour ", 0) == 0) {
            EXPECT_EQ(category.OutlookColor(), TCategoryColor::FromOutlook(std::stoi(category.DisplayName.substr(7))));
            ++checked;
        }
    }
    EXPECT_EQ(checked, 26);
}

TEST_F(GraphCategoriesTest, ColourChangesAndNamesStay)
{
    TGraphCategories graph = Graph();
    const auto red = graph.List().front();
    const TGraphCategory changed = graph.SetColor(red.Id, TCategoryColor::FromOutlook(10));
    EXPECT_EQ(changed.DisplayName, L"Red");
    EXPECT_EQ(changed.Color, L"preset9");
    EXPECT_EQ(standIn.Categories(kOid).front(), (std::pair<std::string, std::string>{"Red", "preset9"}));
    EXPECT_THROW(graph.SetColor(red.Id, TCategoryColor::FromOutlook(44)), EGraphError);
    EXPECT_EQ(CountOuter(standIn.Log(), "/masterCategories"), 2u);
}

TEST_F(GraphCategoriesTest, AnyMailboxByItsPrincipalName)
{
    EXPECT_EQ(UserMailbox(L"alex@contoso.example"), L"/users/alex%40contoso.example");
    EXPECT_EQ(Names(TGraphCategories(http, *user, standIn.Url(), UserMailbox(FromUtf8(kUpn))).List()),
              (std::vector<std::wstring>{L"Red", L"Blue"}));
}

}  // namespace
