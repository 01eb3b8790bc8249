// The commands over the stores of an Outlook profile: the real registry
// (redirected to a scratch key) and the Outlook stand-in over real COM. What
// Outlook is asked, and how often, is the Outlook store's part of a copy.
#include "ScriptedUi.h"

#include "base/WaitLimit.h"
#include "categories/MasterListText.h"
#include "commands/Compare.h"
#include "outlook/LateBound.h"
#include "standins/outlook/StandInControl.h"

#include "support/Caught.h"
#include "support/OutlookProgram.h"
#include "support/ScratchHkcu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>

namespace {

int CountRequests(const wchar_t* event, const wchar_t* member)
{
    const auto log = ReadStandInRequests();
    return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const TStandInRequest& r) {
        return r.Event == event && _wcsicmp(r.Member.c_str(), member) == 0;
    }));
}

class OutlookCommandsTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CoInitialize(nullptr);
        registration_ = std::make_unique<TStandInRegistration>(StandInOwnProgId());
    }
    static void TearDownTestSuite()
    {
        registration_.reset();
        CoUninitialize();
    }

    void SetUp() override
    {
        scratch_.emplace();
        program_.emplace(registration_->ProgId());
    }

    void TearDown() override
    {
        SetWaitLimitSeconds(kDefaultWaitSeconds);
        program_.reset();
        scratch_.reset();
        EXPECT_TRUE(WaitForStandInExit()) << "a reference to the stand-in was left behind";
    }

    TProgramState& State() { return program_->State; }

    // Outlook 2010 holding names (or the profile given), and the program state after start-up.
    void Connect(std::vector<std::wstring> storeNames, std::vector<TStandInAddFault> faults = {})
    {
        TStandInState standIn;
        standIn.Names = std::move(storeNames);
        standIn.AddFaults = std::move(faults);
        ConnectTo(standIn);
    }
    void ConnectTo(const TStandInState& standIn)
    {
        WriteStandInState(standIn);
        program_->Open();
        ASSERT_EQ(State().OutlookMajorVersion, "14");
    }

    // Outlook busy, longer than the command waits, once it has answered that
    // many invocations from now on.
    static void BusyAfter(int invocations)
    {
        TStandInState busy = ReadStandInState();
        busy.BusyMilliseconds = 60000;
        busy.BusyAfterCalls = invocations;
        WriteStandInState(busy);
        SetWaitLimitSeconds(0);
    }

    void Refresh()
    {
        ScriptedUi quiet;
        BtnReadCategoriesClick(State(), quiet);
        ClearStandInLog();
    }

    static std::unique_ptr<TStandInRegistration> registration_;
    std::optional<ScratchHkcu> scratch_;
    std::optional<TOutlookProgram> program_;
    ScriptedUi ui_;
};

std::unique_ptr<TStandInRegistration> OutlookCommandsTest::registration_;

TEST_F(OutlookCommandsTest, BothWaysCopiesWhatEachSideLacks)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"A;B;"));
    Connect({L"B", L"C"});
    Refresh();

    ui_.Answers = {true};
    BtnSyncOLandTAVClick(State(), ui_);

    EXPECT_EQ(ui_.Asked, std::vector<std::wstring>{kBoth});
    EXPECT_EQ(ReadStandInNames(), (std::vector<std::wstring>{L"B", L"C", L"A"}));
    EXPECT_EQ(GetValue(kKey14, L"MasterList"), (RegistryValue{REG_BINARY, Utf16Bytes(L"A;B;C;")}));
    EXPECT_EQ(ui_.MemoReg, L"A\r\nB\r\nC\r\n");
    EXPECT_EQ(ui_.MemoPst, L"A\r\nB\r\nC\r\n");
    EXPECT_EQ(ui_.BusyCount, 1);
    EXPECT_EQ(ui_.RestoreCount, 1);
    EXPECT_FALSE(ui_.Busy);
    EXPECT_EQ(CountRequests(L"invoke", L"Categories"), 2) << "once for the command, once for its Refresh";
    EXPECT_EQ(CountRequests(L"lookup", L"Add"), 1) << "every other member was looked up by the Refresh";
}

TEST_F(OutlookCommandsTest, ANameOutlookRefusesIsToldAfterTheRestIsCopied)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"A;B;C;D;E;"));
    Connect({L"Z", L"X;Y"}, {{L"C", L"The category could not be added."}});
    Refresh();

    ui_.Answers = {true};
    TCopyReport report;
    RunCopy(State(), ui_, TCopyDirection::Both, report);
    EXPECT_EQ(ReadStandInNames(), (std::vector<std::wstring>{L"Z", L"X;Y", L"A", L"B", L"D", L"E"}));
    EXPECT_EQ(GetValue(kKey14, L"MasterList")->bytes, Utf16Bytes(L"A;B;C;D;E;Z;"));
    ASSERT_EQ(report.RefusedByStore.size(), 1u);
    EXPECT_EQ(report.RefusedByStore[0].Name, L"C");
    EXPECT_EQ(report.RefusedByStore[0].Error, L"The category could not be added");
    EXPECT_EQ(ui_.MemoPst, L"A\r\nB\r\nD\r\nE\r\nX;Y\r\nZ\r\n") << "after the closing Refresh";
    EXPECT_EQ(ui_.Informed,
              (std::vector<std::wstring>{
                  L"Outlook refused these categories, so they were not added to Outlook:\nC - The category could not be added",
                  NotCopiedToRegistryText({L"X;Y"})}));
}

