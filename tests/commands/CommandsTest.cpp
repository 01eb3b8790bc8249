// Refresh and the copy commands in-process: the real registry (redirected to a
// scratch key) and stores in memory behind the category store interface.
#include "InProcessTest.h"

#include "base/WaitLimit.h"
#include "categories/MasterListText.h"

#include "support/Caught.h"
#include "support/ScratchHkcu.h"

#include <gtest/gtest.h>

#include <optional>

using namespace std::string_literals;

namespace {

class CommandsTest : public InProcessTest {
protected:
    void Detect(const std::wstring& version)
    {
        state_.OutlookVersion = version;
        state_.OutlookMajorVersion = std::string(version.begin(), version.begin() + static_cast<long>(version.find(L'.')));
    }

    // The profile's one store, holding names.
    TFakeList& Connect(std::vector<std::wstring> storeNames)
    {
        source_.Stores.clear();
        return *source_.AddStore(L"00AB", std::nullopt, std::make_shared<TFakeList>(std::move(storeNames))).List;
    }

    std::vector<std::wstring> StoreNames() const { return source_.Stores.front()->List->Names; }

    void Refresh()
    {
        ScriptedUi quiet;
        BtnReadCategoriesClick(state_, quiet);
        source_.Log.clear();
    }
};

TEST_F(CommandsTest, CancelInAnyConfirmationChangesNothing)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"A;"));
    Connect({L"B"});
    Refresh();

    const std::pair<Command, std::wstring> commands[] = {
        {BtnTAVtoOLClick, kToStore}, {BtnOLtoTAVClick, kToRegistry}, {BtnSyncOLandTAVClick, kBoth}};
    for (const auto& [command, question] : commands) {
        ScriptedUi ui;
        ui.Answers = {false};
        command(state_, ui);
        EXPECT_EQ(ui.Asked, std::vector<std::wstring>{question});
        EXPECT_EQ(ui.BusyCount, 0) << "the cursor is untouched";
        EXPECT_EQ(ui.RestoreCount, 0);
        EXPECT_FALSE(ui.MemoReg.has_value()) << "no Refresh runs";
        EXPECT_FALSE(ui.MemoPst.has_value());
    }
    EXPECT_TRUE(source_.Log.empty()) << "no store is asked anything";
    EXPECT_EQ(StoreNames(), std::vector<std::wstring>{L"B"});
    EXPECT_EQ(GetValue(kKey14, L"MasterList")->bytes, Utf16Bytes(L"A;"));
}

TEST_F(CommandsTest, NamesDifferingOnlyInCaseAreNotCopiedAndTheValueIsLeftAsItIs)
{
    // Unsorted, a second spelling, no final ";": a rewrite would change all three.
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"b;A;a"));
    Connect({L"B", L"a"});
    Refresh();

    for (const Command command : {BtnTAVtoOLClick, BtnOLtoTAVClick, BtnSyncOLandTAVClick}) {
        ui_.Answers = {true};
        command(state_, ui_);
    }
    EXPECT_TRUE(source_.Logged(L"add ").empty());
    EXPECT_EQ(StoreNames(), (std::vector<std::wstring>{L"B", L"a"}));
    EXPECT_EQ(GetValue(kKey14, L"MasterList")->bytes, Utf16Bytes(L"b;A;a"));
    EXPECT_EQ(ui_.MemoReg, L"A\r\nb\r\n");
    EXPECT_EQ(ui_.MemoPst, L"a\r\nB\r\n");
}

