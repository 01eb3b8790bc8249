// Random master list texts: split into a set, join, split again. What was read
// must be what is written back, name for name.
#include "categories/MainUnit.h"
#include "categories/MasterListText.h"

#include <gtest/gtest.h>

#include <random>

namespace {

std::wstring RandomMasterList(std::mt19937& random)
{
    static const std::wstring alphabet =
        L"abcXYZ019 \t\r\n;;;\0\x0001\x00C4\x00E4\x00DF"  // Latin, blanks, controls, U+0000
        L"\x03B1\x0391\x03C9\x0416\x0436\x044F"           // Greek, Cyrillic
        L"\x3042\x30AB\x65E5\x672C\x3000"                  // Japanese, ideographic space
        L"-'._,";
    const auto length = random() % 60;
    std::wstring text;
    for (unsigned i = 0; i < length; ++i)
        text += alphabet[random() % alphabet.size()];
    return text;
}

}  // namespace

TEST(RoundTrip, SplitJoinSplitGivesTheSameSet)
{
    std::mt19937 random(20261207);
    for (int round = 0; round < 3000; ++round) {
        const std::wstring text = RandomMasterList(random);
        TCategorySet first;
        SplitMasterList(text, CategoryDelimiters, first);
        const std::wstring joined = JoinMasterList(first);
        TCategorySet second;
        SplitMasterList(joined, CategoryDelimiters, second);

        ASSERT_EQ(second.Count(), first.Count()) << "round " << round;
        for (int i = 0; i < first.Count(); ++i)
            ASSERT_EQ(second.Get(i), first.Get(i)) << "round " << round << ", entry " << i;
        ASSERT_EQ(JoinMasterList(second), joined) << "round " << round;
    }
}

TEST(RoundTrip, LinearSplitMatchesWordByWordExtraction)
{
    // The split must add exactly the words that counting and extracting word
    // 1..n would, in that order.
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        const std::wstring text = RandomMasterList(random);
        std::vector<std::wstring> expected;
        const int n = CountDelimitedWords(text, CategoryDelimiters);
        for (int i = 1; i <= n; ++i) {
            std::wstring word = ExtractDelimitedWord(i, text, CategoryDelimiters);
            if (IsAcceptedWord(word))
                expected.push_back(word);
        }
        TCategorySet byExtraction;
        for (const auto& word : expected)
            byExtraction.Add(word);
        TCategorySet bySplit;
        SplitMasterList(text, CategoryDelimiters, bySplit);
        ASSERT_EQ(JoinMasterList(bySplit), JoinMasterList(byExtraction)) << "round " << round;
    }
}