TEST_F(OutlookCommandsTest, AnyOtherAddFailureStopsTheCommandAndCleansUp)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"A;B;C;"));
    Connect({L"Z"});
    Refresh();
    ui_.MemoReg.reset();
    BusyAfter(5);  // the store read again (collection, count, one item and its name), then Add("A")

    ui_.Answers = {true};
    const auto e = Caught<EOleSysError>([&] { BtnSyncOLandTAVClick(State(), ui_); });
    EXPECT_EQ(e.ErrorCode, RPC_E_CALL_REJECTED);
    EXPECT_EQ(ReadStandInNames(), (std::vector<std::wstring>{L"Z", L"A"})) << "the first name stays";
    EXPECT_EQ(GetValue(kKey14, L"MasterList")->bytes, Utf16Bytes(L"A;B;C;")) << "no registry write";
    EXPECT_FALSE(ui_.MemoReg.has_value()) << "no Refresh";
    EXPECT_TRUE(ui_.Informed.empty());
    EXPECT_EQ(ui_.RestoreCount, 1);
    EXPECT_FALSE(ui_.Busy);
    // The command's collection reference went with the command, not with the
    // stores: closing the connection alone lets the stand-in end.
    CloseOutlookConnection(program_->Connection);
    EXPECT_TRUE(WaitForStandInExit()) << "the command kept a reference";
}

TEST_F(OutlookCommandsTest, NonLatinNamesCrossBothWaysUnchanged)
{
    const std::wstring greek = L"\x039A\x03CC\x03BA\x03BA\x03B9\x03BD\x03BF";
    const std::wstring japanese = L"\x4F1A\x8B70";
    const std::wstring cyrillic = L"\x0416\x0451\x043B\x0442\x044B\x0439";
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(greek + L";"));
    Connect({japanese, cyrillic});
    Refresh();

    ui_.Answers = {true};
    BtnSyncOLandTAVClick(State(), ui_);

    const auto names = ReadStandInNames();
    EXPECT_EQ(names, (std::vector<std::wstring>{japanese, cyrillic, greek}));
    TCategorySet expected;
    for (const auto& name : {greek, japanese, cyrillic})
        expected.Add(name);
    EXPECT_EQ(GetValue(kKey14, L"MasterList")->bytes, Utf16Bytes(JoinMasterList(expected)));
    EXPECT_EQ(ui_.MemoReg, ui_.MemoPst);
}

TEST_F(OutlookCommandsTest, RegistryWriteKeepsNamesAddedSinceTheRefresh)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"Red;"));
    Connect({L"Blue"});
    Refresh();
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"Red;Green;"));
    PutValue(kKey11, L"MasterList", REG_BINARY, Utf16Bytes(L"Old;"));

    ui_.Answers = {true};
    BtnOLtoTAVClick(State(), ui_);

    EXPECT_EQ(GetValue(kKey14, L"MasterList")->bytes, Utf16Bytes(L"Red;Green;Blue;Old;"));
    // Outlook is asked only what the closing Refresh always asks.
    std::vector<std::wstring> asked;
    for (const TStandInRequest& r : ReadStandInRequests())
        asked.push_back(r.Event + L" " + r.Member);
    EXPECT_EQ(asked, (std::vector<std::wstring>{L"invoke Stores", L"invoke Count", L"invoke Categories",
                                                L"invoke Count", L"invoke Item", L"invoke Name"}));
}

TEST_F(OutlookCommandsTest, CopiesWaitForACompleteReadOfTheStore)
{
    std::vector<std::wstring> names;
    for (int i = 1; i <= 10; ++i)
        names.push_back(L"Store" + std::to_wstring(i));
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"New;"));
    Connect(names);
    TStandInState failing = ReadStandInState();
    failing.FailingItem = 5;
    WriteStandInState(failing);
    ClearStandInLog();
    EXPECT_THROW(BtnReadCategoriesClick(State(), ui_), EOleException);
    EXPECT_EQ(CountRequests(L"invoke", L"Name"), 4) << "the read failed at the fifth name";
    EXPECT_TRUE(State().Stores.empty()) << "no store of a failed read is kept";
    ClearStandInLog();

    ExpectEveryCopyRefusedForAnIncompleteRead(State());
    EXPECT_TRUE(ReadStandInRequests().empty());
    EXPECT_EQ(ReadStandInNames().size(), 10u);
    EXPECT_EQ(GetValue(kKey14, L"MasterList")->bytes, Utf16Bytes(L"New;"));

    failing.FailingItem = 0;
    WriteStandInState(failing);
    Refresh();
    ui_.Answers = {true};
    BtnSyncOLandTAVClick(State(), ui_);
    EXPECT_EQ(ReadStandInNames().size(), 11u) << "only New is added";
    EXPECT_EQ(State().RegCategories.Count(), 11);
}

