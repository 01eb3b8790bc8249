// Data safety of the copies over random profiles of one to four stores, among
// them a store showing another's list (IMAP) and one that cannot be read, for
// every direction and every choice of store. Whatever the command, no name is
// lost, renamed, split or invented anywhere, no list holds a name twice, each
// side holds what the command promises, and a name that goes from one store
// to another keeps its colour.
#include "categories/MainUnit.h"
#include "categories/MasterListText.h"
#include "commands/Commands.h"
#include "registry/MasterList.h"
#include "standins/outlook/StandInControl.h"

#include "support/ScratchHkcu.h"

#include <gtest/gtest.h>

#include <random>

namespace {

const wchar_t* const kVocabulary[] = {L"Red", L"RED", L"Blue", L"Green", L"Follow up", L"\x00C4pfel", L"\x00E4PFEL",
                                      L"Caf\x00E9", L"\x039A\x03CC\x03BA\x03BA\x03B9\x03BD\x03BF",
                                      L"\x0416\x0451\x043B\x0442\x044B\x0439", L"\x4F1A\x8B70", L"x"};
const std::wstring kHoldingSemicolon = L"Plan;Do";
const std::wstring kKey14 = L"Software\\Microsoft\\Office\\14.0\\Outlook\\Categories";

using Command = void (*)(TProgramState&, ICommandUi&);
const Command kCommands[] = {BtnTAVtoOLClick, BtnOLtoTAVClick, BtnSyncOLandTAVClick};

// One list of the profile as the stand-in keeps it, whoever shows it.
struct TList {
    std::vector<std::wstring> Names;
    std::vector<long> Colors;
};

// A list never holds two names equal but for case: Outlook refuses the second.
TList RandomList(std::mt19937& random, bool semicolons)
{
    TList list;
    TCategorySet seen;
    for (auto count = random() % 5; count > 0; --count) {
        const std::wstring name = semicolons && random() % 6 == 0 ? kHoldingSemicolon
                                                                   : kVocabulary[random() % std::size(kVocabulary)];
        if (seen.IndexOf(name) != -1)
            continue;
        seen.Add(name);
        list.Names.push_back(name);
        list.Colors.push_back(static_cast<long>(1 + random() % 25));
    }
    return list;
}

int Find(const TList& list, const std::wstring& name)
{
    for (std::size_t i = 0; i < list.Names.size(); ++i) {
        if (CompareCategoryNames(list.Names[i], name) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

// The profile's stores in chooser order (the default store first), each
// naming the list it shows; -1 for a store that cannot be read.
struct TProfile {
    std::vector<TList> Lists;
    std::vector<int> ListOfStore;
};

TProfile ReadProfile(const TStandInState& state)
{
    TProfile profile;
    profile.Lists.push_back({state.Names, state.Colors});
    profile.ListOfStore.push_back(0);
    for (const TStandInStore& store : state.OtherStores) {
        profile.Lists.push_back({store.Names, store.Colors});
        int list = static_cast<int>(profile.Lists.size()) - 1;
        if (!store.CategoriesFault.empty())
            list = -1;
        else if (!store.SharesListOf.empty())
            list = store.SharesListOf.back() - L'0';  // "S<k>" shows list k
        profile.ListOfStore.push_back(list);
    }
    return profile;
}

TStandInState RandomProfile(std::mt19937& random)
{
    TStandInState state;
    state.DefaultStoreName = L"S0";
    const TList home = RandomList(random, true);
    state.Names = home.Names;
    state.Colors = home.Colors;
    const auto others = random() % 4;
    for (unsigned i = 1; i <= others; ++i) {
        TStandInStore store{L"S" + std::to_wstring(i), {}, {}, L"", L""};
        const std::size_t earlier = random() % i;
        if (random() % 4 == 0) {
            store.CategoriesFault = L"The store is not available";
        } else if (random() % 4 == 0 &&
                   (earlier == 0 || (state.OtherStores[earlier - 1].SharesListOf.empty() &&
                                     state.OtherStores[earlier - 1].CategoriesFault.empty()))) {
            // It shows the list of an earlier store that has a list of its own.
            store.SharesListOf = L"S" + std::to_wstring(earlier);
        } else {
            const TList list = RandomList(random, true);
            store.Names = list.Names;
            store.Colors = list.Colors;
        }
        state.OtherStores.push_back(store);
    }
    state.DefaultStorePosition = random() % (others + 1);
    return state;
}

}  // namespace

TEST(StoresProperty, NoCopyLosesInventsOrDoublesANameAndColoursTravel)
{
    CoInitialize(nullptr);
    {
        TStandInRegistration registration;
        TRunningStandIn outlook;
        std::mt19937 random(1414);
        for (int round = 0; round < 120 && !HasFailure(); ++round) {
            SCOPED_TRACE("round " + std::to_string(round));
            ScratchHkcu scratch;
            const TList registryList = RandomList(random, false);
            std::wstring text;
            for (const std::wstring& name : registryList.Names)
                text += name + L";";
            PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(text));
            WriteStandInState(RandomProfile(random));
            const TProfile before = ReadProfile(ReadStandInState());
            const std::size_t storeCount = before.ListOfStore.size();

            TProgramState state;
            OpenOutlookConnection(state, registration.ProgId());
            TUnattendedUi ui;
            BtnReadCategoriesClick(state, ui);
            const int choice = static_cast<int>(random() % (storeCount + 1));
            ChooseStore(state, ui, choice == static_cast<int>(storeCount) ? kAllStores : choice);
            const bool all = state.ChosenStore == kAllStores;
            const std::size_t which = random() % std::size(kCommands);
            bool refused = false;
            try {
                kCommands[which](state, ui);
            } catch (const EException& e) {
                refused = true;
                EXPECT_EQ(e.Message(),
                          L"The categories in Outlook could not be read completely. Press Refresh, then try again.");
            }
            CloseOutlookConnection(state);
            EXPECT_EQ(refused, !all && before.ListOfStore[static_cast<std::size_t>(choice)] < 0);

            const TProfile after = ReadProfile(ReadStandInState());
            TCategorySet registryAfter;
            std::wstring value;
            ReadRegistryCategories(value);
            SplitMasterList(value, CategoryDelimiters, registryAfter);
            TCategorySet heldBefore;
            for (const std::wstring& name : registryList.Names)
                heldBefore.Add(name);
            for (std::size_t s = 0; s < storeCount; ++s) {
                if (before.ListOfStore[s] >= 0) {
                    for (const std::wstring& name : before.Lists[static_cast<std::size_t>(before.ListOfStore[s])].Names)
                        heldBefore.Add(name);
                }
            }

            // Nothing lost or renamed: each list only grows at its end, colours kept.
            for (std::size_t l = 0; l < before.Lists.size(); ++l) {
                const TList& was = before.Lists[l];
                const TList& is = after.Lists[l];
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
                for (std::size_t l = 0; l < before.Lists.size(); ++l)
                    EXPECT_EQ(after.Lists[l].Names, before.Lists[l].Names);
                continue;
            }

            // What the command promises, for the chosen stores.
            const Command command = kCommands[which];
            std::vector<int> chosenLists;
            for (std::size_t s = 0; s < storeCount; ++s) {
                if (before.ListOfStore[s] >= 0 && (all || static_cast<int>(s) == choice))
                    chosenLists.push_back(before.ListOfStore[s]);
            }
            TCategorySet chosenNames;
            for (const int l : chosenLists) {
                for (const std::wstring& name : before.Lists[static_cast<std::size_t>(l)].Names)
                    chosenNames.Add(name);
            }
            for (const int l : chosenLists) {
                const TList& is = after.Lists[static_cast<std::size_t>(l)];
                if (command != BtnOLtoTAVClick) {
                    for (const std::wstring& name : registryList.Names)
                        EXPECT_GE(Find(is, name), 0) << "list " << l << " lacks " << ToUtf8(name);
                }
                if (command == BtnSyncOLandTAVClick && all) {
                    for (int i = 0; i < chosenNames.Count(); ++i)
                        EXPECT_GE(Find(is, chosenNames.Get(i)), 0) << "list " << l << " lacks "
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
            // store in chooser order that held it; from the registry alone, Outlook's.
            for (std::size_t l = 0; l < after.Lists.size(); ++l) {
                const TList& is = after.Lists[l];
                for (std::size_t i = before.Lists[l].Names.size(); i < is.Names.size(); ++i) {
                    for (std::size_t s = 0; s < storeCount; ++s) {
                        const int giver = before.ListOfStore[s];
                        if (giver < 0 || giver == static_cast<int>(l))
                            continue;
                        const TList& from = before.Lists[static_cast<std::size_t>(giver)];
                        if (const int at = Find(from, is.Names[i]); at >= 0) {
                            EXPECT_EQ(is.Colors[i], from.Colors[static_cast<std::size_t>(at)]) << ToUtf8(is.Names[i]);
                            break;
                        }
                    }
                }
            }
        }
    }
    CoUninitialize();
}
