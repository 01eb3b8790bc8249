// The console front end's own rules, in-process: which command lines are bad
// usage, how JSON keeps names UTF-8 cannot carry, and that a console handle
// takes the WriteConsoleW path.
#include "cli/ConsoleText.h"
#include "cli/SyncCommandLine.h"
#include "cli/SyncOutput.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace std::string_literals;

TEST(SyncCommandLine, TakesVerbsAndOptionsInAnyOrderAndCaseAndRejectsTheRest)
{
    const TSyncRequest both = ParseSyncCommandLine({L"--JSON", L"Both", L"--dry-run"});
    EXPECT_TRUE(both.Verb == TSyncVerb::Both && both.DryRun && both.Json);
    EXPECT_EQ(both.WaitSeconds, 60);
    EXPECT_EQ(ParseSyncCommandLine({L"--Wait", L"0", L"list"}).WaitSeconds, 0);
    EXPECT_EQ(ParseSyncCommandLine({L"list", L"--wait", L"3600"}).WaitSeconds, 3600);
    EXPECT_EQ(ParseSyncCommandLine({L"to-registry", L"/?"}).Action, TSyncRequest::TAction::ShowHelp);
    const TSyncRequest named = ParseSyncCommandLine({L"--STORE", L"--json", L"list"});
    EXPECT_TRUE(named.StoreName == L"--json" && !named.Json && !named.AllStores) << "a store's name is taken as it is";
    EXPECT_TRUE(ParseSyncCommandLine({L"both", L"--All-Stores"}).AllStores);

    const std::pair<std::vector<std::wstring>, std::wstring> bad[] = {
        {{L"--json"}, L"no verb given"},
        {{L"both", L"/y"}, L"unknown option \"/y\""},
        {{L"both", L"list"}, L"one verb at a time, not also \"list\""},
        {{L"list", L"--dry-run"}, L"unknown option \"--dry-run\" for \"list\", which changes nothing"},
        {{L"list", L"--wait"}, L"\"--wait\" needs a number of seconds from 0 to 3600"},
        {{L"list", L"--wait", L"3601"}, L"\"--wait\" needs a number of seconds from 0 to 3600, not \"3601\""},
        {{L"--wait", L"99999999999", L"list"},
         L"\"--wait\" needs a number of seconds from 0 to 3600, not \"99999999999\""},
        {{L"--wait", L"-5", L"list"}, L"\"--wait\" needs a number of seconds from 0 to 3600, not \"-5\""},
        {{L"--wait", L"list"}, L"\"--wait\" needs a number of seconds from 0 to 3600, not \"list\""},
        {{L"list", L"--store"}, L"no store name after \"--store\""},
        {{L"both", L"--store", L"A", L"--all-stores"}, L"one store choice at a time, not also \"--all-stores\""},
    };
    for (const auto& [arguments, message] : bad) {
        try {
            ParseSyncCommandLine(arguments);
            ADD_FAILURE() << "accepted: " << arguments.size() << " arguments";
        } catch (const ESyncUsageError& e) {
            EXPECT_EQ(e.Message(), message);
        }
    }
}

// signin and signout touch no store: the options about stores and output are
// bad usage with them. --tenant and --client-id go with every verb, and take
// the next argument as it is.
TEST(SyncCommandLine, SignInVerbsAndMicrosoft365Options)
{
    const TSyncRequest signIn = ParseSyncCommandLine({L"SignIn", L"--tenant", L"contoso.example", L"--client-id",
                                                      L"--json"});
    EXPECT_TRUE(signIn.Verb == TSyncVerb::SignIn && IsSignInVerb(signIn.Verb));
    EXPECT_EQ(signIn.TenantId, L"contoso.example");
    EXPECT_EQ(signIn.ClientId, L"--json");
    EXPECT_FALSE(signIn.Json);
    const TSyncRequest both = ParseSyncCommandLine({L"--CLIENT-ID", L"app", L"both", L"--store", L"m365"});
    EXPECT_TRUE(both.Verb == TSyncVerb::Both && !IsSignInVerb(both.Verb));
    EXPECT_EQ(both.ClientId, L"app");
    EXPECT_EQ(both.TenantId, std::nullopt);
    EXPECT_EQ(ParseSyncCommandLine({L"signout", L"--wait", L"5"}).Verb, TSyncVerb::SignOut);

    const std::pair<std::vector<std::wstring>, std::wstring> bad[] = {
        {{L"signin", L"--json"}, L"unknown option \"--json\" for \"signin\""},
        {{L"--dry-run", L"signout"}, L"unknown option \"--dry-run\" for \"signout\""},
        {{L"signin", L"--store", L"m365"}, L"unknown option \"--store\" for \"signin\""},
        {{L"signout", L"--all-stores"}, L"unknown option \"--all-stores\" for \"signout\""},
        {{L"signin", L"signout"}, L"one verb at a time, not also \"signout\""},
        {{L"list", L"--tenant"}, L"no value after \"--tenant\""},
        {{L"signin", L"--client-id"}, L"no value after \"--client-id\""},
    };
    for (const auto& [arguments, message] : bad) {
        try {
            ParseSyncCommandLine(arguments);
            ADD_FAILURE() << "accepted: " << arguments.size() << " arguments";
        } catch (const ESyncUsageError& e) {
            EXPECT_EQ(e.Message(), message);
        }
    }
}

