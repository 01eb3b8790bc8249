// An audit against the Graph stand-in, in-process: that it finds exactly what
// deploy would add and recolour, names what a mailbox holds beyond the list,
// and never writes, even with an app that may only read.
#include "deploy/Deployment.h"
#include "graph/GraphStandIn.h"
#include "identity/AppTokenSource.h"
#include "support/Caught.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <map>
#include <mutex>
#include <random>

namespace {

constexpr char kClientId[] = "0b7c8a2e-4d1f-4b6a-9c3e-2f5d6e7a8b9c";
constexpr char kTenant[] = "contoso.onmicrosoft.com";
constexpr wchar_t kSecretVariable[] = L"PELLORIN_TEST_CLIENT_SECRET";

class TOutcomes : public IDeployProgress {
public:
    void Skipped(const TMailbox&, const TDeployCounts&) override {}
    void Finished(const TMailboxOutcome& outcome, const TDeployCounts&) override
    {
        const std::lock_guard lock(mutex_);
        byMailbox[outcome.Mailbox.Address] = outcome;
    }
    void Tick(const TDeployCounts&) override {}

    std::map<std::wstring, TMailboxOutcome> byMailbox;

private:
    std::mutex mutex_;
};

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

// Requests to Graph that could change a mailbox; sign-in's own POSTs are not.
std::size_t WriteRequests(const std::vector<nlohmann::json>& log)
{
    std::size_t n = 0;
    for (const nlohmann::json& entry : log) {
        const std::string path = entry["path"].get<std::string>();
        if (path.find("/v1.0/") == std::string::npos)
            continue;
        const std::string method = entry["method"].get<std::string>();
        n += method != "GET" || path.find("$batch") != std::string::npos;
    }
    return n;
}

class AuditTest : public testing::Test {
protected:
    void SetUp() override
    {
        standIn.Reset();
        Register({"MailboxSettings.Read"});
        options.GraphUrl = standIn.Url();
        options.Concurrency = 4;
        options.FirstBackOffMs = 5;
    }
    void TearDown() override { SetEnvironmentVariableW(kSecretVariable, nullptr); }

    void Register(const std::vector<std::string>& consent) const
    {
        standIn.RegisterApp({{"client_id", kClientId}, {"tenant", kTenant}, {"consent", consent}}, kSecretVariable);
    }

    std::map<std::wstring, TMailboxOutcome> Run(const std::vector<TListFileEntry>& list, const std::string& mailboxes,
                                                const TDeployOptions& how)
    {
        TMailboxListFile source = TMailboxListFile::Parse(mailboxes, L"mailboxes.txt");
        TOutcomes outcomes;
        last = RunDeployment(http, tokens, list, source, source.Count(), nullptr, how, outcomes);
        return std::move(outcomes.byMailbox);
    }

    TGraphStandIn standIn;
    THttpClient http;
    TAppTokenSource tokens{http, {standIn.Url(), FromUtf8(kTenant), FromUtf8(kClientId)},
                           TAppCredential::SecretInVariable(kSecretVariable)};
    TDeployOptions options;
    TDeployResult last;
};

}  // namespace

