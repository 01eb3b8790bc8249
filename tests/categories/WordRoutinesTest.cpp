#include "base/Errors.h"
#include "categories/MainUnit.h"
#include "categories/MasterListText.h"

#include <gtest/gtest.h>

#include <vector>

using namespace std::string_literals;

namespace {

std::vector<std::wstring> Names(const TCategorySet& set)
{
    std::vector<std::wstring> names;
    for (int i = 0; i < set.Count(); ++i)
        names.push_back(set.Get(i));
    return names;
}

std::vector<std::wstring> SplitToNames(const std::wstring& text)
{
    TCategorySet set;
    SplitMasterList(text, CategoryDelimiters, set);
    return Names(set);
}

using Words = std::vector<std::wstring>;

}  // namespace

TEST(WordRoutines, CountsWordsIgnoringEmptyFieldsAndOuterDelimiters)
{
    EXPECT_EQ(CountDelimitedWords(L"", L";"), 0);
    EXPECT_EQ(CountDelimitedWords(L";;;", L";"), 0);
    EXPECT_EQ(CountDelimitedWords(L"Red;;Blue;", L";"), 2);
    EXPECT_EQ(CountDelimitedWords(L";Red;Blue", L";"), 2);
    EXPECT_EQ(CountDelimitedWords(L"a,b;c", L";,"), 3);
    EXPECT_EQ(CountDelimitedWords(L"a;b", L""), 1) << "an empty delimiter set has no delimiters";
    EXPECT_FALSE(IsDelimiterChar(L"", L';'));
}

TEST(WordRoutines, ExtractsWordsByNumberAndNothingOutsideOneToCount)
{
    const std::wstring text = L";Red;; Blue ;Green";
    EXPECT_EQ(ExtractDelimitedWord(1, text, L";"), L"Red");
    EXPECT_EQ(ExtractDelimitedWord(2, text, L";"), L" Blue ");
    EXPECT_EQ(ExtractDelimitedWord(3, text, L";"), L"Green");

    for (const int n : {0, -1, -100, 4}) {
        std::size_t position = 777;
        EXPECT_FALSE(FindWordStart(n, text, L";", position)) << n;
        EXPECT_EQ(position, 777u) << "position must stay unset for n = " << n;
        EXPECT_EQ(ExtractDelimitedWord(n, text, L";"), L"") << n;
    }
    std::size_t position = 0;
    ASSERT_TRUE(FindWordStart(2, text, L";", position));
    EXPECT_EQ(position, 7u);
}

TEST(WordRoutines, KeepsU0000InsideWords)
{
    const std::wstring text = L"Red;Blue\0;\0Green"s;
    EXPECT_EQ(CountDelimitedWords(text, L";"), 3);
    EXPECT_EQ(ExtractDelimitedWord(2, text, L";"), L"Blue\0"s);
    EXPECT_EQ(ExtractDelimitedWord(3, text, L";"), L"\0Green"s);
}

TEST(BlankRoutines, ClassifiesSpacesAndControlsAsBlank)
{
    for (const wchar_t c : {L' ', L'\t', L'\r', L'\n', L'\0', L'\x3000'})
        EXPECT_TRUE(IsBlankCharW(c)) << static_cast<int>(c);
    for (const wchar_t c : {L'a', L'Z', L'0', L'.', L';', L'\x0416', L'\x65E5'})
        EXPECT_FALSE(IsBlankCharW(c)) << static_cast<int>(c);
    EXPECT_NE(GetCharType1W(L'\0') & C1_CNTRL, 0);
}