TEST_F(OutlookCommandsTest, RepeatingACommandAfterAFailedAddAddsNoNameTwice)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"A;B;C;"));
    Connect({});
    Refresh();
    BusyAfter(3);  // the store read again (collection, count), then Add("A")
    ui_.Answers = {true};
    EXPECT_THROW(BtnTAVtoOLClick(State(), ui_), EOleSysError);

    TStandInState recovered = ReadStandInState();
    recovered.BusyMilliseconds = 0;
    WriteStandInState(recovered);
    ui_.Answers = {true};
    BtnTAVtoOLClick(State(), ui_);
    EXPECT_EQ(ReadStandInNames(), (std::vector<std::wstring>{L"A", L"B", L"C"}));
}

// Colours are asked only for names another store holds, and each giving
// store's list is fetched once a copy, however many names it gives.
TEST_F(OutlookCommandsTest, ANameFromAnotherStoreKeepsItsColourForFewRequests)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"R;"));
    TStandInState profile;
    profile.DefaultStoreName = L"Mailbox";
    profile.Names = {L"A", L"B"};
    profile.Colors = {4, 9};
    profile.OtherStores = {{L"Archive", {L"C"}, {12}, L"", L""}};
    ConnectTo(profile);
    Refresh();
    ChooseStore(State(), ui_, kAllStores);

    ui_.Answers = {true};
    BtnSyncOLandTAVClick(State(), ui_);

    const TStandInState after = ReadStandInState();
    EXPECT_EQ(after.Names, (std::vector<std::wstring>{L"A", L"B", L"C", L"R"}));
    EXPECT_EQ(after.Colors.at(2), 12) << "C from Archive";
    EXPECT_EQ(after.OtherStores.at(0).Names, (std::vector<std::wstring>{L"C", L"A", L"B", L"R"}));
    EXPECT_EQ(std::vector<long>(after.OtherStores.at(0).Colors.begin() + 1, after.OtherStores.at(0).Colors.begin() + 3),
              (std::vector<long>{4, 9}));
    // Two lists read again (two names and one), two giving lists fetched once
    // each, three names given (Item and Color each), five Adds; then the
    // closing Refresh: per store Item, DisplayName, StoreID and its list of
    // four names.
    EXPECT_EQ(CountRequests(L"invoke", L"Categories"), 2 + 2 + 2);
    EXPECT_EQ(CountRequests(L"invoke", L"Color"), 3);
    EXPECT_EQ(CountRequests(L"invoke", L"Add"), 5);
    EXPECT_EQ(CountRequests(L"invoke", L"Item"), (2 + 1) + 3 + 2 + (4 + 4));
}

// Compare asks Outlook for colours only of the names both stores hold, adds
// and changes nothing, and leaves the registry as it was.
TEST_F(OutlookCommandsTest, CompareAsksOnlyForSharedColoursAndChangesNothing)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"R;"));
    TStandInState profile;
    profile.DefaultStoreName = L"Mailbox";
    profile.Names = {L"A", L"B"};
    profile.Colors = {4, 9};
    profile.OtherStores = {{L"Archive", {L"b", L"C"}, {2, 12}, L"", L""}};
    ConnectTo(profile);
    Refresh();
    ChooseStore(State(), ui_, kAllStores);

    const TComparison comparison = CompareSides(State(), nullptr);
    ASSERT_EQ(comparison.Sides.size(), 3u);
    EXPECT_EQ(comparison.Sides[0].Lacks, (std::vector<std::wstring>{L"A", L"B", L"C"}));
    EXPECT_EQ(comparison.Sides[1].Lacks, (std::vector<std::wstring>{L"C", L"R"}));
    EXPECT_EQ(comparison.Sides[2].Lacks, (std::vector<std::wstring>{L"A", L"R"}));
    ASSERT_EQ(comparison.Sides[2].ColorDiffers.size(), 1u);
    EXPECT_EQ(comparison.Sides[2].ColorDiffers[0].Held, TCategoryColor::FromOutlook(2));
    EXPECT_EQ(comparison.Sides[2].ColorDiffers[0].Reference, TCategoryColor::FromOutlook(9));

    EXPECT_EQ(CountRequests(L"invoke", L"Color"), 2) << "B in each store, nothing else";
    EXPECT_EQ(CountRequests(L"invoke", L"Add"), 0);
    const TStandInState after = ReadStandInState();
    EXPECT_EQ(after.Names, profile.Names);
    EXPECT_EQ(after.Colors, profile.Colors);
    EXPECT_EQ(after.OtherStores.at(0).Names, profile.OtherStores.at(0).Names);
    EXPECT_EQ(after.OtherStores.at(0).Colors, profile.OtherStores.at(0).Colors);
    EXPECT_EQ(GetValue(kKey14, L"MasterList"), (RegistryValue{REG_BINARY, Utf16Bytes(L"R;")}));
}

}  // namespace
