// What outside text may not do where the window and the console show it.
#include "categories/ShownText.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

namespace {

enum TShown { Kept, Replaced };

struct TCharacterCase {
    wchar_t character;
    TShown inMemo;
    TShown onLine;
};

}  // namespace

TEST(ShownText, EachCharacterThroughEachRule)
{
    const TCharacterCase cases[] = {
        {L'\0', Replaced, Replaced},     {L'\t', Replaced, Replaced},     {L'\n', Replaced, Replaced},
        {L'\r', Replaced, Replaced},     {L'\x1B', Replaced, Replaced},   {L'\x1F', Replaced, Replaced},
        {L' ', Kept, Kept},              {L'~', Kept, Kept},              {L'\x7F', Replaced, Replaced},
        // C1: NEL ends a line for some readers, CSI drives a terminal as ESC [ does.
        {L'\x80', Replaced, Replaced},   {L'\x85', Replaced, Replaced},   {L'\x9B', Replaced, Replaced},
        {L'\x9F', Replaced, Replaced},   {L'\xA0', Kept, Kept},           {L'\xE9', Kept, Kept},
        {L'\x2027', Kept, Kept},         {L'\x2028', Replaced, Replaced}, {L'\x2029', Replaced, Replaced},
        // Embeddings, overrides and isolates turn a line round; the plain marks do not.
        {L'\x200E', Kept, Kept},         {L'\x200F', Kept, Kept},         {L'\x202A', Kept, Replaced},
        {L'\x202B', Kept, Replaced},     {L'\x202C', Kept, Replaced},     {L'\x202D', Kept, Replaced},
        {L'\x202E', Kept, Replaced},     {L'\x202F', Kept, Kept},         {L'\x2065', Kept, Kept},
        {L'\x2066', Kept, Replaced},     {L'\x2067', Kept, Replaced},     {L'\x2068', Kept, Replaced},
        {L'\x2069', Kept, Replaced},     {L'\x206A', Kept, Kept},         {L'\xFFFD', Kept, Kept},
        {L'\xFEFF', Kept, Kept},
    };
    for (const TCharacterCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "U+" << std::hex << std::uppercase << static_cast<unsigned>(c.character));
        const std::wstring text = L"a"s + c.character + L"b";
        const auto expected = [&](TShown shown) { return shown == Kept ? text : L"a\xFFFD" L"b"; };
        EXPECT_EQ(ShownInMemo(text), expected(c.inMemo));
        EXPECT_EQ(ShownOnLine(text), expected(c.onLine));
        const bool lineBreak = c.character == L'\r' || c.character == L'\n';
        EXPECT_EQ(ShownLineByLine(text), lineBreak ? text : expected(c.onLine));
    }
    EXPECT_EQ(ShownOnLine(L"\xD83D\xDE00"), L"\xD83D\xDE00") << "a surrogate pair is one character";
}

TEST(ShownText, AForgedLineAndATerminalEscapeStayOnTheirLine)
{
    const std::wstring reason = L"Denied\r\nadded to Outlook: Forged\x1B[2J\x9B" L"2J";
    const std::wstring shown = L"Denied\xFFFD\xFFFD" L"added to Outlook: Forged\xFFFD[2J\xFFFD" L"2J";
    EXPECT_EQ(ShownOnLine(reason), shown);
    EXPECT_EQ(ShownLineByLine(L"Failed to create key\nError Code: 5\r\n\x202E" L"0.8"),
              L"Failed to create key\nError Code: 5\r\n\xFFFD" L"0.8");
    EXPECT_EQ(ShownOnLine(L""), L"");
}