TEST_F(AuditTest, FindsWhatDeployWouldAddAndRecolourOverRandomLists)
{
    // Deploy's dry runs, like the audit, need no write permission.
    const char* const pool[] = {"Red", "Blue", "Green", "Ärger", "Project X", "Travel", "Ω", "Key Customer"};
    std::mt19937 random(20261208);
    const auto spelled = [&](std::string name) {
        // Letter case varies, as between one mailbox and another.
        if (random() % 3 == 0 && name[0] >= 'A' && name[0] <= 'Z')
            name[0] = static_cast<char>(name[0] - 'A' + 'a');
        return name;
    };
    const auto color = [&] { return "preset" + std::to_string(random() % 4); };
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        std::vector<TListFileEntry> list;
        for (const char* name : pool) {
            if (random() % 2 == 0) {
                const std::string graphColor = color();
                list.push_back({FromUtf8(name), random() % 4 == 0 ? std::nullopt
                                                                   : TCategoryColor::FromGraphName(FromUtf8(graphColor))});
            }
        }
        std::string mailboxes;
        std::map<std::wstring, std::vector<std::wstring>> held;
        for (int m = 0; m < 12; ++m) {
            const std::string upn = "user" + std::to_string(m) + "-" + std::to_string(round) + "@contoso.com";
            std::vector<std::pair<std::string, std::string>> categories;
            for (const char* name : pool) {
                if (random() % 2 == 0) {
                    categories.push_back({spelled(name), random() % 5 == 0 ? "none" : color()});
                    held[FromUtf8(upn)].push_back(FromUtf8(categories.back().first));
                }
            }
            standIn.AddUser("oid-" + std::to_string(m) + "-" + std::to_string(round), upn, categories);
            mailboxes += upn + "\r\n";
        }

        TDeployOptions audit = options;
        audit.Audit = true;
        TDeployOptions dryRun = options;
        dryRun.DryRun = true;
        TDeployOptions colorsDryRun = dryRun;
        colorsDryRun.Colors = true;
        const auto audited = Run(list, mailboxes, audit);
        const TDeployCounts auditCounts = last.Counts;
        const auto added = Run(list, mailboxes, dryRun);
        const auto recoloured = Run(list, mailboxes, colorsDryRun);

        ASSERT_EQ(audited.size(), 12u);
        std::size_t lacking = 0;
        for (const auto& [mailbox, outcome] : audited) {
            SCOPED_TRACE(ToUtf8(mailbox));
            EXPECT_EQ(outcome.Result == EMailboxResult::Failed, false) << ToUtf8(outcome.Error);
            EXPECT_EQ(outcome.Added, added.at(mailbox).Added);
            EXPECT_EQ(outcome.Recoloured, recoloured.at(mailbox).Recoloured);
            lacking += !outcome.Added.empty();
            // Extra: each held name the list does not name, once, as the mailbox spells it.
            std::vector<std::wstring> expected;
            for (const std::wstring& name : held[mailbox]) {
                const bool listed = std::any_of(list.begin(), list.end(),
                                                [&](const TListFileEntry& e) { return Lower(e.Name) == Lower(name); });
                if (!listed)
                    expected.push_back(name);
            }
            EXPECT_EQ(outcome.Extra, expected);
        }
        EXPECT_EQ(auditCounts.Lacking, lacking);
        EXPECT_EQ(WriteRequests(standIn.Log()), 0u) << "an audit and dry runs only read";
    }
}

TEST_F(AuditTest, AnAppThatMayOnlyReadAuditsAndAnAppThatMayNotReadIsToldWhatItNeeds)
{
    standIn.AddUser("a", "ann@contoso.com", {{"red", "preset3"}, {"Own", "preset1"}});
    standIn.AddUser("b", "bob@contoso.com", {{"Red", "preset0"}, {"Blue", "preset7"}});
    const std::vector<TListFileEntry> list = {{L"Red", TCategoryColor::FromGraphName(L"preset0")},
                                              {L"Blue", TCategoryColor::FromGraphName(L"preset7")}};
    options.Audit = true;
    const auto outcomes = Run(list, "ann@contoso.com\r\nbob@contoso.com\r\n", options);

    const TMailboxOutcome& ann = outcomes.at(L"ann@contoso.com");
    EXPECT_EQ(ann.Result, EMailboxResult::Changed) << ToUtf8(ann.Error);
    EXPECT_EQ(ann.Added, std::vector<std::wstring>{L"Blue"});
    EXPECT_EQ(ann.Recoloured, std::vector<std::wstring>{L"red"}) << "an audit always compares colours";
    EXPECT_EQ(ann.Extra, std::vector<std::wstring>{L"Own"});
    EXPECT_EQ(outcomes.at(L"bob@contoso.com").Result, EMailboxResult::Unchanged);
    EXPECT_EQ(last.Counts.Unchanged, 1u);
    EXPECT_EQ(last.Counts.Lacking, 1u);
    EXPECT_EQ(last.Counts.ColorDiffers, 1u);
    EXPECT_EQ(last.Counts.WithExtra, 1u);
    EXPECT_EQ(last.Requests, 3u) << "one read a mailbox, and the token";
    EXPECT_EQ(WriteRequests(standIn.Log()), 0u);
    EXPECT_EQ(standIn.Categories("a").size(), 2u);

    standIn.Reset();
    Register({});
    standIn.AddUser("a", "ann@contoso.com");
    const auto e = Caught<EConsentMissing>([&] { Run(list, "ann@contoso.com\r\n", options); });
    EXPECT_NE(e.Message().find(L"MailboxSettings.Read "), std::wstring::npos) << e.what();
}
