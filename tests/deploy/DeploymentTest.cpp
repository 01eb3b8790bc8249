// A deployment against the Graph stand-in, in-process: what each mailbox
// gains and when it is read, Graph's throttling and failures, a missing
// consent, the journal of a stopped run; and, without the stand-in, what a
// mailbox lacks and how the number of mailboxes at once follows a storm.
#include "deploy/ConcurrencyControl.h"
#include "deploy/Deployment.h"
#include "deploy/MailboxPlan.h"
#include "deploy/TempFolder.h"
#include "graph/GraphStandIn.h"
#include "identity/AppTokenSource.h"
#include "support/Caught.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <thread>

namespace {

constexpr char kClientId[] = "0b7c8a2e-4d1f-4b6a-9c3e-2f5d6e7a8b9c";
constexpr char kTenant[] = "contoso.onmicrosoft.com";
constexpr wchar_t kSecretVariable[] = L"PELLORIN_TEST_CLIENT_SECRET";

using TNames = std::vector<std::pair<std::string, std::string>>;

std::optional<TCategoryColor> Color(const char* graphName)
{
    return graphName ? TCategoryColor::FromGraphName(FromUtf8(graphName)) : std::nullopt;
}

class TRecorder : public IDeployProgress {
public:
    void Skipped(const TMailbox& mailbox, const TDeployCounts&) override
    {
        const std::lock_guard lock(mutex_);
        skipped.push_back(mailbox.Address);
    }
    void Finished(const TMailboxOutcome& outcome, const TDeployCounts&) override
    {
        const std::lock_guard lock(mutex_);
        outcomes[outcome.Mailbox.Address] = outcome;
    }
    void Tick(const TDeployCounts&) override {}
    void Clear()
    {
        skipped.clear();
        outcomes.clear();
    }

    std::vector<std::wstring> skipped;
    std::map<std::wstring, TMailboxOutcome> outcomes;

private:
    std::mutex mutex_;
};

class DeploymentTest : public testing::Test {
protected:
    void SetUp() override
    {
        standIn.Reset();
        Register({"MailboxSettings.ReadWrite", "User.Read.All"});
        options.GraphUrl = standIn.Url();
        options.Concurrency = 3;
        options.FirstBackOffMs = 5;
        list = {{L"Red", Color("preset0")}, {L"Blue", Color("preset7")}, {L"Green", std::nullopt}};
    }
    void TearDown() override { SetEnvironmentVariableW(kSecretVariable, nullptr); }

    void Register(const std::vector<std::string>& consent) const
    {
        standIn.RegisterApp({{"client_id", kClientId}, {"tenant", kTenant}, {"consent", consent}}, kSecretVariable);
    }

    TDeployResult Deploy(const std::string& mailboxes, TDeployJournal* journal = nullptr)
    {
        TMailboxListFile source = TMailboxListFile::Parse(mailboxes, L"mailboxes.txt");
        recorder.Clear();
        return RunDeployment(http, tokens, list, source, source.Count(), journal, options, recorder);
    }

    // Requests of the log to one mailbox, batch members left out.
    std::size_t Reads(const std::string& upn) const
    {
        return CountOuter(standIn.Log(), "/users/" + Encoded(upn) + "/outlook/masterCategories");
    }
    // As the address goes into a path.
    static std::string Encoded(std::string upn)
    {
        return upn.replace(upn.find('@'), 1, "%40");
    }
    std::size_t Changes() const
    {
        std::size_t n = 0;
        for (const auto& entry : standIn.Log()) {
            const std::string method = entry["method"].get<std::string>();
            if (method == "POST" || method == "PATCH")
                n += entry["path"].get<std::string>().find("masterCategories") != std::string::npos;
        }
        return n;
    }

    TGraphStandIn standIn;
    THttpClient http;
    TAppTokenSource tokens{http, {standIn.Url(), FromUtf8(kTenant), FromUtf8(kClientId)},
                           TAppCredential::SecretInVariable(kSecretVariable)};
    TDeployOptions options;
    std::vector<TListFileEntry> list;
    TRecorder recorder;
};

}  // namespace

