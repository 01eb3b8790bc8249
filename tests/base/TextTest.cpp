// The program's text plumbing: its two ways of ignoring letter case and its
// one pair of code-page conversions.
#include "base/CodePage.h"
#include "base/Platform.h"
#include "categories/CategorySet.h"

#include <gtest/gtest.h>

using namespace std::string_literals;

TEST(LetterCase, BothComparisonsFoldLetterCaseAndNothingElse)
{
    struct TPair {
        std::wstring A, B;
        bool Same;  // for both: an identity and a category name
    };
    const TPair pairs[] = {
        {L"Red", L"RED", true},
        {L"\x00C4pfel", L"\x00E4PFEL", true},                     // Äpfel, äPFEL
        {L"\x0416\x0451\x043B\x0442\x044B\x0439", L"\x0436\x0401\x041B\x0422\x042B\x0419", true},  // Жёлтый
        {L"0000AB12cd", L"0000ab12CD", true},                      // a StoreID in another case
        {L"\xFF32\xFF45\xFF44", L"Red", false},                    // full-width Ｒｅｄ
        {L"\x304B\x3066\x3054\x308A", L"\x30AB\x30C6\x30B4\x30EA", false},  // かてごり, カテゴリ
        {L"Caf\x00E9", L"Cafe", false},                            // Café
        {L"Cafe\x0301", L"Cafe", false},                           // a combining accent
        {L" Red", L"Red", false},
    };
    for (const TPair& p : pairs) {
        SCOPED_TRACE(ToUtf8(p.A) + " / " + ToUtf8(p.B));
        EXPECT_EQ(SameTextIgnoringCase(p.A, p.B), p.Same);
        EXPECT_EQ(CompareCategoryNames(p.A, p.B) == 0, p.Same);
        EXPECT_EQ(CompareIgnoringCaseInUserLocale(p.B, p.A) == 0, p.Same);
    }
}

TEST(LetterCase, OnlyCategoryNamesFollowTheLocalesOrder)
{
    // Ordinal, "B" (U+0042) would come before "a"; a name list reads alphabetically.
    EXPECT_LT(CompareCategoryNames(L"apple", L"Banana"), 0);
    EXPECT_GT(CompareCategoryNames(L"Banana", L"apple"), 0);
    // Identities match unit by unit: a text cut at U+0000 is another one.
    EXPECT_FALSE(SameTextIgnoringCase(L"Blue\0x"s, L"Blue"));
}

TEST(CodePage, ConvertsTheWholeTextBothWays)
{
    const std::wstring text = L"Caf\x00E9 \x0416\0end"s;
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_EQ(ToUtf8(text).size(), 12u);  // é and Ж take two bytes each
    EXPECT_EQ(ToCodePage(L"Caf\x00E9", 1252), "Caf\xE9");
    EXPECT_EQ(FromCodePage("Caf\xE9\0x"s, 1252), L"Caf\x00E9\0x"s);
    EXPECT_EQ(ToCodePage(L"", 1252), "");
    EXPECT_EQ(FromCodePage("", CP_UTF8), L"");
}

TEST(CodePage, LosesWhatThePageCannotHoldAsTheSystemDoes)
{
    // Cyrillic has no place in Western European text: the system's default character.
    EXPECT_EQ(ToCodePage(L"\x0416", 1252), "?");
    EXPECT_EQ(FromCodePage(ToCodePage(L"A\x0416" L"B", 1252), 1252), L"A?B");
    // A code page the system does not know converts nothing.
    EXPECT_EQ(ToCodePage(L"Red", 4242), "");
    EXPECT_EQ(FromCodePage("Red", 4242), L"");
}