TEST_F(CommandsTest, OlderVersionsNamesReachTheDetectedVersionOnly)
{
    PutValue(kKey11, L"MasterList", REG_BINARY, Utf16Bytes(L"Old;"));
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"New;"));
    Connect({L"Store"});
    Refresh();
    EXPECT_EQ(state_.RegCategories.Count(), 2);

    ui_.Answers = {true};
    BtnOLtoTAVClick(state_, ui_);

    EXPECT_EQ(ui_.Asked, std::vector<std::wstring>{kToRegistry});
    EXPECT_EQ(GetValue(kKey14, L"MasterList")->bytes, Utf16Bytes(L"New;Old;Store;"));
    EXPECT_EQ(GetValue(kKey11, L"MasterList")->bytes, Utf16Bytes(L"Old;"));
    EXPECT_EQ(StoreNames(), std::vector<std::wstring>{L"Store"}) << "this command never adds to the store";
}

TEST_F(CommandsTest, EveryKindOfValueIsWrittenOrTheUserIsTold)
{
    // Text stays text and gains the names.
    PutValue(kKey14, L"MasterList", REG_SZ, Utf16Bytes(L"Red;\0"s));
    Connect({L"Blue"});
    Refresh();
    ui_.Answers = {true};
    BtnOLtoTAVClick(state_, ui_);
    EXPECT_EQ(GetValue(kKey14, L"MasterList"), (RegistryValue{REG_SZ, Utf16Bytes(L"Red;Blue;\0"s)}));
    EXPECT_EQ(ui_.MemoReg, L"Blue\r\nRed\r\n");

    // A key without the value gets one, as REG_BINARY.
    PutValue(kKey11, L"MasterList", REG_BINARY, Utf16Bytes(L"Old;"));
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey14.c_str(), L"MasterList");
    PutValue(kKey14, L"Other", REG_DWORD, {1, 0, 0, 0});
    Refresh();
    ui_.Answers = {true};
    BtnOLtoTAVClick(state_, ui_);
    EXPECT_EQ(GetValue(kKey14, L"MasterList"), (RegistryValue{REG_BINARY, Utf16Bytes(L"Blue;Old;")}));
    EXPECT_EQ(ui_.MemoReg, L"Blue\r\nOld\r\n");

    // A type that holds no list is left alone, and the user is told; the store
    // side of a two-way copy is done all the same, and the window shows it.
    PutValue(kKey14, L"MasterList", REG_DWORD, {7, 0, 0, 0});
    Connect({L"Blue"});
    Refresh();
    ui_.Answers = {true};
    ui_.Informed.clear();
    BtnSyncOLandTAVClick(state_, ui_);
    EXPECT_EQ(ui_.Informed,
              std::vector<std::wstring>{L"The master list of Outlook 14.0 is stored as REG_DWORD, which Pellorin "
                                        L"cannot read, so its names are left out.\nThe master list of Outlook 14.0 "
                                        L"is not stored as binary data or text, so it was left unchanged."});
    EXPECT_EQ(GetValue(kKey14, L"MasterList"), (RegistryValue{REG_DWORD, {7, 0, 0, 0}}));
    EXPECT_EQ(StoreNames(), (std::vector<std::wstring>{L"Blue", L"Old"}));
    EXPECT_EQ(ui_.MemoPst, L"Blue\r\nOld\r\n") << "the closing Refresh shows what the store gained";
    EXPECT_FALSE(ui_.Busy);
}