TEST_F(DeploymentTest, EachMailboxGainsWhatItLacksFromOneReadAndOneBatch)
{
    standIn.AddUser("a", "ann@contoso.com", {{"red", "preset3"}, {"Own", "preset1"}});
    standIn.AddUser("b", "bob@contoso.com");
    standIn.AddUser("c", "cy@contoso.com", {{"RED", "preset0"}, {"blue", "preset7"}, {"green", "none"}});
    const TDeployResult result = Deploy("ann@contoso.com\r\nbob@contoso.com\r\ncy@contoso.com\r\n");

    EXPECT_EQ(standIn.Categories("a"),
              (TNames{{"red", "preset3"}, {"Own", "preset1"}, {"Blue", "preset7"}, {"Green", "none"}}))
        << "letter case ignored, nothing renamed, recoloured or removed";
    EXPECT_EQ(standIn.Categories("b"), (TNames{{"Red", "preset0"}, {"Blue", "preset7"}, {"Green", "none"}}));
    EXPECT_EQ(standIn.Categories("c").size(), 3u);
    for (const char* upn : {"ann@contoso.com", "bob@contoso.com", "cy@contoso.com"})
        EXPECT_EQ(Reads(upn), 1u) << upn;
    EXPECT_EQ(CountOuter(standIn.Log(), "/$batch"), 2u) << "none for the mailbox that lacks nothing";
    EXPECT_EQ(result.Requests, 6u) << "and the token";

    EXPECT_EQ(recorder.outcomes[L"ann@contoso.com"].Added, (std::vector<std::wstring>{L"Blue", L"Green"}));
    EXPECT_EQ(recorder.outcomes[L"cy@contoso.com"].Result, EMailboxResult::Unchanged);
    EXPECT_EQ(result.Counts.Changed, 2u);
    EXPECT_EQ(result.Counts.Unchanged, 1u);
    EXPECT_EQ(result.Counts.NamesAdded, 5u);
    EXPECT_EQ(result.Counts.Total, 3u);
    EXPECT_FALSE(result.Stopped);
}

TEST_F(DeploymentTest, ColorsRecoloursHeldNamesWhoseColourTheFileGivesOtherwise)
{
    standIn.AddUser("a", "ann@contoso.com", {{"red", "preset3"}, {"Blue", "preset7"}, {"green", "preset9"}});
    Deploy("ann@contoso.com\r\n");
    EXPECT_EQ(Changes(), 0u) << "without --colors a held name keeps its colour";

    options.Colors = true;
    const TDeployResult result = Deploy("ann@contoso.com\r\n");
    EXPECT_EQ(standIn.Categories("a"), (TNames{{"red", "preset0"}, {"Blue", "preset7"}, {"green", "preset9"}}))
        << "Blue already has its colour; the file gives Green none";
    EXPECT_EQ(recorder.outcomes[L"ann@contoso.com"].Recoloured, (std::vector<std::wstring>{L"red"}));
    EXPECT_EQ(result.Counts.Recoloured, 1u);
}

TEST_F(DeploymentTest, DryRunReadsEveryMailboxAndChangesNothing)
{
    standIn.AddUser("a", "ann@contoso.com", {{"red", "preset3"}});
    standIn.AddUser("b", "bob@contoso.com", {{"Red", "preset0"}, {"Blue", "preset7"}, {"Green", "none"}});
    options.DryRun = true;
    options.Colors = true;
    TTempFolder folder;
    TDeployJournal journal(folder.Path(L"run.journal"), {"00", L"contoso.onmicrosoft.com", true});
    const TDeployResult result = Deploy("ann@contoso.com\r\nbob@contoso.com\r\n", &journal);

    EXPECT_EQ(Changes(), 0u);
    EXPECT_EQ(standIn.Categories("a"), (TNames{{"red", "preset3"}}));
    EXPECT_EQ(recorder.outcomes[L"ann@contoso.com"].Added, (std::vector<std::wstring>{L"Blue", L"Green"}));
    EXPECT_EQ(recorder.outcomes[L"ann@contoso.com"].Recoloured, (std::vector<std::wstring>{L"red"}));
    EXPECT_EQ(result.Counts.Changed, 1u) << "would change";
    EXPECT_EQ(folder.Read(L"run.journal").find("ann@"), std::string::npos) << "a dry run writes no journal line";
}