// Every C0 control character is escaped: PowerShell's ConvertFrom-Json, like
// every strict reader, refuses one raw in a string.
TEST(JsonString, EscapesEveryControlCharacter)
{
    const std::pair<wchar_t, const wchar_t*> short_[] = {{L'\b', L"\\b"}, {L'\t', L"\\t"}, {L'\n', L"\\n"},
                                                         {L'\f', L"\\f"}, {L'\r', L"\\r"}};
    for (wchar_t c = 0; c < 0x20; ++c) {
        std::wstring escaped;
        for (const auto& [character, text] : short_) {
            if (character == c)
                escaped = text;
        }
        if (escaped.empty()) {
            wchar_t hex[8];
            std::swprintf(hex, std::size(hex), L"\\u%04X", static_cast<unsigned>(c));
            escaped = hex;
        }
        EXPECT_EQ(JsonString(std::wstring(L"a") + c + L"b"), L"\"a" + escaped + L"b\"") << static_cast<int>(c);
    }
    EXPECT_EQ(JsonString(L"\x20\x7F\"\\"), L"\" \x7F\\\"\\\\\"");
}

TEST(JsonString, EscapesLoneSurrogatesAndKeepsPairs)
{
    EXPECT_EQ(JsonString(L"\xD83D\xDE00 \x7F"), L"\"\xD83D\xDE00 \x7F\"");
    EXPECT_EQ(JsonString(L"a\xD800" L"b\xDC00"), L"\"a\\uD800b\\uDC00\"");
    EXPECT_EQ(JsonString(L"\xDE00\xD83D"), L"\"\\uDE00\\uD83D\"");
    EXPECT_EQ(JsonString(std::wstring(1, L'\0')), L"\"\\u0000\"");
    EXPECT_EQ(JsonString(L"a\x2028" L"b\x2029\x2027"), L"\"a\\u2028b\\u2029\x2027\"");
}

