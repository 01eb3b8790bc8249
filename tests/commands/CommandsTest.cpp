// Refresh and the copy commands end to end: the real registry (redirected to a
// scratch key) and the Outlook stand-in over real COM.
#include "categories/MasterListText.h"
#include "commands/Commands.h"
#include "base/WaitLimit.h"
#include "outlook/LateBound.h"
#include "standins/outlook/StandInControl.h"

#include "support/Caught.h"
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

std::wstring CategoriesKey(const std::wstring& version)
{
    return L"Software\\Microsoft\\Office\\" + version + L"\\Outlook\\Categories";
}

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
    std::vector<std::wstring> Informed;
    std::vector<std::wstring> StoreChoices;
    int ChosenStore = 0;

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
    void Inform(const std::wstring& text) override
    {
        EXPECT_FALSE(Busy) << "the command has ended before it informs";
        Informed.push_back(text);
    }
    void SetStoreChoices(const std::vector<std::wstring>& entries, int chosen) override
    {
        StoreChoices = entries;
        ChosenStore = chosen;
    }
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
        SetWaitLimitSeconds(kDefaultWaitSeconds);
        CloseOutlookConnection(state_);
        scratch_.reset();
        EXPECT_TRUE(WaitForStandInExit()) << "a reference to the stand-in was left behind";
    }

    // Outlook 2010 (or the version given) holding names, and the program state after start-up.
    void Connect(std::vector<std::wstring> storeNames, std::vector<TStandInAddFault> faults = {},
                 const std::wstring& version = L"14.0.7015.1000")
    {
        TStandInState standIn;
        standIn.Version = version;
        standIn.Names = std::move(storeNames);
        standIn.AddFaults = std::move(faults);
        WriteStandInState(standIn);
        OpenOutlookConnection(state_, registration_->ProgId());
        ASSERT_EQ(state_.OutlookMajorVersion, std::string(version.begin(), version.begin() + 2));
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
    EXPECT_EQ(CountRequests(L"invoke", L"Categories"), 2) << "once for the command, once for its Refresh";
    EXPECT_EQ(CountRequests(L"lookup", L"Add"), 1) << "every other member was looked up by the Refresh";
}

TEST_F(CommandsTest, NamesDifferingOnlyInCaseAreNotCopiedAndTheValueIsLeftAsItIs)
{
    // Unsorted, a second spelling, no final ";": a rewrite would change all three.
    PutValue(kKey14, L"MasterList", REG_BINARY, MasterListBytes(L"b;A;a"));
    Connect({L"B", L"a"});
    Refresh();

    for (const Command command : {BtnTAVtoOLClick, BtnOLtoTAVClick, BtnSyncOLandTAVClick}) {
        ui_.Answers = {true};
        command(state_, ui_);
    }
    EXPECT_EQ(CountRequests(L"lookup", L"Add"), 0);
    EXPECT_EQ(ReadStandInNames(), (std::vector<std::wstring>{L"B", L"a"}));
    EXPECT_EQ(GetValue(kKey14, L"MasterList")->bytes, MasterListBytes(L"b;A;a"));
    EXPECT_EQ(ui_.MemoReg, L"A\r\nb\r\n");
    EXPECT_EQ(ui_.MemoPst, L"a\r\nB\r\n");
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
    // side of a two-way copy is done by then.
    PutValue(kKey14, L"MasterList", REG_DWORD, {7, 0, 0, 0});
    WriteStandInState([] {
        TStandInState standIn;
        standIn.Names = {L"Blue"};
        return standIn;
    }());
    Refresh();
    ui_.Answers = {true};
    ui_.MemoReg.reset();
    try {
        BtnSyncOLandTAVClick(state_, ui_);
        ADD_FAILURE() << "a copy that wrote nothing said nothing";
    } catch (const EException& e) {
        EXPECT_EQ(e.Message(),
                  L"The master list of Outlook 14.0 is not stored as binary data or text, so it was left unchanged.");
    }
    EXPECT_EQ(GetValue(kKey14, L"MasterList"), (RegistryValue{REG_DWORD, {7, 0, 0, 0}}));
    EXPECT_EQ(ReadStandInNames(), (std::vector<std::wstring>{L"Blue", L"Old"}));
    EXPECT_FALSE(ui_.MemoReg.has_value()) << "no closing Refresh after a failure";
    EXPECT_FALSE(ui_.Busy);
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

TEST_F(CommandsTest, ANameOutlookRefusesIsToldAfterTheRestIsCopied)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, MasterListBytes(L"A;B;C;D;E;"));
    Connect({L"Z", L"X;Y"}, {{L"C", L"The category could not be added."}});
    Refresh();

    ui_.Answers = {true};
    TCopyReport report;
    RunCopy(state_, ui_, TCopyDirection::Both, report);
    EXPECT_EQ(ReadStandInNames(), (std::vector<std::wstring>{L"Z", L"X;Y", L"A", L"B", L"D", L"E"}));
    EXPECT_EQ(GetValue(kKey14, L"MasterList")->bytes, MasterListBytes(L"A;B;C;D;E;Z;"));
    ASSERT_EQ(report.RefusedByStore.size(), 1u);
    EXPECT_EQ(report.RefusedByStore[0].Name, L"C");
    EXPECT_EQ(report.RefusedByStore[0].Error, L"The category could not be added");
    EXPECT_EQ(ui_.MemoPst, L"A\r\nB\r\nD\r\nE\r\nX;Y\r\nZ\r\n") << "after the closing Refresh";
    EXPECT_EQ(ui_.Informed,
              (std::vector<std::wstring>{
                  L"Outlook refused these categories, so they were not added to Outlook:\nC - The category could not be added",
                  NotCopiedToRegistryText({L"X;Y"})}));
}

