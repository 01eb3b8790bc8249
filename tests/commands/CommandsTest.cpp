// Refresh and the copy commands end to end: the real registry (redirected to a
// scratch key) and the Outlook stand-in over real COM.
#include "categories/MasterListText.h"
#include "commands/Commands.h"
#include "outlook/LateBound.h"
#include "tools/StandInControl.h"

#include "support/ScratchHkcu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <optional>

using namespace std::string_literals;

namespace {

const std::wstring kKey14 = L"Software\\Microsoft\\Office\\14.0\\Outlook\\Categories";
const std::wstring kKey11 = L"Software\\Microsoft\\Office\\11.0\\Outlook\\Categories";

const std::wstring kToStore = L"Do you want to add all categories from the registry into the PST?";
const std::wstring kToRegistry = L"Do you want to add all categories from the PST into the registry?";
const std::wstring kBoth = L"Do you want to synchronize all categories between registry and PST?";

// Plays the window: answers confirmations from a script and records the rest.
class ScriptedUi : public ICommandUi {
public:
    std::deque<bool> Answers;
    std::vector<std::wstring> Asked;
    int BusyCount = 0;
    int RestoreCount = 0;
    bool Busy = false;
    std::optional<std::wstring> MemoReg;
    std::optional<std::wstring> MemoPst;

    bool Confirm(const std::wstring& text) override
    {
        Asked.push_back(text);
        const bool answer = !Answers.empty() && Answers.front();
        if (!Answers.empty())
            Answers.pop_front();
        return answer;
    }
    void SetBusyCursor() override
    {
        ++BusyCount;
        Busy = true;
    }
    void RestoreCursor() override
    {
        ++RestoreCount;
        Busy = false;
    }
    void SetMemoRegText(const std::wstring& text) override { MemoReg = text; }
    void SetMemoPstText(const std::wstring& text) override { MemoPst = text; }
};

using Command = void (*)(TProgramState&, ICommandUi&);

std::vector<BYTE> MasterListBytes(const std::wstring& text)
{
    return Utf16Bytes(text);
}

int CountRequests(const wchar_t* event, const wchar_t* member)
{
    const auto log = ReadStandInRequests();
    return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const TStandInRequest& r) {
        return r.Event == event && _wcsicmp(r.Member.c_str(), member) == 0;
    }));
}

class CommandsTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CoInitialize(nullptr);
        registration_ = std::make_unique<TStandInRegistration>();
    }
    static void TearDownTestSuite()
    {
        registration_.reset();
        CoUninitialize();
    }

    void SetUp() override { scratch_.emplace(); }

    void TearDown() override
    {
        CloseOutlookConnection(state_);
        scratch_.reset();
        EXPECT_TRUE(WaitForStandInExit()) << "a reference to the stand-in was left behind";
    }

    // Outlook 2010 holding names, and the program state after start-up.
    void Connect(std::vector<std::wstring> storeNames, std::vector<TStandInAddFault> faults = {})
    {
        TStandInState standIn;
        standIn.Version = L"14.0.7015.1000";
        standIn.Names = std::move(storeNames);
        standIn.AddFaults = std::move(faults);
        WriteStandInState(standIn);
        OpenOutlookConnection(state_, registration_->ProgId());
        ASSERT_EQ(state_.OutlookMajorVersion, "14");
    }

    void Refresh()
    {
        ScriptedUi quiet;
        BtnReadCategoriesClick(state_, quiet);
        ClearStandInLog();
    }

    static std::unique_ptr<TStandInRegistration> registration_;
    std::optional<ScratchHkcu> scratch_;
    TProgramState state_;
    ScriptedUi ui_;
};

std::unique_ptr<TStandInRegistration> CommandsTest::registration_;

TEST_F(CommandsTest, CancelInAnyConfirmationChangesNothing)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, MasterListBytes(L"A;"));
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
    EXPECT_TRUE(ReadStandInRequests().empty()) << "Outlook is not asked anything";
    EXPECT_EQ(ReadStandInNames(), std::vector<std::wstring>{L"B"});
    EXPECT_EQ(GetValue(kKey14, L"MasterList")->bytes, MasterListBytes(L"A;"));
}

