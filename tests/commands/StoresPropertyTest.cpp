// Data safety of the copies over random profiles of one to four stores, among
// them a store showing another's list (IMAP) and one that cannot be read, for
// every direction and every choice of store, while another program may add to
// any list between the Refresh and the copy. Whatever the command, no name is
// lost, renamed, split or invented anywhere, no list holds a name twice, each
// side holds what the command promises, and a name that goes from one store to
// another keeps its colour.
#include "FakeStores.h"

#include "base/Errors.h"
#include "categories/MainUnit.h"
#include "categories/MasterListText.h"
#include "commands/Commands.h"
#include "registry/MasterList.h"

#include "support/ScratchHkcu.h"

#include <gtest/gtest.h>

#include <random>

namespace {

const wchar_t* const kVocabulary[] = {L"Red", L"RED", L"Blue", L"Green", L"Follow up", L"\x00C4pfel", L"\x00E4PFEL",
                                      L"Caf\x00E9", L"\x039A\x03CC\x03BA\x03BA\x03B9\x03BD\x03BF",
                                      L"\x0416\x0451\x043B\x0442\x044B\x0439", L"\x4F1A\x8B70", L"x"};
const std::wstring kHoldingSemicolon = L"Plan;Do";
const std::wstring kKey14 = L"Software\\Microsoft\\Office\\14.0\\Outlook\\Categories";
const int kRounds = 1000;

using Command = void (*)(TProgramState&, ICommandUi&);
const Command kCommands[] = {BtnTAVtoOLClick, BtnOLtoTAVClick, BtnSyncOLandTAVClick};

std::wstring RandomName(std::mt19937& random, bool semicolons)
{
    return semicolons && random() % 6 == 0 ? kHoldingSemicolon : kVocabulary[random() % std::size(kVocabulary)];
}

// A list never holds two names equal but for case: Outlook refuses the second.
TFakeList RandomList(std::mt19937& random, bool semicolons)
{
    TFakeList list;
    for (auto count = random() % 5; count > 0; --count) {
        const std::wstring name = RandomName(random, semicolons);
        if (list.Find(name) != -1)
            continue;
        list.Names.push_back(name);
        list.Colors.push_back(TCategoryColor::FromOutlook(static_cast<std::int32_t>(1 + random() % 25)));
    }
    return list;
}

// The profile's stores in chooser order (the default store first), each
// showing one of the lists; -1 for a store that cannot be read.
struct TProfile {
    std::vector<std::shared_ptr<TFakeList>> Lists;
    std::vector<int> ListOfStore;
};

TProfile RandomProfile(std::mt19937& random, TFakeSource& source)
{
    TProfile profile;
    const auto stores = 1 + random() % 4;
    for (unsigned i = 0; i < stores; ++i) {
        const std::wstring key = L"00" + std::to_wstring(i);
        if (i > 0 && random() % 4 == 0) {
            profile.Lists.push_back(std::make_shared<TFakeList>());
            source.AddStore(key, L"S" + std::to_wstring(i), profile.Lists.back()).Unreadable =
                L"The store is not available";
            profile.ListOfStore.push_back(-1);
            continue;
        }
        // It shows the list of an earlier store that can be read.
        if (const auto earlier = random() % (i + 1); earlier < i && random() % 3 == 0 && profile.ListOfStore[earlier] >= 0) {
            const int list = profile.ListOfStore[earlier];
            source.AddStore(key, L"S" + std::to_wstring(i), profile.Lists[static_cast<std::size_t>(list)]);
            profile.ListOfStore.push_back(list);
            continue;
        }
        profile.Lists.push_back(std::make_shared<TFakeList>(RandomList(random, true)));
        source.AddStore(key, L"S" + std::to_wstring(i), profile.Lists.back());
        profile.ListOfStore.push_back(static_cast<int>(profile.Lists.size()) - 1);
    }
    return profile;
}

std::vector<TFakeList> Copies(const TProfile& profile)
{
    std::vector<TFakeList> copies;
    for (const auto& list : profile.Lists)
        copies.push_back(*list);
    return copies;
}

}  // namespace