// The window's Refresh: one box that names each list it left out, one a line,
// in the order the versions are read; MemoReg shows the other lists' names.
TEST_F(CommandsTest, RefreshSaysEachMasterListOfATypeItCannotRead)
{
    const std::pair<DWORD, std::vector<BYTE>> types[] = {
        {REG_BINARY, Utf16Bytes(L"Green;")},       {REG_EXPAND_SZ, Utf16Bytes(L"Green;\0"s)},
        {REG_MULTI_SZ, Utf16Bytes(L"Green\0\0"s)}, {REG_DWORD, {1, 0, 0, 0}},
        {REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}},     {REG_NONE, Utf16Bytes(L"Green;")},
        {REG_LINK, Utf16Bytes(L"Green;")},
    };
    const std::wstring key16 = CategoriesKey(L"16.0");
    for (const auto& [type, bytes] : types) {
        SCOPED_TRACE(ToUtf8(RegistryTypeName(type)));
        PutValue(kKey11, L"MasterList", type, bytes);
        PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"Red;"));
        PutValue(key16, L"MasterList", type, bytes);
        Connect({L"Blue"});
        ScriptedUi ui;
        BtnReadCategoriesClick(state_, ui);
        const bool readable = type == REG_BINARY || type == REG_EXPAND_SZ;
        if (readable) {
            EXPECT_TRUE(ui.Informed.empty());
            EXPECT_EQ(ui.MemoReg, L"Green\r\nRed\r\n");
            continue;
        }
        const std::wstring typeName = RegistryTypeName(type);
        EXPECT_EQ(ui.Informed, std::vector<std::wstring>{L"The master list of Outlook 11.0 is stored as " + typeName +
                                                         L", which Pellorin cannot read, so its names are left "
                                                         L"out.\nThe master list of Outlook 16.0 is stored as " +
                                                         typeName + L", which Pellorin cannot read, so its names "
                                                         L"are left out."});
        EXPECT_EQ(ui.MemoReg, L"Red\r\n");
        EXPECT_EQ(ui.MemoPst, L"Blue\r\n");
    }
}

TEST_F(CommandsTest, MissingKeyIsCreatedWithTheWholeSet)
{
    PutValue(kKey11, L"MasterList", REG_BINARY, Utf16Bytes(L"Old;"));
    Connect({L"Blue"});
    Refresh();

    ui_.Answers = {true};
    BtnOLtoTAVClick(state_, ui_);

    EXPECT_EQ(GetValue(kKey14, L"MasterList"), (RegistryValue{REG_BINARY, Utf16Bytes(L"Blue;Old;")}));
    EXPECT_EQ(ui_.MemoReg, L"Blue\r\nOld\r\n");
}

TEST_F(CommandsTest, AnyOtherFailureOfAStoreStopsTheCommandAndEndsItsCopy)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"A;B;C;"));
    Connect({L"Z"});
    Refresh();
    ui_.MemoReg.reset();
    const struct {
        const wchar_t* Fault;
        std::wstring TFakeStoreSetup::*Where;
    } faults[] = {{L"Outlook was closed", &TFakeStoreSetup::ReReadFault},
                  {L"Outlook stayed busy", &TFakeStoreSetup::AddFault}};
    for (const auto& fault : faults) {
        source_.Log.clear();
        TFakeStoreSetup& store = *source_.Stores.front();
        store.*fault.Where = fault.Fault;
        ui_.Answers = {true};
        EXPECT_EQ(Caught<EException>([&] { BtnSyncOLandTAVClick(state_, ui_); }).Message(), fault.Fault);
        store.*fault.Where = L"";
        EXPECT_EQ(source_.Log.back(), L"end 00AB") << "what the store kept for the copy is let go";
    }
    EXPECT_EQ(StoreNames(), std::vector<std::wstring>{L"Z"});
    EXPECT_EQ(GetValue(kKey14, L"MasterList")->bytes, Utf16Bytes(L"A;B;C;")) << "no registry write";
    EXPECT_FALSE(ui_.MemoReg.has_value()) << "no Refresh";
    EXPECT_TRUE(ui_.Informed.empty());
    EXPECT_EQ(ui_.RestoreCount, 2);
    EXPECT_FALSE(ui_.Busy);
}

TEST_F(CommandsTest, EmptyRegistryMakesNoAddButStillRefreshes)
{
    Connect({L"Only"});
    Refresh();

    ui_.Answers = {true};
    BtnTAVtoOLClick(state_, ui_);

    EXPECT_EQ(ui_.Asked, std::vector<std::wstring>{kToStore});
    EXPECT_TRUE(source_.Logged(L"add ").empty());
    EXPECT_EQ(source_.Logged(L"read").size(), 1u) << "the closing Refresh";
    EXPECT_EQ(ui_.MemoReg, L"");
    EXPECT_EQ(ui_.MemoPst, L"Only\r\n");
}