TEST_F(CommandsTest, BothWaysCopiesWhatEachSideLacks)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, MasterListBytes(L"A;B;"));
    Connect({L"B", L"C"});
    Refresh();

    ui_.Answers = {true};
    BtnSyncOLandTAVClick(state_, ui_);

    EXPECT_EQ(ui_.Asked, std::vector<std::wstring>{kBoth});
    EXPECT_EQ(ReadStandInNames(), (std::vector<std::wstring>{L"B", L"C", L"A"}));
    EXPECT_EQ(GetValue(kKey14, L"MasterList"), (RegistryValue{REG_BINARY, MasterListBytes(L"A;B;C;")}));
    EXPECT_EQ(ui_.MemoReg, L"A\r\nB\r\nC\r\n");
    EXPECT_EQ(ui_.MemoPst, L"A\r\nB\r\nC\r\n");
    EXPECT_EQ(ui_.BusyCount, 1);
    EXPECT_EQ(ui_.RestoreCount, 1);
    EXPECT_FALSE(ui_.Busy);
    EXPECT_EQ(CountRequests(L"lookup", L"Categories"), 2) << "once for the command, once for its Refresh";
}

TEST_F(CommandsTest, NamesDifferingOnlyInCaseAreNotCopied)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, MasterListBytes(L"Red;"));
    Connect({L"RED"});
    Refresh();

    for (const Command command : {BtnTAVtoOLClick, BtnOLtoTAVClick, BtnSyncOLandTAVClick}) {
        ui_.Answers = {true};
        command(state_, ui_);
    }
    EXPECT_EQ(CountRequests(L"lookup", L"Add"), 0);
    EXPECT_EQ(ReadStandInNames(), std::vector<std::wstring>{L"RED"});
    EXPECT_EQ(GetValue(kKey14, L"MasterList")->bytes, MasterListBytes(L"Red;"));
    EXPECT_EQ(ui_.MemoReg, L"Red\r\n");
    EXPECT_EQ(ui_.MemoPst, L"RED\r\n");
}

TEST_F(CommandsTest, OlderVersionsNamesReachTheDetectedVersionOnly)
{
    PutValue(kKey11, L"MasterList", REG_BINARY, MasterListBytes(L"Old;"));
    PutValue(kKey14, L"MasterList", REG_BINARY, MasterListBytes(L"New;"));
    Connect({L"Store"});
    Refresh();
    EXPECT_EQ(state_.RegCategories.Count(), 2);

    ui_.Answers = {true};
    BtnOLtoTAVClick(state_, ui_);

    EXPECT_EQ(ui_.Asked, std::vector<std::wstring>{kToRegistry});
    EXPECT_EQ(GetValue(kKey14, L"MasterList")->bytes, MasterListBytes(L"New;Old;Store;"));
    EXPECT_EQ(GetValue(kKey11, L"MasterList")->bytes, MasterListBytes(L"Old;"));
    EXPECT_EQ(ReadStandInNames(), std::vector<std::wstring>{L"Store"}) << "this command never adds to the store";
}

TEST_F(CommandsTest, StringValueIsNotWritten)
{
    const std::vector<BYTE> text = {'R', 0, 'e', 0, 'd', 0, ';', 0, 0, 0};
    PutValue(kKey14, L"MasterList", REG_SZ, text);
    Connect({L"Blue"});
    ScriptedUi before;
    BtnReadCategoriesClick(state_, before);
    ASSERT_EQ(before.MemoReg, L"Red\r\n");

    ui_.Answers = {true};
    BtnOLtoTAVClick(state_, ui_);

    EXPECT_EQ(ui_.MemoReg, before.MemoReg) << "the registry memo is unchanged";
    EXPECT_EQ(GetValue(kKey14, L"MasterList"), (RegistryValue{REG_SZ, text}));
}

TEST_F(CommandsTest, MissingValueInAnExistingKeyIsNotCreated)
{
    PutValue(kKey14, L"Other", REG_DWORD, {1, 0, 0, 0});
    Connect({L"Blue"});
    Refresh();

    ui_.Answers = {true};
    BtnOLtoTAVClick(state_, ui_);

    EXPECT_EQ(ui_.MemoReg, L"");
    EXPECT_FALSE(GetValue(kKey14, L"MasterList").has_value());
}

