#include "categories/CategorySet.h"
#include "base/Errors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
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

using Words = std::vector<std::wstring>;

}  // namespace

TEST(CategorySet, NewSetIsEmpty)
{
    TCategorySet set;
    EXPECT_EQ(set.Count(), 0);
    EXPECT_EQ(set.IndexOf(L"Red"), -1);
    EXPECT_EQ(set.IndexOf(L""), -1);
    set.Clear();
    EXPECT_EQ(set.Count(), 0);
}

TEST(CategorySet, IgnoresCaseButNotBlanksAndKeepsTheFirstForm)
{
    TCategorySet set;
    set.Add(L"Red");
    set.Add(L"RED");
    set.Add(L"red");
    EXPECT_EQ(Names(set), Words{L"Red"});
    EXPECT_EQ(set.IndexOf(L"red"), 0);

    set.Add(L" Red");
    set.Add(L"Red ");
    EXPECT_EQ(set.Count(), 3);

    TCategorySet umlauts;
    umlauts.Add(L"\x00C4pfel");  // Äpfel
    umlauts.Add(L"\x00E4pfel");  // äpfel
    EXPECT_EQ(Names(umlauts), Words{L"\x00C4pfel"});
    EXPECT_EQ(umlauts.IndexOf(L"\x00E4PFEL"), 0);

    TCategorySet cyrillic;
    cyrillic.Add(L"\x0416\x0451\x043B\x0442\x044B\x0439");  // Жёлтый
    EXPECT_EQ(cyrillic.IndexOf(L"\x0436\x0401\x041B\x0422\x042B\x0419"), 0);  // ЖЁЛТЫЙ
}

TEST(CategorySet, WindowsMakesOneNameOfMoreThanLetterCase)
{
    // The README tells users which names count as one; this pins what it says.
    struct Case {
        std::wstring a, b;
        bool same;
    };
    const Case cases[] = {
        {L"Stra\x00DF" L"e", L"Strasse", true},     // sharp s and ss
        {L"STRASSE", L"stra\x00DF" L"e", true},
        {L"Caf\x00E9", L"Cafe\x0301", true},        // composed and decomposed accent
        {L"CAF\x00C9", L"cafe\x0301", true},
        {L"\xFB01" L"le", L"file", true},            // the ligature fi and f, i
        {L"\xFB01" L"le", L"FILE", true},
        {L"Caf\x00E9", L"Cafe", false},              // an accent itself counts
        {L"\xFF32\xFF45\xFF44", L"Red", false},      // so does full width
        {L"Stra\x00DF" L"e", L"Strase", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a.size() << " and " << c.b.size() << " units, " << c.same);
        TCategorySet set;
        set.Add(c.a);
        set.Add(c.b);
        EXPECT_EQ(set.Count(), c.same ? 1 : 2);
    }
}

TEST(CategorySet, OrdersByLocaleIgnoringCase)
{
    TCategorySet set;
    for (const auto* name : {L"cherry", L"Apple", L"banana"})
        set.Add(name);
    EXPECT_EQ(Names(set), (Words{L"Apple", L"banana", L"cherry"}));
}

TEST(CategorySet, KeepsNonLatinNamesDistinctAndIntact)
{
    const Words names = {
        L"\x039A\x03CC\x03BA\x03BA\x03B9\x03BD\x03BF",  // Κόκκινο
        L"\x039C\x03C0\x03BB\x03B5",                    // Μπλε
        L"\x041A\x0440\x0430\x0441\x043D\x044B\x0439",  // Красный
        L"\x0421\x0438\x043D\x0438\x0439",              // Синий
        L"\x8D64",                                      // 赤
        L"\x9752",                                      // 青
        L"\x4F1A\x8B70",                                // 会議
    };
    TCategorySet set;
    for (const auto& name : names)
        set.Add(name);
    ASSERT_EQ(set.Count(), static_cast<int>(names.size()));
    for (const auto& name : names) {
        const int index = set.IndexOf(name);
        ASSERT_GE(index, 0);
        EXPECT_EQ(set.Get(index), name) << "a name must come back unit for unit";
    }
}

TEST(CategorySet, GetOutsideTheRangeRaisesWithTheIndex)
{
    TCategorySet set;
    set.Add(L"Red");
    EXPECT_EQ(set.Get(0), L"Red");
    for (const int index : {-1, 1, 5}) {
        try {
            set.Get(index);
            ADD_FAILURE() << "no exception for " << index;
        } catch (const EStringListError& e) {
            EXPECT_EQ(e.Message(), L"List index out of bounds (" + std::to_wstring(index) + L")");
        }
    }
}

TEST(CategorySet, StaysSortedAndUniqueAcrossManyInsertions)
{
    // Enough names to spread over several storage blocks, in random order.
    std::mt19937 random(1234);
    Words names;
    for (int i = 0; i < 3000; ++i)
        names.push_back(L"Name " + std::to_wstring(random() % 100000));
    TCategorySet set;
    for (const auto& name : names)
        set.Add(name);

    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    ASSERT_EQ(set.Count(), static_cast<int>(names.size()));
    for (int i = 1; i < set.Count(); ++i)
        ASSERT_LT(CompareCategoryNames(set.Get(i - 1), set.Get(i)), 0) << i;
    for (const auto& name : names)
        ASSERT_EQ(set.Get(set.IndexOf(name)), name);
}

TEST(DisplayTexts, ControlCharactersShowAsReplacementsAndTheRegistryCutsAtU0000)
{
    TCategorySet set;
    EXPECT_EQ(RegistryDisplayText(set), L"");
    EXPECT_EQ(StoreDisplayText(set), L"");

    set.Add(L"Blue\0\n"s);
    set.Add(L"Evil\r\nadded to Outlook: Fake");
    set.Add(L"Red\x01\x1F\x7F\x20\x80\t\x2028");
    // Hebrew in the embedding its writer chose: a memo line holds only the name.
    set.Add(L"\x202B\x05D0\x05D1\x202C");
    EXPECT_EQ(RegistryDisplayText(set), L"Blue\r\nEvil\xFFFD\xFFFD" L"added to Outlook: Fake\r\n"
                                        L"Red\xFFFD\xFFFD\xFFFD \xFFFD\xFFFD\xFFFD\r\n\x202B\x05D0\x05D1\x202C\r\n");
    EXPECT_EQ(StoreDisplayText(set), L"Blue\xFFFD\xFFFD\r\nEvil\xFFFD\xFFFD" L"added to Outlook: Fake\r\n"
                                     L"Red\xFFFD\xFFFD\xFFFD \xFFFD\xFFFD\xFFFD\r\n\x202B\x05D0\x05D1\x202C\r\n");
}