TEST_F(DeploymentTest, ThrottlingAndTransientFailuresAreWaitedOutAndTriedAgain)
{
    struct TCase {
        const char* Why;
        nlohmann::json Rule;
        std::size_t Reads;
    };
    const TCase cases[] = {
        {"429 with Retry-After", {{"status", 429}, {"retry_after", "0.2"}, {"count", 2}, {"method", "GET"}}, 3},
        {"503 with Retry-After", {{"status", 503}, {"retry_after", "0.1"}, {"count", 1}, {"method", "GET"}}, 2},
        {"502 twice", {{"status", 502}, {"count", 2}, {"method", "GET"}}, 3},
        {"504 five times, the last retry", {{"status", 504}, {"count", 5}, {"method", "GET"}}, 6},
        {"a 502 for the batch: read again, nothing added twice", {{"status", 502}, {"count", 1}, {"path", "$batch"}}, 2},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Why);
        standIn.Post("log/clear");
        standIn.AddUser("a", "ann@contoso.com", {{"Red", "preset0"}});
        standIn.Fail(c.Rule);
        const TDeployResult result = Deploy("ann@contoso.com\r\n");
        EXPECT_EQ(result.Counts.Changed, 1u);
        EXPECT_EQ(Reads("ann@contoso.com"), c.Reads);
        EXPECT_EQ(standIn.Categories("a"), (TNames{{"Red", "preset0"}, {"Blue", "preset7"}, {"Green", "none"}}));
    }
}

TEST_F(DeploymentTest, AnInnerThrottleInABatchSendsThatNameAgainAlone)
{
    standIn.AddUser("a", "ann@contoso.com");
    standIn.Fail({{"status", 429}, {"retry_after", "0.1"}, {"where", "inner"}, {"name", "Blue"}, {"count", 1}});
    const TDeployResult result = Deploy("ann@contoso.com\r\n");
    EXPECT_EQ(standIn.Categories("a").size(), 3u);
    EXPECT_EQ(CountOuter(standIn.Log(), "/$batch"), 2u);
    std::size_t posts = 0;
    for (const auto& entry : standIn.Log())
        posts += entry["inner"].get<bool>() && entry["method"] == "POST";
    EXPECT_EQ(posts, 4u) << "three names, one of them twice";
    EXPECT_EQ(result.Counts.NamesAdded, 3u);
}

// 409 in a batch: Graph holds the name in a spelling this program tells
// apart. The name is there, so the mailbox is done, and a resumed run does
// not fail it again.
TEST_F(DeploymentTest, ANameGraphHoldsInAnotherSpellingLeavesTheMailboxDone)
{
    TTempFolder folder;
    const TJournalHeader header{"ab", L"contoso.onmicrosoft.com", false};
    standIn.AddUser("a", "ann@contoso.com");
    standIn.Fail({{"status", 409}, {"code", "ErrorFolderExists"}, {"message", "A category named 'Blue' already exists."},
                  {"where", "inner"}, {"name", "Blue"}, {"count", -1}});
    {
        TDeployJournal journal(folder.Path(L"run.journal"), header);
        const TDeployResult result = Deploy("ann@contoso.com\r\n", &journal);
        EXPECT_EQ(result.Counts.Failed, 0u);
        EXPECT_EQ(recorder.outcomes[L"ann@contoso.com"].Result, EMailboxResult::Changed);
        EXPECT_EQ(recorder.outcomes[L"ann@contoso.com"].Added, (std::vector<std::wstring>{L"Red", L"Green"}));
        EXPECT_EQ(recorder.outcomes[L"ann@contoso.com"].Error, L"");
    }
    TDeployJournal journal(folder.Path(L"run.journal"), header);
    const TDeployResult again = Deploy("ann@contoso.com\r\n", &journal);
    EXPECT_EQ(recorder.skipped, (std::vector<std::wstring>{L"ann@contoso.com"}));
    EXPECT_EQ(again.Counts.Failed, 0u);
}

