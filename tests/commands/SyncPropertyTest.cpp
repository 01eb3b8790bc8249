// Data safety of the three copy commands over random lists: Outlook 2000's
// 8-bit lists, lists without a final ";", blank fields, and store names that
// hold ";". Whatever the command, no name either side held is lost, renamed or
// split, and no name appears that neither side held.
#include "categories/MainUnit.h"
#include "categories/MasterListText.h"
#include "commands/Commands.h"
#include "registry/MasterList.h"
#include "tools/StandInControl.h"

#include "support/ScratchHkcu.h"

#include <gtest/gtest.h>

#include <random>

namespace {

const wchar_t* const kVocabulary[] = {
    L"Red", L"RED", L"red", L" Red", L"Red ", L"Blue", L"Green", L"Follow up", L"\x00C4pfel", L"\x00E4PFEL",
    L"Caf\x00E9", L"\x039A\x03CC\x03BA\x03BA\x03B9\x03BD\x03BF", L"\x03BA\x03CC\x03BA\x03BA\x03B9\x03BD\x03BF",
    L"\x0416\x0451\x043B\x0442\x044B\x0439", L"\x4F1A\x8B70", L"\x8D64", L"Work\tItems", L"x"};
// Store names a master list cannot hold; none of their parts is in the vocabulary.
const wchar_t* const kHoldingSemicolons[] = {L"Plan;Do", L"Q1;Q2;", L";Lead"};
const char* const kVersions[] = {"9.0", "10.0", "11.0", "12.0", "14.0", "15.0", "16.0"};
const wchar_t* const kStoreVersions[] = {L"12.0.6423.1000", L"14.0.7015.1000", L"15.0.5553.1000",
                                         L"16.0.17928.20114"};

using Command = void (*)(TProgramState&, ICommandUi&);
const Command kCommands[] = {BtnTAVtoOLClick, BtnOLtoTAVClick, BtnSyncOLandTAVClick};

std::wstring RandomName(std::mt19937& random)
{
    std::wstring name = kVocabulary[random() % std::size(kVocabulary)];
    if (random() % 4 == 0)
        name += std::to_wstring(random() % 5);
    return name;
}

// The name in the ANSI code page, if it has a form there that Outlook 2000's
// list could hold (no zero byte).
std::optional<std::string> AnsiForm(const std::wstring& name)
{
    BOOL lossy = FALSE;
    std::string bytes(name.size() * 2, '\0');
    bytes.resize(static_cast<std::size_t>(WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.data(),
                                                              static_cast<int>(name.size()), bytes.data(),
                                                              static_cast<int>(bytes.size()), nullptr, &lossy)));
    if (lossy || bytes.empty() || bytes.find('\0') != std::string::npos)
        return std::nullopt;
    return bytes;
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

std::wstring VersionKey(const char* version)
{
    return L"Software\\Microsoft\\Office\\" + std::wstring(version, version + strlen(version)) +
           L"\\Outlook\\Categories";
}

// Writes one version's list and adds its names to expected, as Refresh should
// read them. Version 9.0 is written in 8-bit form, as Outlook 2000 did.
void PutRandomList(std::mt19937& random, const char* version, TCategorySet& expected)
{
    const bool ansi = std::string(version) == "9.0";
    std::wstring text;
    std::string bytes;
    const auto count = random() % 5;
    for (unsigned i = 0; i < count; ++i) {
        const std::wstring name = RandomName(random);
        const std::wstring separator = random() % 6 ? L";" : L"; ;";
        if (ansi) {
            const auto form = AnsiForm(name);
            if (!form)
                continue;
            bytes += *form + (separator == L";" ? ";" : "; ;");
        }
        text += name + separator;
        expected.Add(name);
    }
    // Without the final ";" the last name must still not run into the next list.
    const bool dropFinal = random() % 3 == 0;
    if (ansi) {
        if (dropFinal && !bytes.empty())
            bytes.pop_back();
        PutValue(VersionKey(version), L"MasterList", REG_BINARY, std::vector<BYTE>(bytes.begin(), bytes.end()));
        return;
    }
    if (dropFinal && !text.empty())
        text.pop_back();
    PutValue(VersionKey(version), L"MasterList", REG_BINARY, Utf16Bytes(text));
}

}  // namespace

TEST(SyncProperty, NoCommandLosesSplitsOrInventsAName)
{
    CoInitialize(nullptr);
    {
        TStandInRegistration registration;
        TRunningStandIn outlook;  // attached to, so each round costs no start-up
        std::mt19937 random(5150);
        for (int round = 0; round < 200; ++round) {
            SCOPED_TRACE("round " + std::to_string(round));
            ScratchHkcu scratch;

            TCategorySet registryBefore;
            for (const char* version : kVersions) {
                if (random() % 2 == 0)
                    PutRandomList(random, version, registryBefore);
            }
            TStandInState standIn;
            standIn.Version = kStoreVersions[random() % std::size(kStoreVersions)];
            const auto storeCount = random() % 6;
            for (unsigned i = 0; i < storeCount; ++i) {
                standIn.Names.push_back(random() % 5 ? RandomName(random)
                                                     : kHoldingSemicolons[random() % std::size(kHoldingSemicolons)]);
            }
            WriteStandInState(standIn);
            const std::vector<std::wstring> storeBefore = standIn.Names;
            TCategorySet heldBefore = registryBefore;
            for (const auto& name : storeBefore)
                heldBefore.Add(name);

            TProgramState state;
            OpenOutlookConnection(state, registration.ProgId());
            TUnattendedUi ui;
            BtnReadCategoriesClick(state, ui);
            ASSERT_EQ(JoinMasterList(state.RegCategories), JoinMasterList(registryBefore)) << "read as written";

            const std::size_t which = random() % std::size(kCommands);
            kCommands[which](state, ui);
            const bool toStore = kCommands[which] != BtnOLtoTAVClick;
            const bool toRegistry = kCommands[which] != BtnTAVtoOLClick;

            const TCategorySet registryAfter = RegistrySet();
            const std::vector<std::wstring> storeAfter = ReadStandInNames();
            TCategorySet storeSet;
            for (const auto& name : storeAfter)
                storeSet.Add(name);

            // Nothing lost or renamed.
            ASSERT_GE(storeAfter.size(), storeBefore.size());
            EXPECT_TRUE(std::equal(storeBefore.begin(), storeBefore.end(), storeAfter.begin()));
            for (int i = 0; i < registryBefore.Count(); ++i)
                EXPECT_TRUE(HoldsExactly(registryAfter, registryBefore.Get(i))) << ToUtf8(registryBefore.Get(i));
            // Nothing invented, and no name split into parts.
            for (int i = 0; i < registryAfter.Count(); ++i)
                EXPECT_GE(heldBefore.IndexOf(registryAfter.Get(i)), 0) << ToUtf8(registryAfter.Get(i));
            for (const auto& name : storeAfter)
                EXPECT_GE(heldBefore.IndexOf(name), 0) << ToUtf8(name);
            // What each command promises to copy.
            if (toStore) {
                for (int i = 0; i < registryBefore.Count(); ++i)
                    EXPECT_GE(storeSet.IndexOf(registryBefore.Get(i)), 0) << ToUtf8(registryBefore.Get(i));
            }
            if (toRegistry) {
                for (const auto& name : storeBefore) {
                    if (name.find(L';') == std::wstring::npos) {
                        EXPECT_GE(registryAfter.IndexOf(name), 0) << ToUtf8(name);
                    }
                }
            }

            CloseOutlookConnection(state);
            if (HasFailure())
                break;
        }
    }
    CoUninitialize();
}
