// Data safety of "Registry <---> PST" over random lists: nothing is ever
// removed or renamed, and afterwards each side holds every name of the other,
// up to letter case.
#include "categories/MainUnit.h"
#include "categories/MasterListText.h"
#include "commands/Commands.h"
#include "registry/MasterList.h"
#include "tools/StandInControl.h"

#include "support/AgreeingUi.h"
#include "support/ScratchHkcu.h"

#include <gtest/gtest.h>

#include <random>

namespace {

const wchar_t* const kVocabulary[] = {
    L"Red", L"RED", L"red", L" Red", L"Red ", L"Blue", L"Green", L"Follow up", L"\x00C4pfel", L"\x00E4PFEL",
    L"\x039A\x03CC\x03BA\x03BA\x03B9\x03BD\x03BF", L"\x03BA\x03CC\x03BA\x03BA\x03B9\x03BD\x03BF",
    L"\x0416\x0451\x043B\x0442\x044B\x0439", L"\x4F1A\x8B70", L"\x8D64", L"Work\tItems", L"x"};
const char* const kVersions[] = {"9.0", "10.0", "11.0", "12.0", "14.0"};

std::wstring RandomName(std::mt19937& random)
{
    std::wstring name = kVocabulary[random() % std::size(kVocabulary)];
    if (random() % 4 == 0)
        name += std::to_wstring(random() % 5);
    return name;
}

TCategorySet RegistrySet()
{
    std::wstring text;
    ReadRegistryCategories(text);
    TCategorySet set;
    SplitMasterList(text, CategoryDelimiters, set);
    return set;
}

bool HoldsExactly(const TCategorySet& set, const std::wstring& name)
{
    const int index = set.IndexOf(name);
    return index >= 0 && set.Get(index) == name;
}

}  // namespace

TEST(SyncProperty, NothingIsLostAndBothSidesEndUpEqualUpToCase)
{
    CoInitialize(nullptr);
    {
        TStandInRegistration registration;
        TRunningStandIn outlook;  // attached to, so each round costs no start-up
        std::mt19937 random(5150);
        for (int round = 0; round < 200; ++round) {
            SCOPED_TRACE("round " + std::to_string(round));
            ScratchHkcu scratch;

            // Registry: one or more versions, some with blanks and empty fields.
            for (const char* version : kVersions) {
                if (random() % 2)
                    continue;
                std::wstring text;
                const auto count = random() % 5;
                for (unsigned i = 0; i < count; ++i)
                    text += RandomName(random) + (random() % 6 ? L";" : L"; ;");
                const std::wstring key = L"Software\\Microsoft\\Office\\" +
                                         std::wstring(version, version + strlen(version)) +
                                         L"\\Outlook\\Categories";
                PutValue(key, L"MasterList", REG_BINARY, Utf16Bytes(text));
            }
            TStandInState standIn;
            standIn.Version = random() % 2 ? L"14.0.7015.1000" : L"12.0.6423.1000";
            const auto storeCount = random() % 6;
            for (unsigned i = 0; i < storeCount; ++i)
                standIn.Names.push_back(RandomName(random));
            WriteStandInState(standIn);

            TProgramState state;
            OpenOutlookConnection(state, registration.ProgId());
            AgreeingUi ui;
            BtnReadCategoriesClick(state, ui);
            const TCategorySet registryBefore = RegistrySet();
            const std::vector<std::wstring> storeBefore = ReadStandInNames();

            BtnSyncOLandTAVClick(state, ui);

            const TCategorySet registryAfter = RegistrySet();
            const std::vector<std::wstring> storeAfter = ReadStandInNames();
            ASSERT_GE(storeAfter.size(), storeBefore.size());
            EXPECT_TRUE(std::equal(storeBefore.begin(), storeBefore.end(), storeAfter.begin()))
                << "store names were changed";
            for (int i = 0; i < registryBefore.Count(); ++i)
                EXPECT_TRUE(HoldsExactly(registryAfter, registryBefore.Get(i)));

            TCategorySet storeSet;
            for (const auto& name : storeAfter)
                storeSet.Add(name);
            for (int i = 0; i < registryAfter.Count(); ++i)
                EXPECT_GE(storeSet.IndexOf(registryAfter.Get(i)), 0);
            for (const auto& name : storeAfter)
                EXPECT_GE(registryAfter.IndexOf(name), 0);

            CloseOutlookConnection(state);
            if (HasFailure())
                break;
        }
    }
    CoUninitialize();
}