TEST_F(DeploymentTest, AStormOf429sAcrossMailboxesLowersTheMailboxesAtOnce)
{
    std::string mailboxes;
    for (int i = 0; i < 24; ++i) {
        std::string oid(1, 'u');
        oid += std::to_string(i);
        const std::string upn = oid + "@contoso.com";
        standIn.AddUser(oid, upn);
        mailboxes += upn + "\r\n";
    }
    standIn.Post("load", {{"throttle_share", 0.6}, {"unavailable_share", 0}, {"retry_after", {0.02, 0.05}}, {"seed", 1}});
    standIn.Set({{"latency_ms", 20}});
    options.Concurrency = 8;
    options.Pace = {100, 10, 0.25, 0.10};
    const TDeployResult result = Deploy(mailboxes);
    EXPECT_EQ(result.Counts.Changed, 24u);
    EXPECT_LT(result.LowestConcurrency, 8);
    EXPECT_GE(result.LowestConcurrency, 1);
}

TEST_F(DeploymentTest, AMailboxWhoseEveryRequestFailsFailsAloneAndTheRunGoesOn)
{
    standIn.AddUser("a", "ann@contoso.com");
    standIn.AddUser("b", "bob@contoso.com");
    standIn.AddUser("c", "cy@contoso.com");
    standIn.Fail({{"status", 502}, {"code", "BadGateway"}, {"message", "The gateway failed."}, {"count", -1},
                  {"path", "/users/bob%40contoso.com/"}});
    // A user Graph does not know: not worth another try.
    const TDeployResult result = Deploy("ann@contoso.com\r\nbob@contoso.com\r\ncy@contoso.com\r\nno@contoso.com\r\n");

    EXPECT_EQ(Reads("bob@contoso.com"), 1u + kTransientRetries);
    EXPECT_EQ(Reads("no@contoso.com"), 1u);
    const TMailboxOutcome& bob = recorder.outcomes[L"bob@contoso.com"];
    EXPECT_EQ(bob.Result, EMailboxResult::Failed);
    EXPECT_NE(bob.Error.find(L"The gateway failed."), std::wstring::npos) << ToUtf8(bob.Error);
    EXPECT_EQ(recorder.outcomes[L"no@contoso.com"].Result, EMailboxResult::Failed);
    EXPECT_EQ(result.Counts.Failed, 2u);
    EXPECT_EQ(result.Counts.Changed, 2u);
    EXPECT_EQ(standIn.Categories("c").size(), 3u);
    EXPECT_FALSE(result.Stopped);
}

TEST_F(DeploymentTest, WithoutConsentTheRunStopsBeforeAnythingChanges)
{
    standIn.Reset();
    Register({"User.Read.All"});
    standIn.AddUser("a", "ann@contoso.com");
    standIn.AddUser("b", "bob@contoso.com");
    const auto e = Caught<EConsentMissing>([&] { Deploy("ann@contoso.com\r\nbob@contoso.com\r\n"); });
    EXPECT_EQ(e.Message().rfind(L"The application permission MailboxSettings.ReadWrite needs admin consent.", 0), 0u)
        << e.what();
    EXPECT_EQ(Reads("bob@contoso.com"), 0u) << "the first mailbox is tried alone";
    EXPECT_EQ(Changes(), 0u);
}

TEST_F(DeploymentTest, AGraphThatTurnsAwayEveryTokenEndsTheRunInsteadOfAskingForEver)
{
    standIn.AddUser("a", "ann@contoso.com");
    standIn.Fail({{"status", 401}, {"code", "InvalidAuthenticationToken"}, {"count", -1}, {"path", "masterCategories"}});
    const auto e = Caught<ECredentialError>([&] { Deploy("ann@contoso.com\r\n"); });
    EXPECT_NE(e.Message().find(L"a new one as well"), std::wstring::npos) << e.what();
    EXPECT_EQ(tokens.TokensRequested(), 2u);
}