TEST_F(CommandsTest, RefreshShowsRegistryNamesCutAtU0000AndEveryStoreName)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"Red;Blue\0"s));
    Connect({L"Apple", L"Blue\0x"s, L"Red", L"Zebra"});
    BtnReadCategoriesClick(state_, ui_);
    EXPECT_EQ(ui_.MemoReg, L"Blue\r\nRed\r\n");
    EXPECT_EQ(ui_.MemoPst, L"Apple\r\nBlue\xFFFDx\r\nRed\r\nZebra\r\n") << "an edit control would stop at U+0000";
    EXPECT_EQ(state_.PstCategories.Get(1), L"Blue\0x"s) << "the name itself is unchanged";
    EXPECT_EQ(ui_.BusyCount, 0) << "Refresh does not change the cursor";
    EXPECT_TRUE(ui_.Asked.empty());
}

TEST_F(CommandsTest, Outlook2016WritesItsOwnVersionAndShowsIt)
{
    PutValue(kKey11, L"MasterList", REG_BINARY, Utf16Bytes(L"Old;"));
    Detect(L"16.0.17928.20114");
    Connect({L"New"});
    Refresh();

    ui_.Answers = {true};
    BtnSyncOLandTAVClick(state_, ui_);

    EXPECT_EQ(GetValue(CategoriesKey(L"16.0"), L"MasterList"), (RegistryValue{REG_BINARY, Utf16Bytes(L"New;Old;")}));
    EXPECT_FALSE(GetValue(kKey14, L"MasterList").has_value());
    EXPECT_EQ(StoreNames(), (std::vector<std::wstring>{L"New", L"Old"}));
    EXPECT_EQ(ui_.MemoReg, L"New\r\nOld\r\n");
    EXPECT_EQ(ui_.MemoPst, L"New\r\nOld\r\n");
}

TEST_F(CommandsTest, ListsWithoutAFinalSemicolonDoNotRunIntoTheNextVersion)
{
    PutValue(kKey11, L"MasterList", REG_BINARY, Utf16Bytes(L"A;B"));
    PutValue(CategoriesKey(L"12.0"), L"MasterList", REG_BINARY, Utf16Bytes(L"C;"));
    Connect({});
    BtnReadCategoriesClick(state_, ui_);
    EXPECT_EQ(ui_.MemoReg, L"A\r\nB\r\nC\r\n");

    ui_.Answers = {true};
    BtnTAVtoOLClick(state_, ui_);
    EXPECT_EQ(StoreNames(), (std::vector<std::wstring>{L"A", L"B", L"C"}));
}

TEST_F(CommandsTest, Outlook2000sEightBitListReachesTheStoreUnchanged)
{
    const std::wstring list = L"Red;Blue;Caf\x00E9;";
    std::vector<BYTE> ansi(64);
    ansi.resize(static_cast<std::size_t>(WideCharToMultiByte(CP_ACP, 0, list.data(), static_cast<int>(list.size()),
                                                             reinterpret_cast<char*>(ansi.data()), 64, nullptr,
                                                             nullptr)));
    PutValue(CategoriesKey(L"9.0"), L"MasterList", REG_BINARY, ansi);
    // From 10.0 on a list is UTF-16, even one non-Latin name with no ";".
    const std::wstring greek = L"\x039A\x03CC\x03BA\x03BA\x03B9\x03BD\x03BF";
    PutValue(CategoriesKey(L"10.0"), L"MasterList", REG_BINARY, Utf16Bytes(greek));
    Connect({});
    BtnReadCategoriesClick(state_, ui_);
    EXPECT_EQ(ui_.MemoReg, L"Blue\r\nCaf\x00E9\r\nRed\r\n" + greek + L"\r\n");

    ui_.Answers = {true};
    BtnTAVtoOLClick(state_, ui_);
    EXPECT_EQ(StoreNames(), (std::vector<std::wstring>{L"Blue", L"Caf\x00E9", L"Red", greek}));
}