TEST_F(CommandsTest, MissingKeyIsCreatedWithTheWholeSet)
{
    PutValue(kKey11, L"MasterList", REG_BINARY, MasterListBytes(L"Old;"));
    Connect({L"Blue"});
    Refresh();

    ui_.Answers = {true};
    BtnOLtoTAVClick(state_, ui_);

    EXPECT_EQ(GetValue(kKey14, L"MasterList"), (RegistryValue{REG_BINARY, MasterListBytes(L"Blue;Old;")}));
    EXPECT_EQ(ui_.MemoReg, L"Blue\r\nOld\r\n");
}

TEST_F(CommandsTest, AddFailureStopsTheCommandAndCleansUp)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, MasterListBytes(L"A;B;C;"));
    Connect({L"Z"}, {{L"B", L"The category could not be added"}});
    Refresh();
    ui_.MemoReg.reset();

    ui_.Answers = {true};
    try {
        BtnSyncOLandTAVClick(state_, ui_);
        ADD_FAILURE() << "the Add failure did not reach the caller";
    } catch (const EOleException& e) {
        EXPECT_EQ(e.Message(), L"The category could not be added");
    }
    EXPECT_EQ(ReadStandInNames(), (std::vector<std::wstring>{L"Z", L"A"})) << "the first name stays";
    EXPECT_EQ(GetValue(kKey14, L"MasterList")->bytes, MasterListBytes(L"A;B;C;")) << "no registry write";
    EXPECT_FALSE(ui_.MemoReg.has_value()) << "no Refresh";
    EXPECT_EQ(ui_.RestoreCount, 1);
    EXPECT_FALSE(ui_.Busy);
    // TearDown checks that the stand-in exits once the connection is closed:
    // the command's collection reference is gone.
}

TEST_F(CommandsTest, EmptyRegistryMakesNoAddButStillRefreshes)
{
    Connect({L"Only"});
    Refresh();

    ui_.Answers = {true};
    BtnTAVtoOLClick(state_, ui_);

    EXPECT_EQ(ui_.Asked, std::vector<std::wstring>{kToStore});
    EXPECT_EQ(CountRequests(L"lookup", L"Add"), 0);
    EXPECT_EQ(ui_.MemoReg, L"");
    EXPECT_EQ(ui_.MemoPst, L"Only\r\n");
}

TEST_F(CommandsTest, NonLatinNamesCrossBothWaysUnchanged)
{
    const std::wstring greek = L"\x039A\x03CC\x03BA\x03BA\x03B9\x03BD\x03BF";
    const std::wstring japanese = L"\x4F1A\x8B70";
    const std::wstring cyrillic = L"\x0416\x0451\x043B\x0442\x044B\x0439";
    PutValue(kKey14, L"MasterList", REG_BINARY, MasterListBytes(greek + L";"));
    Connect({japanese, cyrillic});
    Refresh();

    ui_.Answers = {true};
    BtnSyncOLandTAVClick(state_, ui_);

    const auto names = ReadStandInNames();
    EXPECT_EQ(names, (std::vector<std::wstring>{japanese, cyrillic, greek}));
    TCategorySet expected;
    for (const auto& name : {greek, japanese, cyrillic})
        expected.Add(name);
    EXPECT_EQ(GetValue(kKey14, L"MasterList")->bytes, MasterListBytes(JoinMasterList(expected)));
    EXPECT_EQ(ui_.MemoReg, ui_.MemoPst);
}

TEST_F(CommandsTest, RefreshShowsRegistryNamesCutAtU0000AndStoreNamesWhole)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, MasterListBytes(L"Red;Blue\0"s));
    Connect({L"Grey\0"s});
    BtnReadCategoriesClick(state_, ui_);
    EXPECT_EQ(ui_.MemoReg, L"Blue\r\nRed\r\n");
    EXPECT_EQ(ui_.MemoPst, L"Grey\0\r\n"s);
    EXPECT_EQ(ui_.BusyCount, 0) << "Refresh does not change the cursor";
    EXPECT_TRUE(ui_.Asked.empty());
}

}  // namespace