TEST_F(DeploymentTest, AResumedRunSkipsFinishedMailboxesAndAddsNothingTwice)
{
    TTempFolder folder;
    const TJournalHeader header{"ab", L"contoso.onmicrosoft.com", false};
    standIn.AddUser("a", "ann@contoso.com");
    standIn.AddUser("b", "bob@contoso.com");
    // The killed run had finished ann, and added Red to bob without writing
    // his line.
    standIn.AddUser("c", "cy@contoso.com", {{"Red", "preset0"}});
    {
        TDeployJournal journal(folder.Path(L"run.journal"), header);
        journal.Append({L"ANN@contoso.com", EMailboxResult::Changed, {L"Red"}, {}, {}});
        journal.Append({L"bob@contoso.com", EMailboxResult::Failed, {}, {}, L"HTTP 500"});
    }
    TDeployJournal journal(folder.Path(L"run.journal"), header);
    const TDeployResult result = Deploy("ann@contoso.com\r\nbob@contoso.com\r\ncy@contoso.com\r\n", &journal);

    EXPECT_EQ(recorder.skipped, (std::vector<std::wstring>{L"ann@contoso.com"}));
    EXPECT_EQ(Reads("ann@contoso.com"), 0u);
    EXPECT_EQ(standIn.Categories("a").size(), 0u);
    EXPECT_EQ(standIn.Categories("b").size(), 3u) << "a failed mailbox is tried again";
    EXPECT_EQ(recorder.outcomes[L"cy@contoso.com"].Added, (std::vector<std::wstring>{L"Blue", L"Green"}));
    EXPECT_EQ(result.Counts.Skipped, 1u);
    EXPECT_EQ(result.Counts.Total, 3u);

    const std::string lines = folder.Read(L"run.journal");
    EXPECT_NE(lines.find(R"({"mailbox":"cy@contoso.com","result":"changed","added":["Blue","Green"])"),
              std::string::npos)
        << lines;
}

