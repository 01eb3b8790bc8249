// The console front end's own rules, in-process: which command lines are bad
// usage, how JSON keeps any name, and when the console path is taken.
#include "cli/ConsoleText.h"
#include "cli/SyncCommandLine.h"
#include "cli/SyncOutput.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace std::string_literals;

TEST(SyncCommandLine, ReadsVerbsAndOptionsInAnyOrderAndCase)
{
    const TSyncRequest both = ParseSyncCommandLine({L"--JSON", L"Both", L"--dry-run"});
    EXPECT_EQ(both.Action, TSyncRequest::TAction::Run);
    EXPECT_EQ(both.Verb, TSyncVerb::Both);
    EXPECT_TRUE(both.DryRun);
    EXPECT_TRUE(both.Json);
    const TSyncRequest list = ParseSyncCommandLine({L"list"});
    EXPECT_EQ(list.Verb, TSyncVerb::List);
    EXPECT_FALSE(list.DryRun || list.Json);
    EXPECT_EQ(ParseSyncCommandLine({L"to-registry", L"/?"}).Action, TSyncRequest::TAction::ShowHelp);
    EXPECT_EQ(ParseSyncCommandLine({L"--version"}).Action, TSyncRequest::TAction::ShowVersion);
}

TEST(SyncCommandLine, AnythingElseIsBadUsageNamingTheArgument)
{
    const std::pair<std::vector<std::wstring>, std::wstring> cases[] = {
        {{}, L"no verb given"},
        {{L"--json"}, L"no verb given"},
        {{L"sync"}, L"unknown verb \"sync\""},
        {{L"both", L"--force"}, L"unknown option \"--force\""},
        {{L"both", L"/y"}, L"unknown option \"/y\""},
        {{L"both", L"list"}, L"one verb at a time, not also \"list\""},
        {{L"list", L"--dry-run"}, L"unknown option \"--dry-run\" for \"list\", which changes nothing"},
    };
    for (const auto& [arguments, message] : cases) {
        try {
            ParseSyncCommandLine(arguments);
            ADD_FAILURE() << "accepted: " << arguments.size() << " arguments";
        } catch (const ESyncUsageError& e) {
            EXPECT_EQ(e.Message(), message);
        }
    }
}

TEST(JsonString, EscapesWhatJsonForbidsAndKeepsTheRest)
{
    EXPECT_EQ(JsonString(L"a\"b\\c/d"), L"\"a\\\"b\\\\c/d\"");
    EXPECT_EQ(JsonString(L"\t\r\n\b\f\x01\x1F"s + L'\0'), L"\"\\t\\r\\n\\b\\f\\u0001\\u001F\\u0000\"");
    EXPECT_EQ(JsonString(L"\x039A\x03CC \x4F1A\x8B70 \xD83D\xDE00 \x7F"), L"\"\x039A\x03CC \x4F1A\x8B70 \xD83D\xDE00 \x7F\"");
    // UTF-8 cannot carry a lone surrogate; an escape keeps the name exact.
    EXPECT_EQ(JsonString(L"a\xD800" L"b\xDC00"), L"\"a\\uD800b\\uDC00\"");
    EXPECT_EQ(JsonString(L"\xDE00\xD83D"), L"\"\\uDE00\\uD83D\"");
}

TEST(ConsoleText, FilesAndPipesGetUtf8WithoutAByteOrderMark)
{
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    ASSERT_TRUE(CreatePipe(&read, &write, nullptr, 0));
    EXPECT_FALSE(IsConsoleHandle(write));
    EXPECT_TRUE(WriteText(write, L"\x039A \x0416 \x4F1A \xD83D\xDE00\r\n"));
    CloseHandle(write);
    char bytes[64] = {};
    DWORD count = 0;
    ReadFile(read, bytes, sizeof(bytes), &count, nullptr);
    CloseHandle(read);
    EXPECT_EQ(std::string(bytes, count), "\xCE\x9A \xD0\x96 \xE4\xBC\x9A \xF0\x9F\x98\x80\r\n");
    EXPECT_FALSE(IsConsoleHandle(nullptr));
    EXPECT_FALSE(IsConsoleHandle(INVALID_HANDLE_VALUE));
}

HANDLE NewScreenBuffer()
{
    return CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     CONSOLE_TEXTMODE_BUFFER, nullptr);
}

TEST(ConsoleText, AConsoleGetsEveryCharacterWhateverItsCodePage)
{
    // A screen buffer of its own is never shown, so the test writes nothing on
    // the console it was started from. Under Wine the process may hold only a
    // stand-in for a console, which makes no buffers: it gets a real one.
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
    DWORD read = 0;
    ReadConsoleOutputCharacterW(buffer, shown.data(), static_cast<DWORD>(shown.size()), COORD{0, 0}, &read);
    EXPECT_EQ(shown, text);
    CloseHandle(buffer);
    if (allocated)
        FreeConsole();
}