TEST(SyncPlainText, OutsideTextNeverForgesALineNorDrivesATerminalAndJsonKeepsItExact)
{
    // Each character in a store's name, a store's error, a refused name and
    // Outlook's reason for it, the version text Outlook reports, and a failure's
    // message on standard error, where a line break is a space.
    struct TCase {
        wchar_t Character;
        const wchar_t* InJson;
        const wchar_t* OnStandardError;
    };
    const TCase cases[] = {
        {L'\0', L"\\u0000", L"\xFFFD"},     {L'\r', L"\\r", L" "},           {L'\n', L"\\n", L" "},
        {L'\x1B', L"\\u001B", L"\xFFFD"},   {L'\x85', L"\x85", L"\xFFFD"},   {L'\x9B', L"\x9B", L"\xFFFD"},
        {L'\x2028', L"\\u2028", L"\xFFFD"}, {L'\x2029', L"\\u2029", L"\xFFFD"}, {L'\x202E', L"\x202E", L"\xFFFD"},
        {L'\x2066', L"\x2066", L"\xFFFD"},
    };
    for (const auto& [c, inJson, onStandardError] : cases) {
        SCOPED_TRACE(testing::Message() << "U+" << std::hex << static_cast<unsigned>(c));
        const std::wstring text = L"a"s + c + L"b";
        TSyncRequest request;
        request.Verb = TSyncVerb::ToOutlook;
        request.AllStores = true;
        TSyncResult result;
        result.Connected = true;
        result.StoreInUse = true;
        result.OutlookMajorVersion = "99";
        result.OutlookVersion = L"99." + text;
        result.Stores = {TSyncStore{L"Main" + text, true, true, std::nullopt, std::vector<std::wstring>(), {}},
                         TSyncStore{L"Other", false, false, L"Denied" + text, std::nullopt, {}}};
        result.RefusedByOutlook = {TSyncRefusal{L"Red" + text, L"No" + text, 0}};

        EXPECT_EQ(CopyStepLine({TCopyStep::TKind::RefusedByStore, L"Red" + text, L"00A1", L"No" + text}, L"Main" + text),
                  L"Outlook (Maina\xFFFD" L"b) refused: Reda\xFFFD" L"b - Noa\xFFFD" L"b\r\n");
        EXPECT_EQ(CopyStepLine({TCopyStep::TKind::AddedToStore, L"Red" + text, L"00A1", {}}, std::nullopt),
                  L"added to Outlook: Reda\xFFFD" L"b\r\n");
        EXPECT_EQ(CopyStepLine({TCopyStep::TKind::AddedToRegistry, L"Red" + text, {}, {}}, std::nullopt),
                  L"added to registry: Reda\xFFFD" L"b\r\n");
        EXPECT_EQ(SyncPlainText(request, result), L"Outlook (Other) could not be read: Denieda\xFFFD" L"b\r\n"
                                                  L"0 added to Outlook\r\n");
        EXPECT_EQ(SyncErrorText(L"No Outlook store is named \"" + text + L"\"."),
                  L"PellorinSync: No Outlook store is named \"a"s + onStandardError + L"b\".\r\n");
        request.Verb = TSyncVerb::List;
        const std::wstring list = SyncPlainText(request, result);
        EXPECT_EQ(list.substr(0, list.find(L'\n') + 1), L"Outlook version detected: 99.a\xFFFD" L"b\r\n");

        const std::wstring json = SyncJsonText(request, result);
        for (const wchar_t* key : {L"\"outlookVersion\":\"99.", L"\"name\":\"Main", L"\"error\":\"Denied",
                                   L"\"name\":\"Red", L"\"error\":\"No"})
            EXPECT_NE(json.find(key + (L"a"s + inJson + L"b\"")), std::wstring::npos) << ToUtf8(key);
    }
}

TEST(OneLineMessage, EachLineBreakBecomesOneSpace)
{
    EXPECT_EQ(OneLineMessage(L"Failed to create key\nError Code: 5"), L"Failed to create key Error Code: 5");
    EXPECT_EQ(OneLineMessage(L"a\r\nb\rc\n\nd\r"), L"a b c  d ");
}

HANDLE NewScreenBuffer()
{
    return CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     CONSOLE_TEXTMODE_BUFFER, nullptr);
}

TEST(ConsoleText, AConsoleGetsEveryCharacterAndAPipeIsNoConsole)
{
    HANDLE read = nullptr, write = nullptr;
    ASSERT_TRUE(CreatePipe(&read, &write, nullptr, 0));
    EXPECT_FALSE(IsConsoleHandle(write));
    CloseHandle(read);
    CloseHandle(write);

    // A screen buffer of its own is never shown, so nothing appears on the
    // console the test was started from. Under Wine the process may hold only
    // a stand-in for a console, which makes no buffers: it gets a real one.
    HANDLE buffer = NewScreenBuffer();
    bool allocated = false;
    if (buffer == INVALID_HANDLE_VALUE) {
        FreeConsole();
        allocated = AllocConsole() != FALSE;
        buffer = NewScreenBuffer();
    }
    if (buffer == INVALID_HANDLE_VALUE)
        GTEST_SKIP() << "no console here";
    EXPECT_TRUE(IsConsoleHandle(buffer));
    const std::wstring text = L"\x039A\x03CC\x03BA \x0416\x0451 \x4F1A\x8B70";
    EXPECT_TRUE(WriteText(buffer, text));
    std::wstring shown(text.size(), L'\0');
    DWORD count = 0;
    ReadConsoleOutputCharacterW(buffer, shown.data(), static_cast<DWORD>(shown.size()), COORD{0, 0}, &count);
    EXPECT_EQ(shown, text);
    CloseHandle(buffer);
    if (allocated)
        FreeConsole();
}