TEST(MailboxPlan, WhatAMailboxLacksAndWhatColoursItChanges)
{
    const std::vector<TListFileEntry> list = {{L"Stra\u00DFe", Color("preset1")},
                                              {L"Red", Color("preset0")},
                                              {L"Plain", std::nullopt},
                                              {L"Grey", Color("none")}};
    struct TCase {
        const char* Why;
        std::vector<TGraphCategory> Held;
        bool Colors;
        std::vector<std::wstring> Added;
        std::vector<std::wstring> Recoloured;
    };
    const TCase cases[] = {
        {"an empty mailbox gains all, in the file's order", {}, false, {L"Stra\u00DFe", L"Red", L"Plain", L"Grey"}, {}},
        {"letter case and the sharp s compare as everywhere",
         {{L"1", L"STRASSE", L"preset1"}, {L"2", L"red", L"preset0"}}, false, {L"Plain", L"Grey"}, {}},
        {"without --colors no colour changes",
         {{L"1", L"red", L"preset5"}, {L"2", L"grey", L"preset2"}}, false, {L"Stra\u00DFe", L"Plain"}, {}},
        {"with --colors, a differing colour, an explicit none and a colour Graph may add later change; no colour "
         "in the file changes nothing",
         {{L"1", L"red", L"preset5"}, {L"2", L"grey", L"preset2"}, {L"3", L"plain", L"preset9"},
          {L"4", L"Stra\u00DFe", L"preset99"}},
         true, {}, {L"Stra\u00DFe", L"red", L"grey"}},
        {"a matching colour stays", {{L"1", L"Red", L"preset0"}, {L"2", L"GREY", L"none"}}, true,
         {L"Stra\u00DFe", L"Plain"}, {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Why);
        const TMailboxPlan plan = PlanMailbox(list, c.Held, c.Colors);
        std::vector<std::wstring> added;
        for (const TNewCategory& category : plan.Add)
            added.push_back(category.DisplayName);
        EXPECT_EQ(added, c.Added);
        EXPECT_EQ(plan.RecolourNames, c.Recoloured);
        ASSERT_EQ(plan.Recolour.size(), plan.RecolourNames.size());
    }
}

TEST(ConcurrencyControl, AStormHalvesTheMailboxesAtOnceAndCalmAddsThemBack)
{
    ULONGLONG now = 1000;
    // Answers within one window, of which the first throttled are 429; then
    // the window ends with the next one's first answer.
    const auto window = [&](TConcurrencyControl& control, int answers, int throttled) {
        for (int i = 0; i < answers; ++i)
            control.Answered(i < throttled ? 429 : 200, now);
        now += 2000;
        control.Answered(200, now);
    };
    TConcurrencyControl control(16, {2000, 10, 0.25, 0.10});
    window(control, 100, 5);
    EXPECT_EQ(control.Permitted(), 16) << "one in twenty throttled is ordinary";
    window(control, 100, 30);
    EXPECT_EQ(control.Permitted(), 8);
    window(control, 100, 60);
    EXPECT_EQ(control.Permitted(), 4);
    for (int i = 0; i < 20; ++i)
        window(control, 50, 2);
    EXPECT_EQ(control.Permitted(), 16) << "one more each calm window, never past the number asked for";
    EXPECT_EQ(control.Lowest(), 4);

    TConcurrencyControl few(16, {2000, 10, 0.25, 0.10});
    window(few, 100, 60);
    window(few, 3, 3);
    EXPECT_EQ(few.Permitted(), 8) << "four answers tell nothing";
}

namespace {

// A mailbox in Resume on a thread of its own. The control outlives a test
// that fails: with a fault the mailbox may wait for ever, and the test
// should fail, not hang or end the program.
class TResumingMailbox {
public:
    explicit TResumingMailbox(TConcurrencyControl& control)
        : resumed_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          thread_([&control, resumed = resumed_] {
              control.Resume();
              SetEvent(resumed);
          })
    {
        while (control.Resuming() == 0)
            Sleep(1);
    }
    ~TResumingMailbox()
    {
        if (thread_.joinable())
            thread_.detach();
    }
    // Whether it got its place back; waits a while for the thread to say so.
    bool Resumed()
    {
        if (WaitForSingleObject(resumed_, 10'000) != WAIT_OBJECT_0)
            return false;
        thread_.join();
        CloseHandle(resumed_);
        return true;
    }

private:
    HANDLE resumed_;
    std::thread thread_;
};

}  // namespace

// The place goes to the waiting mailbox as it is freed, under the control's
// own lock: which thread runs first decides nothing.
TEST(ConcurrencyControl, AWaitingMailboxGetsItsPlaceBackBeforeANewOne)
{
    auto& control = *new TConcurrencyControl(1);
    ASSERT_TRUE(control.Acquire());
    control.Pause();
    ASSERT_TRUE(control.Acquire()) << "its place is free while it waits";
    TResumingMailbox waiting(control);
    control.Release();
    EXPECT_FALSE(control.TryAcquire()) << "a new mailbox came first";
    ASSERT_TRUE(waiting.Resumed());
    EXPECT_FALSE(control.TryAcquire());
    control.Release();
    EXPECT_TRUE(control.TryAcquire()) << "a new one goes next";
    control.Release();
    delete &control;
}

TEST(ConcurrencyControl, APlaceGivenBackAfterAStormGoesToAWaitingMailboxFirst)
{
    TConcurrencyRules rules;
    rules.WindowMs = 10;
    rules.LeastAnswers = 1;
    auto& control = *new TConcurrencyControl(2, rules);
    control.Answered(429, 0);
    control.Answered(429, 10);
    ASSERT_EQ(control.Permitted(), 1);
    ASSERT_TRUE(control.Acquire());
    control.Pause();
    ASSERT_TRUE(control.Acquire());
    TResumingMailbox waiting(control);
    control.Answered(200, 20);
    ASSERT_EQ(control.Permitted(), 2) << "a calm window";
    EXPECT_FALSE(control.TryAcquire()) << "a new mailbox took the place given back";
    ASSERT_TRUE(waiting.Resumed());
    control.Release();
    control.Release();
    delete &control;
}