TEST_F(CommandsTest, AnyOtherAddFailureStopsTheCommandAndCleansUp)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, MasterListBytes(L"A;B;C;"));
    Connect({L"Z"});
    Refresh();
    ui_.MemoReg.reset();
    BusyAfter(5);  // the store read again (collection, count, one item and its name), then Add("A")

    ui_.Answers = {true};
    const auto e = Caught<EOleSysError>([&] { BtnSyncOLandTAVClick(state_, ui_); });
    EXPECT_EQ(e.ErrorCode, RPC_E_CALL_REJECTED);
    EXPECT_EQ(ReadStandInNames(), (std::vector<std::wstring>{L"Z", L"A"})) << "the first name stays";
    EXPECT_EQ(GetValue(kKey14, L"MasterList")->bytes, MasterListBytes(L"A;B;C;")) << "no registry write";
    EXPECT_FALSE(ui_.MemoReg.has_value()) << "no Refresh";
    EXPECT_TRUE(ui_.Informed.empty());
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

TEST_F(CommandsTest, RefreshShowsRegistryNamesCutAtU0000AndEveryStoreName)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, MasterListBytes(L"Red;Blue\0"s));
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
    PutValue(kKey11, L"MasterList", REG_BINARY, MasterListBytes(L"Old;"));
    Connect({L"New"}, {}, L"16.0.17928.20114");
    Refresh();

    ui_.Answers = {true};
    BtnSyncOLandTAVClick(state_, ui_);

    EXPECT_EQ(GetValue(CategoriesKey(L"16.0"), L"MasterList"),
              (RegistryValue{REG_BINARY, MasterListBytes(L"New;Old;")}));
    EXPECT_FALSE(GetValue(kKey14, L"MasterList").has_value());
    EXPECT_EQ(ReadStandInNames(), (std::vector<std::wstring>{L"New", L"Old"}));
    EXPECT_EQ(ui_.MemoReg, L"New\r\nOld\r\n");
    EXPECT_EQ(ui_.MemoPst, L"New\r\nOld\r\n");
}

TEST_F(CommandsTest, ListsWithoutAFinalSemicolonDoNotRunIntoTheNextVersion)
{
    PutValue(kKey11, L"MasterList", REG_BINARY, MasterListBytes(L"A;B"));
    PutValue(CategoriesKey(L"12.0"), L"MasterList", REG_BINARY, MasterListBytes(L"C;"));
    Connect({});
    BtnReadCategoriesClick(state_, ui_);
    EXPECT_EQ(ui_.MemoReg, L"A\r\nB\r\nC\r\n");

    ui_.Answers = {true};
    BtnTAVtoOLClick(state_, ui_);
    EXPECT_EQ(ReadStandInNames(), (std::vector<std::wstring>{L"A", L"B", L"C"}));
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
    PutValue(CategoriesKey(L"10.0"), L"MasterList", REG_BINARY, MasterListBytes(greek));
    Connect({});
    BtnReadCategoriesClick(state_, ui_);
    EXPECT_EQ(ui_.MemoReg, L"Blue\r\nCaf\x00E9\r\nRed\r\n" + greek + L"\r\n");

    ui_.Answers = {true};
    BtnTAVtoOLClick(state_, ui_);
    EXPECT_EQ(ReadStandInNames(), (std::vector<std::wstring>{L"Blue", L"Caf\x00E9", L"Red", greek}));
}

TEST_F(CommandsTest, StoreNamesHoldingSemicolonsStayOutOfTheRegistry)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, MasterListBytes(L"X;"));
    Connect({L"A;B", L"C", L"D;E;\nF"});
    Refresh();

    ui_.Answers = {true};
    BtnSyncOLandTAVClick(state_, ui_);

    EXPECT_EQ(GetValue(kKey14, L"MasterList")->bytes, MasterListBytes(L"X;C;"));
    // One name a line: its own line break would forge another.
    EXPECT_EQ(ui_.Informed, (std::vector<std::wstring>{
                                L"These categories contain \";\", which the registry's master list cannot hold, so "
                                L"they were not copied to the registry:\nA;B\nD;E;\xFFFD" L"F"}));
    EXPECT_EQ(ui_.MemoReg, L"C\r\nX\r\n") << "the box comes after the closing Refresh";

    ClearStandInLog();
    ui_.Answers = {true};
    BtnTAVtoOLClick(state_, ui_);
    EXPECT_EQ(CountRequests(L"lookup", L"Add"), 0) << "no A or B the user never had";
    EXPECT_EQ(ReadStandInNames(), (std::vector<std::wstring>{L"A;B", L"C", L"D;E;\nF", L"X"}));
    EXPECT_EQ(ui_.Informed.size(), 1u) << "only commands that write the registry tell of them";
}

