// One command line for every verb: the same repeat rule, the same unknown
// option and missing value, each verb refusing what it does not take; and
// deploy's JSON written by the same rules as the other verbs'.
#include "cli/CommandLine.h"
#include "cli/DeployCommandLine.h"
#include "cli/DeployOutput.h"
#include "cli/JsonText.h"
#include "cli/SyncCommandLine.h"

#include "base/Platform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using TArguments = std::vector<std::wstring>;

// Each verb with what it needs to be good usage.
const TArguments kVerbs[] = {
    {L"list"},
    {L"to-outlook"},
    {L"to-registry"},
    {L"both"},
    {L"export", L"out.csv"},
    {L"import", L"in.csv"},
    {L"signin"},
    {L"signout"},
    {L"deploy", L"list.csv", L"--all-mailboxes", L"--tenant", L"t", L"--client-id", L"c", L"--client-secret-env",
     L"S"},
};

bool IsDeploy(const TArguments& verb)
{
    return verb.front() == L"deploy";
}

// The message of the bad usage, or "accepted".
std::wstring Refusal(const TArguments& arguments)
{
    try {
        if (IsDeployCommandLine(arguments))
            ParseDeployCommandLine(arguments);
        else
            ParseSyncCommandLine(arguments);
        return L"accepted";
    } catch (const ESyncUsageError& e) {
        return e.Message();
    }
}

TArguments With(TArguments arguments, const TArguments& more)
{
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
}

}  // namespace

TEST(CommandLine, EveryVerbRefusesARepeatAnUnknownOptionAndAMissingValue)
{
    for (const TArguments& verb : kVerbs) {
        SCOPED_TRACE(ToUtf8(verb.front()));
        const std::wstring forVerb = IsDeploy(verb) ? L" for \"deploy\"" : L"";
        EXPECT_EQ(Refusal(verb), L"accepted");
        EXPECT_EQ(Refusal(With(verb, {L"--tenant", L"a", L"--TENANT", L"b"})), 
                  IsDeploy(verb) ? L"\"--tenant\" given twice" : L"\"--TENANT\" given twice");
        EXPECT_EQ(Refusal(With(verb, {L"--bogus"})), L"unknown option \"--bogus\"" + forVerb);
        EXPECT_EQ(Refusal(With(verb, {L"/x"})), L"unknown option \"/x\"" + forVerb);
        EXPECT_EQ(Refusal(With(verb, {L"--tenant"})), L"no value after \"--tenant\"");
        EXPECT_EQ(Refusal(With(verb, {L"--help"})), L"accepted") << "help wins over every verb";
    }
    // A flag given twice is as ambiguous to a reader as a value given twice.
    EXPECT_EQ(Refusal({L"both", L"--json", L"--dry-run", L"--json"}), L"\"--json\" given twice");
    EXPECT_EQ(Refusal({L"signout", L"--wait", L"1", L"--wait", L"1"}), L"\"--wait\" given twice");
    EXPECT_EQ(Refusal(With(kVerbs[8], {L"--colors", L"--Colors"})), L"\"--Colors\" given twice");
    EXPECT_EQ(Refusal(With(kVerbs[8], {L"--concurrency", L"2", L"--concurrency", L"2"})),
              L"\"--concurrency\" given twice");
    EXPECT_EQ(Refusal({L"list", L"--store", L"A", L"--store", L"B"}), L"one store choice at a time, not also \"--store\"");
    EXPECT_EQ(Refusal(With(kVerbs[8], {L"--concurrency"})), L"no value after \"--concurrency\"");
    EXPECT_EQ(Refusal(With(kVerbs[8], {L"--wait"})), L"unknown option \"--wait\" for \"deploy\"");
}