TEST_F(CommandsTest, StoreNamesHoldingSemicolonsStayOutOfTheRegistry)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"X;"));
    Connect({L"A;B", L"C", L"D;E;\nF"});
    Refresh();

    ui_.Answers = {true};
    BtnSyncOLandTAVClick(state_, ui_);

    EXPECT_EQ(GetValue(kKey14, L"MasterList")->bytes, Utf16Bytes(L"X;C;"));
    // One name a line: its own line break would forge another.
    EXPECT_EQ(ui_.Informed, (std::vector<std::wstring>{
                                L"These categories contain \";\", which the registry's master list cannot hold, so "
                                L"they were not copied to the registry:\nA;B\nD;E;\xFFFD" L"F"}));
    EXPECT_EQ(ui_.MemoReg, L"C\r\nX\r\n") << "the box comes after the closing Refresh";

    source_.Log.clear();
    ui_.Answers = {true};
    BtnTAVtoOLClick(state_, ui_);
    EXPECT_TRUE(source_.Logged(L"add ").empty()) << "no A or B the user never had";
    EXPECT_EQ(StoreNames(), (std::vector<std::wstring>{L"A;B", L"C", L"D;E;\nF", L"X"}));
    EXPECT_EQ(ui_.Informed.size(), 1u) << "only commands that write the registry tell of them";
}

TEST_F(CommandsTest, StoreNamesNoMasterListCanHoldAreNeitherWrittenNorReportedAsAdded)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"X;"));
    Connect({L" ", L"\0C"s, L"D"});
    Refresh();

    ui_.Answers = {true, true};
    TCopyReport dry;
    RunCopy(state_, ui_, TCopyDirection::StoreToRegistry, dry, true);
    EXPECT_EQ(dry.Plan.ToRegistry, (std::vector<std::wstring>{L"D"}));

    TCopyReport report;
    RunCopy(state_, ui_, TCopyDirection::StoreToRegistry, report);
    EXPECT_EQ(GetValue(kKey14, L"MasterList")->bytes, Utf16Bytes(L"X;D;"));
    EXPECT_EQ(report.AddedToRegistry, (std::vector<std::wstring>{L"D"}));
    EXPECT_TRUE(ui_.Informed.empty());
}

TEST_F(CommandsTest, CopiesWaitForACompleteReadOfTheStores)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"New;"));
    Connect({L"Store1", L"Store2"});
    source_.ReadFault = L"The collection changed during the read";
    EXPECT_THROW(BtnReadCategoriesClick(state_, ui_), EException);
    source_.Log.clear();

    ExpectEveryCopyRefusedForAnIncompleteRead(state_);
    EXPECT_TRUE(source_.Log.empty());
    EXPECT_EQ(StoreNames().size(), 2u);
    EXPECT_EQ(GetValue(kKey14, L"MasterList")->bytes, Utf16Bytes(L"New;"));

    source_.ReadFault.clear();
    Refresh();
    ui_.Answers = {true};
    BtnSyncOLandTAVClick(state_, ui_);
    EXPECT_EQ(StoreNames().size(), 3u) << "only New is added";
    EXPECT_EQ(state_.RegCategories.Count(), 3);
}

TEST_F(CommandsTest, ReconnectingLetsTheStoresGoBeforeEachSourceOpensAgain)
{
    Connect({L"A"});
    Refresh();
    ASSERT_EQ(state_.Stores.size(), 1u);
    ReconnectStores(state_, ui_);
    EXPECT_TRUE(state_.Stores.empty());
    EXPECT_EQ(source_.Log, std::vector<std::wstring>{L"reconnect"});
    EXPECT_EQ(ui_.BusyCount, 1);
    EXPECT_FALSE(ui_.Busy);
    ui_.Answers = {true};
    EXPECT_THROW(BtnTAVtoOLClick(state_, ui_), EException) << "nothing read before counts";
}

}  // namespace