TEST(BlankRoutines, SkipsAndStripsBlanks)
{
    const std::wstring lead = L"  \tRed";
    EXPECT_EQ(SkipLeadingBlanksW(lead.data(), lead.size()), lead.data() + 3);
    const std::wstring blanks = L"   ";
    EXPECT_EQ(SkipLeadingBlanksW(blanks.data(), blanks.size()), blanks.data() + 3);
    EXPECT_EQ(SkipLeadingBlanksW(blanks.data(), 0), blanks.data());

    wchar_t red[] = L"Red  ";
    EXPECT_EQ(StripTrailingBlanksW(red, 5), 3u);
    EXPECT_EQ(red[3], L'\0');
    EXPECT_EQ(red[4], L' ');
    wchar_t spaces[] = L"   ";
    EXPECT_EQ(StripTrailingBlanksW(spaces, 3), 0u);
    EXPECT_EQ(std::wstring(spaces), L"   ") << "nothing is written when nothing is kept";
}

TEST(BlankRoutines, TrimsAndCutsAtFirstU0000AfterLeadingBlanks)
{
    EXPECT_EQ(TrimBlanksW(L"  Red  "), L"Red");
    EXPECT_EQ(TrimBlanksW(L"Red\0 Blue"s), L"Red");
    EXPECT_EQ(TrimBlanksW(L"\0\0 Green "s), L"Green");
    EXPECT_EQ(TrimBlanksW(L"\t"), L"");
    EXPECT_EQ(TrimBlanksW(L""), L"");
}

TEST(Acceptance, DropsBlankOnlyWordsAndWordsStartingWithU0000)
{
    EXPECT_TRUE(IsAcceptedWord(L"Red"));
    EXPECT_TRUE(IsAcceptedWord(L" Red "));
    EXPECT_TRUE(IsAcceptedWord(L"Blue\0"s));
    EXPECT_FALSE(IsAcceptedWord(L"  "));
    EXPECT_FALSE(IsAcceptedWord(L"\t\r\n"));
    EXPECT_FALSE(IsAcceptedWord(L"\0"s));
    EXPECT_FALSE(IsAcceptedWord(L"\0Green"s)) << "dropped although its trimmed form is not empty";
}

TEST(Splitting, KeepsTheUntrimmedWordAndDropsBlankWords)
{
    EXPECT_EQ(SplitToNames(L""), Words{});
    EXPECT_EQ(SplitToNames(L"Red; Blue"), (Words{L" Blue", L"Red"}));
    EXPECT_EQ(SplitToNames(L"Blue; Blue"), (Words{L" Blue", L"Blue"}));
    EXPECT_EQ(SplitToNames(L"Red;  ;Blue"), (Words{L"Blue", L"Red"}));
    EXPECT_EQ(SplitToNames(L"Red;\t\r\n;Blue"), (Words{L"Blue", L"Red"}));
}

TEST(Splitting, HandlesU0000AtTheEndAndBetweenVersions)
{
    EXPECT_EQ(SplitToNames(L"Red;Blue;\0"s), (Words{L"Blue", L"Red"}));
    EXPECT_EQ(SplitToNames(L"Red;Blue\0"s), (Words{L"Blue\0"s, L"Red"}));
    EXPECT_EQ(SplitToNames(L"A;\0Green;B;"s), (Words{L"A", L"B"}));
    EXPECT_EQ(SplitToNames(L"A;B"s + L"C;D"), (Words{L"A", L"BC", L"D"}));
}

TEST(Splitting, AddsWordsInTextOrderSoTheFirstFormWins)
{
    EXPECT_EQ(SplitToNames(L"RED;Red;red"), Words{L"RED"});
    EXPECT_EQ(SplitToNames(L"red;Red"), Words{L"red"});
}

TEST(Joining, WritesEveryNameFollowedBySemicolon)
{
    TCategorySet set;
    EXPECT_EQ(JoinMasterList(set), L"");
    set.Add(L"Red");
    set.Add(L"Blue");
    const std::wstring text = JoinMasterList(set);
    EXPECT_EQ(text, L"Blue;Red;");
    EXPECT_EQ(text.size() * sizeof(wchar_t), 18u);

    set.Add(L"Grey\0"s);
    EXPECT_EQ(JoinMasterList(set), L"Blue;Grey\0;Red;"s);
}
