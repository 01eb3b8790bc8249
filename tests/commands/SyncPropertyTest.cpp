// Data safety of the three copy commands over random lists: Outlook 2000's
// 8-bit lists, binary and text values, lists without a final ";", blank
// fields, and store names that hold ";". Whatever the command, no name either
// side held is lost, renamed or split, and no name appears that neither side
// held. The detected version's value only grows: its old bytes stay a prefix
// of the new ones, and it is not written at all when it lacks no name.
#include "FakeStores.h"

#include "categories/MainUnit.h"
#include "categories/MasterListText.h"
#include "commands/Commands.h"
#include "registry/MasterList.h"

#include "support/ScratchHkcu.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace {

const wchar_t* const kVocabulary[] = {
    L"Red", L"RED", L"red", L" Red", L"Red ", L"Blue", L"Green", L"Follow up", L"\x00C4pfel", L"\x00E4PFEL",
    L"Caf\x00E9", L"\x039A\x03CC\x03BA\x03BA\x03B9\x03BD\x03BF", L"\x03BA\x03CC\x03BA\x03BA\x03B9\x03BD\x03BF",
    L"\x0416\x0451\x043B\x0442\x044B\x0439", L"\x4F1A\x8B70", L"\x8D64", L"Work\tItems", L"x"};
// Store names a master list cannot hold; none of their parts is in the vocabulary.
const wchar_t* const kHoldingSemicolons[] = {L"Plan;Do", L"Q1;Q2;", L";Lead"};
const char* const kVersions[] = {"9.0", "10.0", "11.0", "12.0", "14.0", "15.0", "16.0"};
struct TStoreVersion {
    const wchar_t* Reported;
    const char* Key;  // the version whose list a copy writes
};
const TStoreVersion kStoreVersions[] = {{L"12.0.6423.1000", "12.0"},
                                        {L"14.0.7015.1000", "14.0"},
                                        {L"15.0.5553.1000", "15.0"},
                                        {L"16.0.17928.20114", "16.0"}};
const int kRounds = 600;

using Command = void (*)(TProgramState&, ICommandUi&);
const Command kCommands[] = {BtnTAVtoOLClick, BtnOLtoTAVClick, BtnSyncOLandTAVClick};

std::wstring RandomHoldingSemicolons(std::mt19937& random)
{
    return kHoldingSemicolons[random() % std::size(kHoldingSemicolons)];
}

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

// Writes one version's list and adds its names to expected and to own, as
// Refresh should read them. Version 9.0 is written in 8-bit form, as Outlook
// 2000 did; the others as UTF-16, binary (an odd last byte at times) or text
// (with or without its terminator).
void PutRandomList(std::mt19937& random, const char* version, TCategorySet& expected, TCategorySet& own)
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
        own.Add(name);
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
    if (random() % 3 == 0) {
        if (random() % 2 == 0)
            text += L'\0';
        PutValue(VersionKey(version), L"MasterList", REG_SZ, Utf16Bytes(text));
        return;
    }
    std::vector<BYTE> units = Utf16Bytes(text);
    if (random() % 4 == 0)
        units.push_back(static_cast<BYTE>(random()));
    PutValue(VersionKey(version), L"MasterList", REG_BINARY, units);
}

// What a value that only grows keeps of its old bytes: a text's characters
// before its terminator, all of a binary value but an odd last byte.
std::vector<BYTE> KeptBytes(const std::optional<RegistryValue>& value)
{
    if (!value)
        return {};
    std::vector<BYTE> bytes = value->bytes;
    bytes.resize(bytes.size() / 2 * 2);
    if (value->type == REG_SZ) {
        for (std::size_t i = 0; i < bytes.size(); i += 2) {
            if (bytes[i] == 0 && bytes[i + 1] == 0) {
                bytes.resize(i);
                break;
            }
        }
    }
    return bytes;
}

