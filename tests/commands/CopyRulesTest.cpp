// Rules of a copy that hold whatever the stores: what counts as the same name,
// what a dry run decides, in which spelling the registry gains a name, and the
// lock around every write.
#include "InProcessTest.h"

#include "base/UserMutex.h"
#include "categories/MasterListText.h"

#include "support/ImportPatch.h"
#include "support/ScratchHkcu.h"

#include <gtest/gtest.h>

#include <optional>
#include <thread>

namespace {

class CopyRulesTest : public InProcessTest {
protected:
    TFakeList& Store(const std::wstring& key, std::vector<std::wstring> names)
    {
        return *source_.AddStore(key, L"Store " + key, std::make_shared<TFakeList>(std::move(names))).List;
    }

    void Refresh() { BtnReadCategoriesClick(state_, ui_); }

    TCopyReport Copy(TCopyDirection direction, bool dryRun = false)
    {
        ui_.Answers = {true};
        TCopyReport report;
        RunCopy(state_, ui_, direction, report, dryRun);
        return report;
    }
};

// Letter case alone makes no new name. Width, kana type and accents do: a
// comparison that folds them too would keep one of each pair from ever being copied.
TEST_F(CopyRulesTest, NamesDifferingInWidthKanaOrAccentAreTwoNames)
{
    const std::wstring fullWidthRed = L"\xFF32\xFF45\xFF44";
    const std::wstring hiragana = L"\x304B\x3066\x3054\x308A";
    const std::wstring katakana = L"\x30AB\x30C6\x30B4\x30EA";
    const std::wstring cafeAccent = L"Caf\x00E9";
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(fullWidthRed + L";" + hiragana + L";" + cafeAccent + L";"));
    TFakeList& store = Store(L"01", {L"Red", katakana, L"Cafe"});
    Refresh();
    EXPECT_EQ(state_.RegCategories.Count(), 3);

    const TCopyReport report = Copy(TCopyDirection::Both);
    TCategorySet expected;
    for (const std::wstring& name : {fullWidthRed, hiragana, cafeAccent})
        expected.Add(name);
    std::vector<std::wstring> added(store.Names.begin() + 3, store.Names.end());
    EXPECT_EQ(report.AddedToStore, (std::vector<std::wstring>{expected.Get(0), expected.Get(1), expected.Get(2)}));
    EXPECT_EQ(added, report.AddedToStore);
    EXPECT_EQ(report.AddedToRegistry.size(), 3u);
    EXPECT_EQ(state_.RegCategories.Count(), 6);
    EXPECT_EQ(state_.PstCategories.Count(), 6);
}

// A dry run says what the copy would do: a name the other side holds in
// another letter case is nowhere to be added, over one store or all of them.
TEST_F(CopyRulesTest, ADryRunIgnoresLetterCaseAsTheCopyDoes)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"Red;\x00C4pfel;Blue;"));
    Store(L"01", {L"RED", L"\x00E4PFEL", L"Green"});
    Store(L"02", {L"red", L"blue", L"\x00C4PFEL", L"GREEN"});
    Refresh();
    for (const int choice : {0, kAllStores}) {
        ChooseStore(state_, ui_, choice);
        const TCopyReport dry = Copy(TCopyDirection::Both, true);
        EXPECT_EQ(dry.Plan.ToStore, std::vector<std::wstring>{L"Blue"}) << "only the first store lacks it";
        EXPECT_EQ(dry.Plan.ToStores.size(), 1u);
        EXPECT_EQ(dry.Plan.ToRegistry, std::vector<std::wstring>{L"Green"});
    }
    EXPECT_TRUE(source_.Logged(L"add ").empty());
    EXPECT_TRUE(source_.Logged(L"reread ").empty()) << "a dry run asks no store again";
}