// Which verbs take which option comes from one table: each refusal as that
// verb has always worded it.
TEST(CommandLine, EachVerbRefusesTheOptionsItDoesNotTake)
{
    const std::pair<TArguments, std::wstring> cases[] = {
        {{L"list", L"--colors"}, L"unknown option \"--colors\" for \"list\": only \"import\" takes it"},
        {{L"export", L"f", L"--dry-run"}, L"unknown option \"--dry-run\" for \"export\", which changes no category"},
        {{L"signin", L"--registry"}, L"unknown option \"--registry\" for \"signin\": only \"import\" takes it"},
        {{L"signout", L"--json"}, L"unknown option \"--json\" for \"signout\""},
        {{L"both", L"--journal", L"j"}, L"unknown option \"--journal\""},
        {{L"list", L"--all-mailboxes"}, L"unknown option \"--all-mailboxes\""},
        {With(kVerbs[8], {L"--all-stores"}), L"unknown option \"--all-stores\" for \"deploy\""},
        {With(kVerbs[8], {L"--registry"}), L"unknown option \"--registry\" for \"deploy\""},
        {With(kVerbs[8], {L"--store", L"x"}), L"unknown option \"--store\" for \"deploy\""},
        {With(kVerbs[8], {L"other.csv"}), L"one list file at a time, not also \"other.csv\""},
        {{L"list", L"deploy"}, L"one verb at a time, not also \"deploy\""},
        {{L"import"}, L"no file name after \"import\""},
    };
    for (const auto& [arguments, message] : cases)
        EXPECT_EQ(Refusal(arguments), message) << ToUtf8(arguments.front());

    // What each verb does take reaches its request.
    const TSyncRequest import = ParseSyncCommandLine({L"--colors", L"IMPORT", L"--json", L"--registry", L"--dry-run",
                                                      L"--tenant", L"t", L"--wait", L"7"});
    EXPECT_TRUE(import.Verb == TSyncVerb::Import && import.Colors && import.Registry && import.DryRun && !import.Json);
    EXPECT_EQ(import.File, L"--json") << "import's file is the next argument, as it is";
    EXPECT_EQ(import.TenantId, L"t");
    EXPECT_EQ(import.WaitSeconds, 7);
    const TDeployRequest deploy =
        ParseDeployCommandLine(With(kVerbs[8], {L"--colors", L"--json", L"--dry-run", L"--report", L"r.csv"}));
    EXPECT_TRUE(deploy.Colors && deploy.Json && deploy.DryRun);
    EXPECT_EQ(deploy.Report, L"r.csv");
    EXPECT_EQ(deploy.SecretVariable, L"S");
}

TEST(JsonText, NumbersArraysAndNullsAsNlohmannReadsThemBack)
{
    EXPECT_EQ(JsonNumber(0), L"0.0");
    EXPECT_EQ(JsonNumber(12.3), L"12.3");
    EXPECT_EQ(JsonNumber(100000), L"100000.0") << "no exponent";
    EXPECT_EQ(JsonNumber(0.1 + 0.2), L"0.30000000000000004") << "every digit that tells the double apart";
    EXPECT_EQ(JsonStrings(std::nullopt), L"null");
    EXPECT_EQ(JsonStrings(std::vector<std::wstring>{}), L"[]");
    EXPECT_EQ(JsonStrings(std::vector<std::wstring>{L"a", L"\"b\""}), L"[\"a\",\"\\\"b\\\"\"]");
    EXPECT_EQ(JsonStringOrNull(std::nullopt), L"null");
    EXPECT_EQ(JsonStringOrNull(std::wstring(L"\x2029")), L"\"\\u2029\"");
}

// Deploy's JSON keeps a lone surrogate as the other verbs do, rather than
// turning it into U+FFFD, and escapes what JavaScript takes for a line end.
TEST(JsonText, DeployWritesEveryNameByTheSameRules)
{
    TDeployRequest request;
    request.Json = true;
    std::wstring out;
    TDeployOutput output(request, [&](std::wstring_view text) { out += text; }, false, nullptr);
    TMailboxOutcome outcome;
    outcome.Mailbox = {L"a@contoso.com", L"A\x2028" L"b", 1};
    outcome.Result = EMailboxResult::Changed;
    outcome.Added = {L"x\xD800y", L"\x1B", L"\xD83D\xDE00"};
    TDeployCounts counts;
    counts.Changed = 1;
    counts.NamesAdded = 3;
    counts.Seconds = 2.25;
    output.Finished(outcome, counts);
    TDeployResult result;
    result.Counts = counts;
    result.Requests = 4;
    output.End({&result, std::nullopt, std::wstring(L"a\xDC00")});
    EXPECT_EQ(out, L"{\"command\":\"deploy\",\"dryRun\":false,\"mailboxes\":[{\"mailbox\":\"a@contoso.com\","
                   L"\"name\":\"A\\u2028b\",\"result\":\"changed\",\"added\":[\"x\\uD800y\",\"\\u001B\","
                   L"\"\xD83D\xDE00\"],\"recoloured\":[],\"error\":null}],\"summary\":{\"total\":1,\"done\":1,"
                   L"\"skipped\":0,\"unchanged\":0,\"changed\":1,\"failed\":0,\"namesAdded\":3,\"recoloured\":0,"
                   L"\"withoutMail\":null,\"seconds\":2.3,\"requests\":4,\"lowestConcurrency\":0},"
                   L"\"error\":\"a\\uDC00\"}\r\n");
}
