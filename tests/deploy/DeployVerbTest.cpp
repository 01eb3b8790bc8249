// "PellorinSync deploy" as a script runs it: the real PellorinSync.exe as a
// child process with its output piped, against the Graph stand-in. Which
// mailboxes a run reaches, what it prints, reports and journals, and every
// kind of bad input, which ends it with exit code 2 and nothing changed.
// And the progress line, in-process, since a test has no console to show it.
#include "cli/DeployCommandLine.h"
#include "cli/DeployOutput.h"
#include "deploy/TempFolder.h"
#include "graph/GraphStandIn.h"
#include "support/SyncProcess.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <windows.h>

#include <algorithm>
#include <string>

#ifndef PELLORIN_SYNC_EXE
#error "PELLORIN_SYNC_EXE names the program under test"
#endif

namespace {

constexpr char kClientId[] = "0b7c8a2e-4d1f-4b6a-9c3e-2f5d6e7a8b9c";
constexpr char kTenant[] = "contoso.onmicrosoft.com";
constexpr char kCyId[] = "5d0c4f2a-1b3e-4c6d-8e9f-0a1b2c3d4e5f";
// The list, its first name spelled as a spreadsheet would run it.
constexpr char kList[] = "DisplayName,Color\r\n'=Total,preset3\r\nRed,preset0\r\nBlue,preset7\r\n";

using TNames = std::vector<std::pair<std::string, std::string>>;
const TNames kFull = {{"=Total", "preset3"}, {"Red", "preset0"}, {"Blue", "preset7"}};

std::wstring WindowsPath(const char* buildPath)
{
    std::wstring path = L"Z:" + FromUtf8(buildPath);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

std::string Utf16(std::string_view ascii)
{
    std::string bytes = "\xFF\xFE";
    for (const char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

class DeployVerbTest : public testing::Test {
protected:
    void SetUp() override
    {
        standIn.Reset();
        Register({"MailboxSettings.ReadWrite", "User.Read.All"});
        standIn.AddUser("a", "ann@contoso.com", {{"Red", "preset0"}});
        standIn.AddUser("b", "bob@contoso.com", kFull);
        standIn.AddUser(kCyId, "cy@contoso.com");
        SetEnvironmentVariableW(L"PELLORIN_LOGIN_URL", standIn.Url().c_str());
        SetEnvironmentVariableW(L"PELLORIN_GRAPH_URL", standIn.Url().c_str());
        folder.Write(L"list.csv", kList);
        folder.Write(L"mailboxes.txt", "ann@contoso.com\r\nbob@contoso.com\r\n");
    }
    void TearDown() override
    {
        for (const wchar_t* name : {L"PELLORIN_LOGIN_URL", L"PELLORIN_GRAPH_URL", L"PELLORIN_TEST_CLIENT_SECRET"})
            SetEnvironmentVariableW(name, nullptr);
    }

    // With made, the stand-in makes the app's secret and the variable holds it;
    // without, the variable keeps a secret that is no longer the app's.
    void Register(const std::vector<std::string>& consent, bool made = true)
    {
        const std::string madeSecret = standIn.RegisterApp(
            {{"client_id", kClientId}, {"tenant", kTenant}, {"secret", made}, {"consent", consent}},
            L"PELLORIN_TEST_CLIENT_SECRET");
        if (made)
            secret = madeSecret;
    }

    std::string Path(const wchar_t* name) const
    {
        std::string quoted(1, '"');
        quoted += ToUtf8(folder.Path(name));
        quoted += '"';
        return quoted;
    }

    // deploy with the list, the tenant, the app and its secret, then more.
    std::string Arguments(const std::string& more) const
    {
        return "deploy " + Path(L"list.csv") + " --tenant " + kTenant + " --client-id " + kClientId +
               " --client-secret-env PELLORIN_TEST_CLIENT_SECRET " + more;
    }

    TSyncRun Run(const std::string& arguments) const
    {
        return TSyncProcess(WindowsPath(PELLORIN_SYNC_EXE), arguments).Finish();
    }

    // Requests that changed a list, batch members counted one by one.
    std::size_t Changes() const
    {
        std::size_t n = 0;
        for (const auto& entry : standIn.Log())
            n += entry["method"] == "PATCH" || (entry["method"] == "POST" && entry["inner"].get<bool>());
        return n;
    }

    TGraphStandIn standIn;
    std::string secret;  // the app's, as the stand-in made it
    TTempFolder folder;
};

}  // namespace

TEST_F(DeployVerbTest, ReachesTheMailboxesOfEachKindOfList)
{
    struct TCase {
        const char* Why;
        const wchar_t* File;
        std::string Bytes;
        std::vector<std::string> Reached;  // by oid
    };
    const TCase cases[] = {
        {"a text file of principal names and ids, a blank line among them", L"chosen.txt",
         std::string("ann@contoso.com\r\n\r\n") + kCyId + "\r\n", {"a", kCyId}},
        {"Export-Csv of Get-MgUser, with its #TYPE line", L"chosen.csv",
         "#TYPE Microsoft.Graph.PowerShell.Models.MicrosoftGraphUser\r\n\"DisplayName\",\"UserPrincipalName\"\r\n"
         "\"Ann\",\"ann@contoso.com\"\r\n\"Cy\",\"cy@contoso.com\"\r\n",
         {"a", kCyId}},
        {"a CSV file with Mail alone", L"chosen.csv", "Name,Mail\nCy,cy@contoso.com\n", {kCyId}},
        {"a CSV file whose ID column is spelled in capitals", L"chosen.csv", std::string("ID,X\r\n") + kCyId + ",1\r\n", {kCyId}},
        {"UTF-16 with its byte-order mark", L"chosen.txt", Utf16("ann@contoso.com\r\n"), {"a"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Why);
        SetUp();
        folder.Write(c.File, c.Bytes);
        const TSyncRun run = Run(Arguments("--mailboxes " + Path(c.File)));
        EXPECT_EQ(run.ExitCode, 0u) << run.Err;
        for (const char* oid : {"a", kCyId}) {
            const bool reached = std::find(c.Reached.begin(), c.Reached.end(), oid) != c.Reached.end();
            EXPECT_EQ(standIn.Categories(oid).size(), reached ? 3u : std::string(oid) == "a" ? 1u : 0u) << oid;
        }
    }
}

TEST_F(DeployVerbTest, AllMailboxesReadsTheUsersPageByPage)
{
    standIn.Reset();
    Register({"MailboxSettings.ReadWrite", "User.Read.All"});
    // 12 users: #5 disabled, #3 and #10 without mail.
    standIn.Post("app/users", {{"count", 12}});
    standIn.Set({{"users_page_size", 4}});
    const TSyncRun run = Run(Arguments("--all-mailboxes"));
    EXPECT_EQ(run.ExitCode, 0u) << run.Err;
    EXPECT_EQ(CountOuter(standIn.Log(), "/v1.0/users?"), 3u) << "12 users, 4 a page";
    EXPECT_EQ(standIn.Categories("user-oid-0").size(), 3u);
    EXPECT_EQ(standIn.Categories("user-oid-3").size(), 0u);
    EXPECT_EQ(standIn.Categories("user-oid-5").size(), 3u) << "disabled with mail: a shared mailbox";
    EXPECT_NE(run.Out.find("10 mailboxes done in "), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("1 shared mailbox among them\r\n"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("2 users without mail left out\r\n"), std::string::npos) << run.Out;
}

TEST_F(DeployVerbTest, LinesSummaryAndReportWithoutProgressWhenRedirected)
{
    folder.Write(L"mailboxes.txt", "ann@contoso.com\r\nbob@contoso.com\r\nzed@contoso.com\r\n");
    const TSyncRun run = Run(Arguments("--mailboxes " + Path(L"mailboxes.txt") + " --report " + Path(L"report.csv")));
    EXPECT_EQ(run.ExitCode, 1u) << "zed has no mailbox";
    EXPECT_EQ(standIn.Categories("a"), (TNames{{"Red", "preset0"}, {"=Total", "preset3"}, {"Blue", "preset7"}}));

    EXPECT_EQ(Count(run.Out, "\r"), Count(run.Out, "\r\n")) << "no progress line in a pipe:\n" << run.Out;
    EXPECT_NE(run.Out.find("ann@contoso.com: added 2\r\n"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("zed@contoso.com: failed: Microsoft 365 answered ErrorInvalidUser: The requested user "
                           "'zed@contoso.com' is invalid.\r\n"),
              std::string::npos)
        << run.Out;
    EXPECT_EQ(run.Out.find("bob@contoso.com"), std::string::npos) << "an unchanged mailbox has no line";
    const std::size_t summary = run.Out.find("3 mailboxes done in ");
    ASSERT_NE(summary, std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find(": 1 changed, 1 unchanged, 1 failed; 2 names added, 0 recoloured\r\n", summary),
              std::string::npos)
        << run.Out;

    const std::string report = folder.Read(L"report.csv");
    EXPECT_EQ(report.rfind("\xEF\xBB\xBFMailbox,Result,Added,Recoloured,Error\r\n", 0), 0u) << report;
    EXPECT_NE(report.find("ann@contoso.com,changed,'=Total; Blue,,\r\n"), std::string::npos)
        << "the names field made spreadsheet-safe:\n" << report;
    EXPECT_NE(report.find("bob@contoso.com,unchanged,,,\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find("zed@contoso.com,failed,,,Microsoft 365 answered ErrorInvalidUser"), std::string::npos)
        << report;
}

TEST_F(DeployVerbTest, JsonIsOneObjectWithEveryMailboxAndTheSummary)
{
    folder.Write(L"mailboxes.txt", "ann@contoso.com\r\nbob@contoso.com\r\nzed@contoso.com\r\n");
    const TSyncRun run = Run(Arguments("--mailboxes " + Path(L"mailboxes.txt") + " --json --dry-run --colors"));
    EXPECT_EQ(run.ExitCode, 1u) << run.Err;
    EXPECT_EQ(Changes(), 0u);
    const auto json = nlohmann::json::parse(run.Out, nullptr, false);
    ASSERT_TRUE(json.is_object()) << run.Out;
    EXPECT_EQ(json["command"], "deploy");
    EXPECT_EQ(json["dryRun"], true);
    ASSERT_EQ(json["mailboxes"].size(), 3u);
    for (const auto& mailbox : json["mailboxes"]) {
        if (mailbox["mailbox"] == "ann@contoso.com") {
            EXPECT_EQ(mailbox["result"], "changed");
            EXPECT_EQ(mailbox["added"], nlohmann::json({"=Total", "Blue"}));
            EXPECT_EQ(mailbox["error"], nullptr);
        } else if (mailbox["mailbox"] == "zed@contoso.com") {
            EXPECT_EQ(mailbox["result"], "failed");
            EXPECT_TRUE(mailbox["error"].is_string());
        }
    }
    const auto& summary = json["summary"];
    EXPECT_EQ(summary["total"], 3);
    EXPECT_EQ(summary["changed"], 1);
    EXPECT_EQ(summary["unchanged"], 1);
    EXPECT_EQ(summary["failed"], 1);
    EXPECT_EQ(summary["namesAdded"], 2);
    EXPECT_EQ(summary["requests"], 3);
    EXPECT_EQ(json["error"], nullptr);
}

TEST_F(DeployVerbTest, AJournalLetsARunGoOnAndRefusesAnotherRun)
{
    folder.Write(L"mailboxes.txt", "ann@contoso.com\r\nbob@contoso.com\r\nzed@contoso.com\r\n");
    const std::string arguments = Arguments("--mailboxes " + Path(L"mailboxes.txt") + " --journal " + Path(L"run.journal"));
    EXPECT_EQ(Run(arguments).ExitCode, 1u);

    standIn.AddUser("z", "zed@contoso.com");
    standIn.Post("log/clear");
    const TSyncRun again = Run(arguments);
    EXPECT_EQ(again.ExitCode, 0u) << again.Err;
    EXPECT_EQ(CountOuter(standIn.Log(), "masterCategories"), 1u) << "only zed is read";
    EXPECT_EQ(standIn.Categories("z").size(), 3u);
    EXPECT_NE(again.Out.find("1 mailbox done in "), std::string::npos) << again.Out;
    EXPECT_NE(again.Out.find("2 mailboxes skipped: the journal has them as done\r\n"), std::string::npos) << again.Out;

    const TSyncRun colours = Run(arguments + " --colors");
    EXPECT_EQ(colours.ExitCode, 2u);
    EXPECT_NE(colours.Err.find("belongs to another deployment (it was made without --colors)"), std::string::npos)
        << colours.Err;
}

TEST_F(DeployVerbTest, BadInputEndsWithExitCode2AndChangesNothing)
{
    folder.Write(L"badcolor.csv", "DisplayName,Color\r\nRed,preset0\r\nBlue,sky\r\n");
    folder.Write(L"empty.csv", "DisplayName,Color\r\n");
    folder.Write(L"badmailboxes.txt", "ann@contoso.com\r\nnot a mailbox\r\n");
    folder.Write(L"other.csv", "DisplayName,Color\r\nGreen,preset4\r\n");
    const std::string mailboxes = " --mailboxes " + Path(L"mailboxes.txt");
    const std::string app = std::string(" --tenant ") + kTenant + " --client-id " + kClientId;
    // A journal of another list.
    const TSyncRun other = Run("deploy " + Path(L"other.csv") + app + " --client-secret-env PELLORIN_TEST_CLIENT_SECRET" +
                               mailboxes + " --journal " + Path(L"other.journal"));
    ASSERT_EQ(other.ExitCode, 0u) << other.Err;
    struct TCase {
        std::string Arguments;
        std::string Says;
        std::vector<std::string> Consent = {"MailboxSettings.ReadWrite", "User.Read.All"};
    };
    const std::vector<TCase> cases = {
        {"deploy" + mailboxes + app + " --client-secret-env X", "no category list file given to \"deploy\""},
        {Arguments(mailboxes + " --colour"), "unknown option \"--colour\" for \"deploy\""},
        {Arguments(mailboxes + " --wait 5"), "unknown option \"--wait\" for \"deploy\""},
        {Arguments(mailboxes + " --all-mailboxes"), "either \"--mailboxes LIST\" or \"--all-mailboxes\", not both"},
        {Arguments(""), "\"deploy\" needs \"--mailboxes LIST\" or \"--all-mailboxes\""},
        {"deploy " + Path(L"list.csv") + mailboxes + " --client-id " + kClientId + " --client-secret-env X",
         "\"deploy\" needs \"--tenant\""},
        {Arguments(mailboxes + " --certificate app.pfx"), "either \"--certificate PFX\" or \"--client-secret-env NAME\""},
        {Arguments(mailboxes + " --concurrency 65"), "\"--concurrency\" needs a number of mailboxes from 1 to 64, not \"65\""},
        {Arguments(mailboxes + " --concurrency 0"), "from 1 to 64, not \"0\""},
        {Arguments(mailboxes + " --dry-run --journal j"), "\"--dry-run\" writes nothing"},
        {Arguments(mailboxes + " --report"), "no value after \"--report\""},
        {"deploy " + Path(L"missing.csv") + mailboxes + app + " --client-secret-env PELLORIN_TEST_CLIENT_SECRET",
         "missing.csv, line 1: "},
        {"deploy " + Path(L"badcolor.csv") + mailboxes + app + " --client-secret-env PELLORIN_TEST_CLIENT_SECRET",
         "badcolor.csv, line 3: "},
        {"deploy " + Path(L"empty.csv") + mailboxes + app + " --client-secret-env PELLORIN_TEST_CLIENT_SECRET",
         "empty.csv holds no category names"},
        {Arguments("--mailboxes " + Path(L"badmailboxes.txt")), "badmailboxes.txt, line 2: "},
        {Arguments("--mailboxes " + Path(L"nowhere.txt")), "nowhere.txt"},
        {"deploy " + Path(L"list.csv") + mailboxes + " --tenant common --client-id " + kClientId +
             " --client-secret-env PELLORIN_TEST_CLIENT_SECRET",
         "--tenant must name the organisation's tenant"},
        {"deploy " + Path(L"list.csv") + mailboxes + " --tenant " + kTenant +
             " --client-id pellorin --client-secret-env PELLORIN_TEST_CLIENT_SECRET",
         "--client-id must be the app registration's Application (client) ID"},
        // What a secret looks like, given by mistake for its variable's name
        // (never the stand-in's own secret).
        {"deploy " + Path(L"list.csv") + mailboxes + app + " --client-secret-env Xy7~looks.like_a-secret",
         "never the secret itself"},
        {"deploy " + Path(L"list.csv") + mailboxes + app + " --client-secret-env PELLORIN_TEST_UNSET",
         "The environment variable PELLORIN_TEST_UNSET holds no client secret"},
        {"deploy " + Path(L"list.csv") + mailboxes + app + " --certificate " + Path(L"none.pfx"), "none.pfx"},
        {Arguments(mailboxes + " --journal " + Path(L"other.journal")),
         "belongs to another deployment (it was made for another list file)"},
        {Arguments(mailboxes + " --report " + Path(L"no\\such\\folder\\report.csv")), "Cannot write the report"},
        {Arguments(mailboxes), "The application permission MailboxSettings.ReadWrite needs admin consent.",
         {"User.Read.All"}},
        {Arguments("--all-mailboxes"), "The application permission User.Read.All needs admin consent.",
         {"MailboxSettings.ReadWrite"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Arguments);
        standIn.Reset();
        Register(c.Consent);
        standIn.AddUser("a", "ann@contoso.com", {{"Red", "preset0"}});
        const TSyncRun run = Run(c.Arguments);
        EXPECT_EQ(run.ExitCode, 2u);
        EXPECT_EQ(run.Err.rfind("PellorinSync: ", 0), 0u) << run.Err;
        EXPECT_NE(run.Err.find(c.Says), std::string::npos) << run.Err;
        EXPECT_EQ(run.Err.find("Xy7~"), std::string::npos) << "no secret in the output";
        EXPECT_EQ(run.Err.find(secret), std::string::npos);
        EXPECT_EQ(Changes(), 0u);
        EXPECT_EQ(standIn.Categories("a"), (TNames{{"Red", "preset0"}}));
    }

    // The platform refuses the secret: named by its code.
    standIn.Reset();
    Register({"MailboxSettings.ReadWrite"}, false);
    standIn.AddUser("a", "ann@contoso.com");
    const TSyncRun refused = Run(Arguments(mailboxes + " --json"));
    EXPECT_EQ(refused.ExitCode, 2u);
    EXPECT_NE(refused.Err.find("AADSTS7000215"), std::string::npos) << refused.Err;
    const auto json = nlohmann::json::parse(refused.Out, nullptr, false);
    ASSERT_TRUE(json.is_object()) << refused.Out;
    EXPECT_EQ(json["mailboxes"], nlohmann::json::array());
    EXPECT_NE(json["error"].get<std::string>().find("AADSTS7000215"), std::string::npos);
    EXPECT_EQ(standIn.Categories("a").size(), 0u);
}

TEST(DeployCommandLine, FindsTheVerbWhereverItStands)
{
    const std::pair<std::vector<std::wstring>, bool> cases[] = {
        {{L"deploy", L"list.csv"}, true},
        {{L"--journal", L"deploy", L"DEPLOY", L"list.csv"}, true},
        {{L"--json", L"--tenant", L"t", L"Deploy"}, true},
        {{L"--store", L"deploy", L"list"}, false},
        {{L"deploy", L"list.csv", L"--help"}, false},
        {{L"/?", L"deploy"}, false},
        {{L"both", L"deploy"}, false},
        {{L"--journal"}, false},
    };
    for (const auto& [arguments, deploy] : cases)
        EXPECT_EQ(IsDeployCommandLine(arguments), deploy) << ToUtf8(arguments.front());
    const TDeployRequest request = ParseDeployCommandLine(
        {L"--JOURNAL", L"deploy", L"DEPLOY", L"l.csv", L"--All-Mailboxes", L"--tenant", L"t", L"--client-id", L"c",
         L"--client-secret-env", L"S", L"--concurrency", L"64"});
    EXPECT_EQ(request.Journal, L"deploy");
    EXPECT_EQ(request.ListFile, L"l.csv") << "the value of an option is never the verb";
    EXPECT_FALSE(request.MailboxList);
    EXPECT_EQ(request.Concurrency, 64);
}

TEST(DeployOutput, ProgressIsRewrittenInPlaceAndClearedForEachLine)
{
    TDeployRequest request;
    std::wstring console;
    TDeployOutput output(request, [&](std::wstring_view text) { console += text; }, true, nullptr);
    TDeployCounts counts;
    counts.Total = 4;
    counts.Seconds = 2;
    counts.Unchanged = 1;
    TMailboxOutcome unchanged;
    unchanged.Mailbox = {L"a@contoso.com", L"a@contoso.com", 1};
    output.Finished(unchanged, counts);
    EXPECT_EQ(console, L"\r1 of 4 mailboxes, 0 names added, 0 failed, 0.5/s, 6 s left");

    console.clear();
    TMailboxOutcome changed;
    changed.Mailbox = {L"b@contoso.com", L"b\x1B[2J@contoso.com", 2};
    changed.Result = EMailboxResult::Changed;
    changed.Added = {L"Red", L"Blue"};
    counts.Changed = 1;
    counts.NamesAdded = 2;
    output.Finished(changed, counts);
    EXPECT_EQ(console, L"\r" + std::wstring(58, L' ') + L"\r" + L"b\xFFFD[2J@contoso.com: added 2\r\n" +
                           L"\r2 of 4 mailboxes, 2 names added, 0 failed, 1.0/s, 2 s left");

    console.clear();
    TDeployResult result;
    result.Counts = counts;
    output.End({&result, std::nullopt, std::nullopt});
    EXPECT_EQ(console.rfind(L"\r" + std::wstring(58, L' ') + L"\r2 mailboxes done in 2 s: 1 changed,", 0), 0u)
        << ToUtf8(console);

    request.Json = true;
    std::wstring json;
    TDeployOutput quiet(request, [&](std::wstring_view text) { json += text; }, true, nullptr);
    quiet.Tick(counts);
    EXPECT_TRUE(json.empty()) << "no progress with --json, even on a console";
}

TEST_F(DeployVerbTest, AuditReportsEachDifferenceKindAndChangesNothing)
{
    Register({"MailboxSettings.Read", "User.Read.All"});
    standIn.AddUser("d", "dee@contoso.com", {{"red", "preset4"}, {"=Total", "preset3"}, {"Blue", "preset7"}, {"+Own", "preset1"}});
    folder.Write(L"mailboxes.txt", "ann@contoso.com\r\nbob@contoso.com\r\ndee@contoso.com\r\n");
    const std::string audit = "audit " + Path(L"list.csv") + " --tenant " + kTenant + " --client-id " + kClientId +
                              " --client-secret-env PELLORIN_TEST_CLIENT_SECRET --mailboxes " + Path(L"mailboxes.txt");
    const TSyncRun run = Run(audit + " --report " + Path(L"audit.csv") + " --concurrency 1");
    EXPECT_EQ(run.ExitCode, 1u) << "some differ: " << run.Err;
    EXPECT_NE(run.Out.find("ann@contoso.com: lacks 2\r\n"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("dee@contoso.com: 1 colour differs, 1 extra\r\n"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("3 mailboxes read in "), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find(": 1 alike, 1 lacking names, 1 with colours that differ, 1 with names beyond the list, 0 failed"),
              std::string::npos) << run.Out;
    EXPECT_EQ(Changes(), 0u);
    EXPECT_EQ(folder.Read(L"audit.csv"), "\xEF\xBB\xBFMailbox,Difference,Names,Error\r\n"
                                         "ann@contoso.com,lacks,'=Total; Blue,\r\n"
                                         "bob@contoso.com,alike,,\r\n"
                                         "dee@contoso.com,colour differs,red,\r\n"
                                         "dee@contoso.com,extra,'+Own,\r\n")
        << "one row a mailbox and kind, names made spreadsheet-safe";

    const TSyncRun json = Run(audit + " --json --concurrency 1");
    EXPECT_EQ(json.ExitCode, 1u) << json.Err;
    const nlohmann::json object = nlohmann::json::parse(json.Out);
    EXPECT_EQ(object["command"], "audit");
    EXPECT_EQ(object["mailboxes"][2]["extra"], nlohmann::json({"+Own"})) << "JSON keeps names exact";
    EXPECT_EQ(object["summary"]["alike"], 1);

    folder.Write(L"mailboxes.txt", "bob@contoso.com\r\n");
    EXPECT_EQ(Run(audit).ExitCode, 0u) << "all alike";
    for (const auto& [arguments, says] : std::vector<std::pair<std::string, std::string>>{
             {audit + " --colors", "unknown option \"--colors\" for \"audit\""},
             {audit + " --journal j", "unknown option \"--journal\" for \"audit\""},
             {audit + " --group g", "one of \"--mailboxes LIST\", \"--all-mailboxes\" and \"--group ID\", not two"},
             {"audit " + Path(L"list.csv") + " --tenant consumers --client-id " + kClientId +
                  " --client-secret-env PELLORIN_TEST_CLIENT_SECRET --all-mailboxes",
              "the tenant of personal Microsoft accounts"},
             {"deploy " + Path(L"list.csv") + " --tenant 9188040d-6c67-4c5b-b112-36a304b66dad --client-id " +
                  kClientId + " --client-secret-env PELLORIN_TEST_CLIENT_SECRET --all-mailboxes",
              "the tenant of personal Microsoft accounts"}}) {
        const TSyncRun refused = Run(arguments);
        EXPECT_EQ(refused.ExitCode, 2u) << arguments;
        EXPECT_NE(refused.Err.find(says), std::string::npos) << refused.Err;
    }
}

TEST_F(DeployVerbTest, GroupDeploysToNestedMembersOnly)
{
    Register({"MailboxSettings.ReadWrite", "GroupMember.Read.All"});
    // Graph lists members with their mail; a user without one has no mailbox.
    nlohmann::json full = nlohmann::json::array();
    for (const auto& [name, color] : kFull)
        full.push_back({{"displayName", name}, {"color", color}});
    standIn.Post("user", {{"oid", "b"}, {"upn", "bob@contoso.com"}, {"mail", "bob@contoso.com"}, {"categories", full}});
    standIn.Post("user", {{"oid", kCyId}, {"upn", "cy@contoso.com"}, {"mail", "cy@contoso.com"}});
    standIn.Post("group", {{"id", "team"}, {"members", {"b"}}});
    standIn.Post("group", {{"id", "all"}, {"members", {"team", kCyId}}});
    const TSyncRun run = Run(Arguments("--group all"));
    EXPECT_EQ(run.ExitCode, 0u) << run.Err;
    EXPECT_EQ(standIn.Categories(kCyId), kFull);
    EXPECT_EQ(standIn.Categories("a").size(), 1u) << "ann is in no group";
    EXPECT_NE(run.Out.find("2 mailboxes done in "), std::string::npos) << "bob and cy: " << run.Out;

    Register({"MailboxSettings.ReadWrite", "User.Read.All"});
    const TSyncRun refused = Run(Arguments("--group all"));
    EXPECT_NE(refused.Err.find("GroupMember.Read.All"), std::string::npos) << refused.Err;
}

TEST_F(DeployVerbTest, ANationalCloudIsReachedAtItsOwnHostsAndChinaIsRefused)
{
    standIn.RegisterApp({{"client_id", kClientId}, {"tenant", kTenant}, {"secret", true}, {"cloud", "usgov"},
                         {"consent", {"MailboxSettings.ReadWrite"}}},
                        L"PELLORIN_TEST_CLIENT_SECRET");
    // Every cloud's hosts under the stand-in, as path prefixes its log names.
    SetEnvironmentVariableW(L"PELLORIN_STANDIN_URL", standIn.Url().c_str());
    const TSyncRun run = Run(Arguments("--cloud usgov --mailboxes " + Path(L"mailboxes.txt")));
    SetEnvironmentVariableW(L"PELLORIN_STANDIN_URL", nullptr);
    EXPECT_EQ(run.ExitCode, 0u) << run.Err;
    EXPECT_EQ(standIn.Categories("a").size(), 3u);
    const auto log = standIn.Log();
    ASSERT_FALSE(log.empty());
    for (const nlohmann::json& entry : log) {
        const std::string host = entry["host"].get<std::string>();
        EXPECT_TRUE(host == "login.microsoftonline.us" || host == "graph.microsoft.us") << host;
    }

    for (const auto& [cloud, says] : std::vector<std::pair<std::string, std::string>>{
             {"china", "Microsoft does not offer the category list in the China cloud (operated by 21Vianet)"},
             {"mars", "The Microsoft 365 cloud \"mars\" is not one of global, usgov or usgovdod."}}) {
        const TSyncRun refused = Run(Arguments("--all-mailboxes --cloud " + cloud));
        EXPECT_EQ(refused.ExitCode, 2u) << cloud;
        EXPECT_NE(refused.Err.find(says), std::string::npos) << refused.Err;
    }
}