TEST_F(CommandsTest, StoreNamesNoMasterListCanHoldAreNeitherWrittenNorReportedAsAdded)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, MasterListBytes(L"X;"));
    Connect({L" ", L"\0C"s, L"D"});
    Refresh();

    ui_.Answers = {true, true};
    TCopyReport dry;
    RunCopy(state_, ui_, TCopyDirection::StoreToRegistry, dry, true);
    EXPECT_EQ(dry.Plan.ToRegistry, (std::vector<std::wstring>{L"D"}));

    TCopyReport report;
    RunCopy(state_, ui_, TCopyDirection::StoreToRegistry, report);
    EXPECT_EQ(GetValue(kKey14, L"MasterList")->bytes, MasterListBytes(L"X;D;"));
    EXPECT_EQ(report.AddedToRegistry, (std::vector<std::wstring>{L"D"}));
    EXPECT_TRUE(ui_.Informed.empty());
}

TEST_F(CommandsTest, RegistryWriteKeepsNamesAddedSinceTheRefresh)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, MasterListBytes(L"Red;"));
    Connect({L"Blue"});
    Refresh();
    PutValue(kKey14, L"MasterList", REG_BINARY, MasterListBytes(L"Red;Green;"));
    PutValue(kKey11, L"MasterList", REG_BINARY, MasterListBytes(L"Old;"));

    ui_.Answers = {true};
    BtnOLtoTAVClick(state_, ui_);

    EXPECT_EQ(GetValue(kKey14, L"MasterList")->bytes, MasterListBytes(L"Red;Green;Blue;Old;"));
    // Outlook is asked only what the closing Refresh always asks.
    std::vector<std::wstring> asked;
    for (const TStandInRequest& r : ReadStandInRequests())
        asked.push_back(r.Event + L" " + r.Member);
    EXPECT_EQ(asked, (std::vector<std::wstring>{L"invoke Stores", L"invoke Count", L"invoke Categories",
                                                L"invoke Count", L"invoke Item", L"invoke Name"}));
}

TEST_F(CommandsTest, CopiesWaitForACompleteReadOfTheStore)
{
    std::vector<std::wstring> names;
    for (int i = 1; i <= 10; ++i)
        names.push_back(L"Store" + std::to_wstring(i));
    PutValue(kKey14, L"MasterList", REG_BINARY, MasterListBytes(L"New;"));
    Connect(names);
    TStandInState failing = ReadStandInState();
    failing.FailingItem = 5;
    WriteStandInState(failing);
    EXPECT_THROW(BtnReadCategoriesClick(state_, ui_), EOleException);
    EXPECT_EQ(state_.Stores.front().Names.Count(), 4);
    ClearStandInLog();

    for (const Command command : {BtnTAVtoOLClick, BtnOLtoTAVClick, BtnSyncOLandTAVClick}) {
        ScriptedUi ui;
        ui.Answers = {true};
        try {
            command(state_, ui);
            ADD_FAILURE() << "a copy ran on a part of the store";
        } catch (const EException& e) {
            EXPECT_EQ(e.Message(),
                      L"The categories in Outlook could not be read completely. Press Refresh, then try again.");
        }
        EXPECT_TRUE(ui.Asked.empty()) << "nothing is asked";
        EXPECT_EQ(ui.BusyCount, 0);
    }
    EXPECT_TRUE(ReadStandInRequests().empty());
    EXPECT_EQ(ReadStandInNames().size(), 10u);
    EXPECT_EQ(GetValue(kKey14, L"MasterList")->bytes, MasterListBytes(L"New;"));

    failing.FailingItem = 0;
    WriteStandInState(failing);
    Refresh();
    ui_.Answers = {true};
    BtnSyncOLandTAVClick(state_, ui_);
    EXPECT_EQ(ReadStandInNames().size(), 11u) << "only New is added";
    EXPECT_EQ(state_.RegCategories.Count(), 11);
}

TEST_F(CommandsTest, RepeatingACommandAfterAFailedAddAddsNoNameTwice)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, MasterListBytes(L"A;B;C;"));
    Connect({});
    Refresh();
    BusyAfter(3);  // the store read again (collection, count), then Add("A")
    ui_.Answers = {true};
    EXPECT_THROW(BtnTAVtoOLClick(state_, ui_), EOleSysError);

    TStandInState recovered = ReadStandInState();
    recovered.BusyMilliseconds = 0;
    WriteStandInState(recovered);
    ui_.Answers = {true};
    BtnTAVtoOLClick(state_, ui_);
    EXPECT_EQ(ReadStandInNames(), (std::vector<std::wstring>{L"A", L"B", L"C"}));
}

}  // namespace