// Signalled by any key made or value set below the Office key.
class OfficeKeyWatch {
public:
    OfficeKeyWatch() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
        RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Office", 0, nullptr, 0, KEY_NOTIFY, nullptr,
                        &key_, nullptr);
        EXPECT_EQ(RegNotifyChangeKeyValue(key_, TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, event_,
                                          TRUE),
                  ERROR_SUCCESS);
    }
    ~OfficeKeyWatch()
    {
        RegCloseKey(key_);
        CloseHandle(event_);
    }
    OfficeKeyWatch(const OfficeKeyWatch&) = delete;
    OfficeKeyWatch& operator=(const OfficeKeyWatch&) = delete;

    bool Changed() const { return WaitForSingleObject(event_, 0) == WAIT_OBJECT_0; }

private:
    HANDLE event_;
    HKEY key_ = nullptr;
};

}  // namespace

TEST(SyncProperty, NoCommandLosesSplitsOrInventsAName)
{
    std::mt19937 random(5150);
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ScratchHkcu scratch;

        const TStoreVersion& outlookVersion = kStoreVersions[random() % std::size(kStoreVersions)];
        const std::string detected = outlookVersion.Key;
        // In a third of the rounds the detected version's list is the only one and holds every
        // store name: nothing is to be added to the registry, and nothing may be written.
        const bool settled = random() % 3 == 0;
        TCategorySet registryBefore;
        std::map<std::string, TCategorySet> versionBefore;
        for (const char* version : kVersions) {
            if (settled ? version == detected : random() % 2 == 0)
                PutRandomList(random, version, registryBefore, versionBefore[version]);
        }
        TFakeSource source;
        TFakeList& store = *source.AddStore(L"00AB", std::nullopt).List;
        const auto storeCount = random() % 6;
        for (unsigned i = 0; i < storeCount; ++i) {
            if (settled && registryBefore.Count() > 0)
                store.Names.push_back(registryBefore.Get(static_cast<int>(random() % registryBefore.Count())));
            else if (!settled)
                store.Names.push_back(random() % 5 ? RandomName(random) : RandomHoldingSemicolons(random));
        }
        store.Colors.resize(store.Names.size());
        const std::vector<std::wstring> storeBefore = store.Names;
        TCategorySet heldBefore = registryBefore;
        for (const auto& name : storeBefore)
            heldBefore.Add(name);

        TProgramState state;
        state.Sources = {&source};
        state.OutlookVersion = outlookVersion.Reported;
        state.OutlookMajorVersion = detected.substr(0, detected.find('.'));
        TUnattendedUi ui;
        BtnReadCategoriesClick(state, ui);
        ASSERT_EQ(JoinMasterList(state.RegCategories), JoinMasterList(registryBefore)) << "read as written";

        const std::size_t which = random() % std::size(kCommands);
        const bool toStore = kCommands[which] != BtnOLtoTAVClick;
        const bool toRegistry = kCommands[which] != BtnTAVtoOLClick;
        const std::optional<RegistryValue> valueBefore = GetValue(VersionKey(detected.c_str()), L"MasterList");
        const OfficeKeyWatch watch;
        kCommands[which](state, ui);

        // The value only grows, and only when it lacks a name of the set written.
        TCategorySet written = registryBefore;
        for (const auto& name : storeBefore) {
            if (name.find(L';') == std::wstring::npos)
                written.Add(name);
        }
        bool lacking = false;
        for (int i = 0; i < written.Count(); ++i)
            lacking = lacking || versionBefore[detected].IndexOf(written.Get(i)) == -1;
        const std::optional<RegistryValue> valueAfter = GetValue(VersionKey(detected.c_str()), L"MasterList");
        EXPECT_EQ(watch.Changed(), toRegistry && lacking) << "written";
        if (toRegistry && lacking) {
            ASSERT_TRUE(valueAfter.has_value());
            EXPECT_EQ(valueAfter->type, valueBefore ? valueBefore->type : REG_BINARY);
            const std::vector<BYTE> kept = KeptBytes(valueBefore);
            EXPECT_GT(valueAfter->bytes.size(), kept.size());
            EXPECT_TRUE(std::equal(kept.begin(), kept.end(), valueAfter->bytes.begin())) << "old bytes a prefix";
        } else {
            EXPECT_EQ(valueAfter, valueBefore);
        }

        const TCategorySet registryAfter = RegistrySet();
        const std::vector<std::wstring> storeAfter = store.Names;
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
        if (HasFailure())
            break;
    }
}