// The registry is read again just before it is written. A name that another
// program put into any version's list since the Refresh keeps that spelling:
// the store's spelling of it is no new name.
TEST_F(CopyRulesTest, TheRegistryGainsANameInTheSpellingItAlreadyHolds)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"A;"));
    Store(L"01", {L"Red", L"Blue"});
    Refresh();
    PutValue(kKey11, L"MasterList", REG_BINARY, Utf16Bytes(L"RED;"));

    const TCopyReport report = Copy(TCopyDirection::StoreToRegistry);
    EXPECT_EQ(GetValue(kKey14, L"MasterList")->bytes, Utf16Bytes(L"A;Blue;RED;"));
    EXPECT_EQ(report.AddedToRegistry, std::vector<std::wstring>{L"Blue"}) << "RED was there already";
    EXPECT_EQ(ui_.MemoReg, L"A\r\nBlue\r\nRED\r\n");
}

// The store side: a name another program added to a store since the Refresh,
// in whatever letter case, is not added again.
TEST_F(CopyRulesTest, AStoreIsReadAgainJustBeforeItIsAddedTo)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"Red;Blue;"));
    TFakeList& store = Store(L"01", {});
    Refresh();
    store.Names.push_back(L"BLUE");
    store.Colors.emplace_back();

    const TCopyReport report = Copy(TCopyDirection::RegistryToStore);
    EXPECT_EQ(store.Names, (std::vector<std::wstring>{L"BLUE", L"Red"}));
    EXPECT_EQ(report.AddedToStore, std::vector<std::wstring>{L"Red"});
}

bool CopyLockHeldElsewhere()
{
    bool held = false;
    std::thread([&held] {
        const HANDLE lock = OpenMutexW(SYNCHRONIZE, FALSE, TUserMutex::FullName(kCopyLockName).c_str());
        if (!lock)
            return;
        const DWORD wait = WaitForSingleObject(lock, 0);
        held = wait == WAIT_TIMEOUT;
        if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED)
            ReleaseMutex(lock);
        CloseHandle(lock);
    }).join();
    return held;
}

struct TWriteWatch {
    int Writes = 0;
    int WritesOutsideTheLock = 0;
};
TWriteWatch g_writes;
TImportPatch* g_setBinary = nullptr;
TImportPatch* g_setText = nullptr;

using TSetValueA = LONG(WINAPI*)(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD);
using TSetValueW = LONG(WINAPI*)(HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD);

void Watch()
{
    ++g_writes.Writes;
    if (!CopyLockHeldElsewhere())
        ++g_writes.WritesOutsideTheLock;
}

LONG WINAPI SetValueA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size)
{
    Watch();
    return g_setBinary->Original<TSetValueA>()(key, name, reserved, type, data, size);
}

LONG WINAPI SetValueW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size)
{
    Watch();
    return g_setText->Original<TSetValueW>()(key, name, reserved, type, data, size);
}

// Two copies at once must not both read the registry before either writes: the
// second would write over the first one's names. So each holds the lock until
// its last write, of whatever kind the value is.
TEST_F(CopyRulesTest, EveryRegistryWriteOfACopyHoldsTheLock)
{
    Store(L"01", {L"Blue", L"Green"});
    const RegistryValue values[] = {{REG_BINARY, Utf16Bytes(L"Red;")}, {REG_SZ, Utf16Bytes(std::wstring(L"Red;\0", 5))}};
    for (const RegistryValue& value : values) {
        SCOPED_TRACE(value.type);
        PutValue(kKey14, L"MasterList", value.type, value.bytes);
        Refresh();
        g_writes = {};
        {
            TImportPatch binary("RegSetValueExA", reinterpret_cast<void*>(&SetValueA));
            TImportPatch text("RegSetValueExW", reinterpret_cast<void*>(&SetValueW));
            g_setBinary = &binary;
            g_setText = &text;
            Copy(TCopyDirection::Both);
        }
        EXPECT_EQ(g_writes.Writes, 1);
        EXPECT_EQ(g_writes.WritesOutsideTheLock, 0);
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey14.c_str(), L"MasterList");
    }
    EXPECT_FALSE(CopyLockHeldElsewhere()) << "and lets it go";
}

}  // namespace