TEST(StoresProperty, NoCopyLosesInventsOrDoublesANameAndColoursTravel)
{
    std::mt19937 random(1414);
    for (int round = 0; round < kRounds && !HasFailure(); ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ScratchHkcu scratch;
        const TFakeList registryList = RandomList(random, false);
        std::wstring text;
        for (const std::wstring& name : registryList.Names)
            text += name + L";";
        PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(text));
        TFakeSource source;
        const TProfile profile = RandomProfile(random, source);
        const std::size_t storeCount = profile.ListOfStore.size();

        TProgramState state;
        state.Sources = {&source};
        state.OutlookMajorVersion = "14";
        TUnattendedUi ui;
        BtnReadCategoriesClick(state, ui);
        const std::vector<TFakeList> atRefresh = Copies(profile);
        // Another program adds to a list meanwhile.
        if (const int intruded = profile.ListOfStore[random() % storeCount]; intruded >= 0 && random() % 3 == 0) {
            TFakeList& list = *profile.Lists[static_cast<std::size_t>(intruded)];
            if (const std::wstring name = RandomName(random, false); list.Find(name) == -1) {
                list.Names.push_back(name);
                list.Colors.push_back(TCategoryColor::FromOutlook(3));
            }
        }
        const std::vector<TFakeList> before = Copies(profile);
        const int choice = static_cast<int>(random() % (storeCount + 1));
        ChooseStore(state, ui, choice == static_cast<int>(storeCount) ? kAllStores : choice);
        const bool all = IsAllStores(state);
        const std::size_t which = random() % std::size(kCommands);
        bool refused = false;
        try {
            kCommands[which](state, ui);
        } catch (const EException& e) {
            refused = true;
            EXPECT_EQ(e.Message(),
                      L"The categories in Outlook could not be read completely. Press Refresh, then try again.");
        }
        EXPECT_EQ(refused, !all && profile.ListOfStore[static_cast<std::size_t>(choice)] < 0);

        TCategorySet registryAfter;
        std::wstring value;
        ReadRegistryCategories(value);
        SplitMasterList(value, CategoryDelimiters, registryAfter);
        TCategorySet heldBefore;
        for (const std::wstring& name : registryList.Names)
            heldBefore.Add(name);
        for (std::size_t s = 0; s < storeCount; ++s) {
            if (profile.ListOfStore[s] >= 0) {
                for (const std::wstring& name : before[static_cast<std::size_t>(profile.ListOfStore[s])].Names)
                    heldBefore.Add(name);
            }
        }

        // Nothing lost or renamed: each list only grows at its end, colours kept.
        for (std::size_t l = 0; l < before.size(); ++l) {
            const TFakeList& was = before[l];
            const TFakeList& is = *profile.Lists[l];
            ASSERT_GE(is.Names.size(), was.Names.size());
            EXPECT_TRUE(std::equal(was.Names.begin(), was.Names.end(), is.Names.begin()));
            EXPECT_TRUE(std::equal(was.Colors.begin(), was.Colors.end(), is.Colors.begin()));
            TCategorySet distinct;
            for (const std::wstring& name : is.Names) {
                EXPECT_GE(heldBefore.IndexOf(name), 0) << "invented: " << ToUtf8(name);
                distinct.Add(name);
            }
            EXPECT_EQ(static_cast<std::size_t>(distinct.Count()), is.Names.size()) << "a name twice in list " << l;
        }
        for (const std::wstring& name : registryList.Names)
            EXPECT_TRUE(registryAfter.IndexOf(name) >= 0 && registryAfter.Get(registryAfter.IndexOf(name)) == name)
                << ToUtf8(name);
        for (int i = 0; i < registryAfter.Count(); ++i)
            EXPECT_GE(heldBefore.IndexOf(registryAfter.Get(i)), 0) << "invented: " << ToUtf8(registryAfter.Get(i));
        if (refused) {
            EXPECT_EQ(registryAfter.Count(), static_cast<int>(registryList.Names.size()));
            for (std::size_t l = 0; l < before.size(); ++l)
                EXPECT_EQ(profile.Lists[l]->Names, before[l].Names);
            continue;
        }

        // What the command promises, for the chosen stores, from what the Refresh read.
        const Command command = kCommands[which];
        std::vector<int> chosenLists;
        for (std::size_t s = 0; s < storeCount; ++s) {
            if (profile.ListOfStore[s] >= 0 && (all || static_cast<int>(s) == choice))
                chosenLists.push_back(profile.ListOfStore[s]);
        }
        TCategorySet chosenNames;
        for (const int l : chosenLists) {
            for (const std::wstring& name : atRefresh[static_cast<std::size_t>(l)].Names)
                chosenNames.Add(name);
        }
        for (const int l : chosenLists) {
            const TFakeList& is = *profile.Lists[static_cast<std::size_t>(l)];
            if (command != BtnOLtoTAVClick) {
                for (const std::wstring& name : registryList.Names)
                    EXPECT_GE(is.Find(name), 0) << "list " << l << " lacks " << ToUtf8(name);
            }
            if (command == BtnSyncOLandTAVClick && all) {
                for (int i = 0; i < chosenNames.Count(); ++i)
                    EXPECT_GE(is.Find(chosenNames.Get(i)), 0) << "list " << l << " lacks "
                                                               << ToUtf8(chosenNames.Get(i));
            }
        }
        if (command != BtnTAVtoOLClick) {
            for (int i = 0; i < chosenNames.Count(); ++i) {
                if (chosenNames.Get(i).find(L';') == std::wstring::npos) {
                    EXPECT_GE(registryAfter.IndexOf(chosenNames.Get(i)), 0) << ToUtf8(chosenNames.Get(i));
                }
            }
        }

        // A name new to a list takes the colour of the first other readable
        // store in chooser order that held it at the Refresh; one that only the
        // registry had is added without one, for the store to pick.
        for (std::size_t l = 0; l < profile.Lists.size(); ++l) {
            const TFakeList& is = *profile.Lists[l];
            for (std::size_t i = before[l].Names.size(); i < is.Names.size(); ++i) {
                std::optional<TCategoryColor> expected;
                for (std::size_t s = 0; s < storeCount; ++s) {
                    const int giver = profile.ListOfStore[s];
                    if (giver < 0 || giver == static_cast<int>(l))
                        continue;
                    const TFakeList& from = atRefresh[static_cast<std::size_t>(giver)];
                    if (const int at = from.Find(is.Names[i]); at >= 0) {
                        expected = from.Colors[static_cast<std::size_t>(at)];
                        break;
                    }
                }
                EXPECT_EQ(is.Colors[i], expected) << ToUtf8(is.Names[i]);
            }
        }
    }
}
