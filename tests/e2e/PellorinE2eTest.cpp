// The real Pellorin.exe, driven from outside as a user would, against the
// Outlook stand-in registered as "Outlook.Application" in the build's Wine
// prefix. Skipped on Windows, where it would touch the user's Office keys.
#include "EndToEndTest.h"
#include "PellorinDriver.h"
#include "base/Errors.h"
#include "base/UserMutex.h"
#include "commands/Commands.h"
#include "standins/outlook/StandInControl.h"
#include "ui/ControlIds.h"
#include "ui/Dpi.h"
#include "ui/ErrorReporter.h"

#include "support/SyncProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kCopyButtons[] = {idBtnTAVtoOL, idBtnOLtoTAV, idBtnSyncOLandTAV};

bool WasAsked(const std::wstring& member)
{
    for (const TStandInRequest& request : ReadStandInRequests()) {
        if (request.Event == L"lookup" && request.Member == member)
            return true;
    }
    return false;
}

std::size_t Invocations(const std::wstring& member)
{
    const std::vector<TStandInRequest> log = ReadStandInRequests();
    return static_cast<std::size_t>(std::count_if(log.begin(), log.end(), [&](const TStandInRequest& request) {
        return request.Event == L"invoke" && request.Member == member;
    }));
}

bool WasRejected()
{
    for (const TStandInRequest& request : ReadStandInLog()) {
        if (request.Event == L"reject")
            return true;
    }
    return false;
}

HWND SplashLabel(HWND splash, const std::wstring& text)
{
    const HWND panel = GetWindow(splash, GW_CHILD);
    for (HWND child = GetWindow(panel, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (TextOf(child) == text)
            return child;
    }
    return nullptr;
}

HWND FocusOf(HWND window)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
}

LONG Left(HWND control) { return BoundsInParent(control).left; }
LONG Width(HWND control)
{
    const RECT r = BoundsInParent(control);
    return r.right - r.left;
}

}  // namespace

TEST_F(PellorinEndToEnd, SplashCoversTheStartAndIsGoneWhenTheFilledMainWindowAppears)
{
    WriteMasterListValue(L"11.0", L"Green;");
    // Slow answers keep the splash up long enough to look at it.
    UseOutlook(L"14.0.7015.1000", {L"Red", L"Blue"}, {}, 400);
    TPellorinProcess app;

    const HWND splash = app.WaitForWindow(L"TSplashScreen");
    ASSERT_NE(splash, nullptr);
    EXPECT_EQ(app.MainWindow(), nullptr);
    const SIZE splashSize = ClientSize(splash);
    EXPECT_EQ(splashSize.cx, 329);
    EXPECT_EQ(splashSize.cy, 154);
    EXPECT_NE(SplashLabel(splash, L"Starting Outlook\r\nPlease wait ..."), nullptr);
    EXPECT_NE(SplashLabel(splash, L"Pellorin"), nullptr);
    // A tool window: no task-bar entry titled "SplashScreen".
    const LONG exStyle = GetWindowLongW(splash, GWL_EXSTYLE);
    EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW);
    EXPECT_FALSE(exStyle & WS_EX_APPWINDOW);
    EXPECT_EQ(GetWindow(splash, GW_OWNER), nullptr);
    SaveScreenshot(L"splash");

    const HWND main = WaitForMain(app);
    ASSERT_NE(main, nullptr);
    EXPECT_FALSE(IsWindow(splash));
    EXPECT_EQ(TextOf(app.Control(idMemoReg)), L"Green\r\n");
    EXPECT_EQ(TextOf(app.Control(idMemoPst)), L"Blue\r\nRed\r\n");
    EXPECT_EQ(TextOf(app.Control(idLabelOlVersion)), L"Outlook version detected: Outlook 2010");
    EXPECT_EQ(TextOf(main), L"Pellorin");
    ExpectStoreInUseState(app);
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(main) == app.Control(idBtnClose); }, 5000));
    app.WaitForIdle();
    SaveScreenshot(L"main-store-in-use");
    ExitWithButton(app);
}

TEST_F(PellorinEndToEnd, Outlook2007UsesTheStoreToo)
{
    UseOutlook(L"12.0.6423.1000", {L"Red"});
    TPellorinProcess app;
    ASSERT_NE(WaitForMain(app), nullptr);
    EXPECT_EQ(TextOf(app.Control(idLabelOlVersion)), L"Outlook version detected: Outlook 2007");
    EXPECT_EQ(TextOf(app.Control(idMemoReg)), L"");
    EXPECT_EQ(TextOf(app.Control(idMemoPst)), L"Red\r\n");
    ExpectStoreInUseState(app);

    // Tab walks from Exit through the memos to the first command button.
    const HWND main = app.MainWindow();
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(main) == app.Control(idBtnClose); }, 5000));
    for (const int next : {idMemoReg, idMemoPst, idBtnReadRegCategories, idBtnTAVtoOL}) {
        PostMessageW(FocusOf(main), WM_KEYDOWN, VK_TAB, 0);
        PostMessageW(FocusOf(main), WM_KEYUP, VK_TAB, 0xC0000001);
        EXPECT_TRUE(WaitUntil([&] { return FocusOf(main) == app.Control(next); }, 5000)) << next;
    }
    ExitWithButton(app);
}

TEST_F(PellorinEndToEnd, AFailedFirstRefreshIsReportedAndTheSplashStillGoes)
{
    WriteMasterListValue(L"14.0", L"Red;");
    TStandInState state;
    state.Version = L"14.0";
    state.Names = {L"Blue", L"Green"};
    state.FailingItem = 2;
    state.ItemFaultDescription = L"The store is busy";
    WriteStandInState(state);
    TPellorinProcess app;

    const TMessageBox box = app.WaitForMessageBox();
    ASSERT_NE(box.Handle, nullptr);
    EXPECT_EQ(box.Title, L"Pellorin");
    EXPECT_EQ(box.Text, L"The store is busy.");
    app.Answer(box, IDOK);

    const HWND main = WaitForMain(app);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(app.FindWindowOfClass(L"TSplashScreen"), nullptr);
    EXPECT_EQ(TextOf(app.Control(idMemoReg)), L"Red\r\n");
    EXPECT_EQ(TextOf(app.Control(idMemoPst)), L"MemoPst");
    ExpectStoreInUseState(app);
    ExitWithButton(app);
}

struct TVersionCase {
    const wchar_t* Reported;
    const wchar_t* Label;
};

class StoreNotInUse : public PellorinEndToEnd, public testing::WithParamInterface<TVersionCase> {};

TEST_P(StoreNotInUse, OffersNothingButExitAndNeverRefreshes)
{
    WriteMasterListValue(L"11.0", L"Red;");
    UseOutlook(GetParam().Reported, {L"Blue"});
    TPellorinProcess app;
    const HWND main = WaitForMain(app);
    ASSERT_NE(main, nullptr);
    app.WaitForIdle();
    EXPECT_EQ(TextOf(app.Control(idLabelOlVersion)), GetParam().Label);
    ExpectNothingOffered(app);
    EXPECT_TRUE(IsWindowVisible(app.Control(idLabelNoPstUsed)));
    EXPECT_EQ(TextOf(app.Control(idLabelNoPstUsed)),
              L"Your version of Outlook is not using the PST to store categories.");
    EXPECT_EQ(app.Splash(), nullptr);
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(main) == app.Control(idBtnClose); }, 5000));
    if (std::wstring(GetParam().Reported) == L"11.0")
        SaveScreenshot(L"main-store-not-in-use");

    app.Click(idBtnReadRegCategories);
    app.WaitForIdle();
    EXPECT_FALSE(WasAsked(L"Categories"));
    EXPECT_EQ(TextOf(app.Control(idMemoReg)), L"Categories in Registry");

    // The close box ends the run as the Exit button does.
    PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(app.WaitForExit(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Versions, StoreNotInUse,
                         testing::Values(TVersionCase{L"11.0", L"Outlook version detected: Outlook 2003"},
                                         TVersionCase{L"17.0", L"Outlook version detected: 17.0"}));

TEST_F(PellorinEndToEnd, Outlook2013To365UseTheStore)
{
    const TVersionCase versions[] = {{L"15.0.5553.1000", L"Outlook version detected: Outlook 2013"},
                                     {L"16.0.17928.20114", L"Outlook version detected: Outlook 2016 or later"}};
    for (const TVersionCase& version : versions) {
        SCOPED_TRACE(ToUtf8(version.Reported));
        WriteMasterListValue(L"11.0", L"Old;");
        UseOutlook(version.Reported, {L"New"});
        TPellorinProcess app;
        ASSERT_NE(WaitForMain(app), nullptr);
        EXPECT_EQ(TextOf(app.Control(idLabelOlVersion)), version.Label);
        ExpectStoreInUseState(app);
        EXPECT_EQ(TextOf(app.Control(idMemoReg)), L"Old\r\n") << "the first Refresh ran";
        EXPECT_EQ(TextOf(app.Control(idMemoPst)), L"New\r\n");

        RunConfirmed(app, idBtnSyncOLandTAV);
        EXPECT_TRUE(WaitUntil([&] { return TextOf(app.Control(idMemoReg)) == L"New\r\nOld\r\n"; }));
        const std::wstring written = std::wstring(version.Reported).substr(0, 4);
        EXPECT_EQ(ReadMasterListValueBytes(written), Utf16Bytes(L"New;Old;"));
        EXPECT_EQ(ReadStandInNames(), (std::vector<std::wstring>{L"New", L"Old"}));
        ExitWithButton(app);
        EXPECT_TRUE(WaitForStandInExit());
        DeleteAllOfficeVersionKeys();
    }
}

TEST_F(PellorinEndToEnd, EscapeNeverEndsTheProgramAndEnterPressesTheFocusedButton)
{
    WriteMasterListValue(L"14.0", L"Red;");
    UseOutlook(L"14.0", {L"Blue"});
    TPellorinProcess app;
    const HWND main = WaitForMain(app);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return FocusOf(main) == app.Control(idBtnClose); }, 5000));
    const auto press = [&](WPARAM key) {
        const HWND focus = FocusOf(main);
        PostMessageW(focus, WM_KEYDOWN, key, 1);
        PostMessageW(focus, WM_KEYUP, key, 0xC0000001);
        app.WaitForIdle();
    };

    // Around the tab order from Exit: both memos and every button.
    const int order[] = {idBtnClose, idMemoReg, idMemoPst, idBtnReadRegCategories, idBtnTAVtoOL, idBtnOLtoTAV,
                         idBtnSyncOLandTAV};
    for (const int id : order) {
        ASSERT_TRUE(WaitUntil([&] { return FocusOf(main) == app.Control(id); }, 5000)) << id;
        press(VK_ESCAPE);
        EXPECT_FALSE(app.HasExited()) << "Escape on control " << id;
        EXPECT_EQ(app.FindWindowOfClass(L"#32770"), nullptr) << "no box for Escape on " << id;
        if (id == idMemoReg) {
            press(VK_RETURN);
            EXPECT_FALSE(app.HasExited()) << "Enter in a memo does nothing";
        }
        if (id == idBtnReadRegCategories) {
            UseOutlook(L"14.0", {L"Blue", L"Green"});
            ClearStandInLog();
            press(VK_RETURN);
            EXPECT_TRUE(WaitUntil([&] { return TextOf(app.Control(idMemoPst)) == L"Blue\r\nGreen\r\n"; }))
                << "Enter on Refresh refreshes";
        }
        press(VK_TAB);
    }
    ASSERT_TRUE(WaitUntil([&] { return FocusOf(main) == app.Control(idBtnClose); }, 5000));
    press(VK_RETURN);
    EXPECT_EQ(app.WaitForExit(), 0u);
}

TEST_F(PellorinEndToEnd, NamesShowWithoutControlCharactersAndThoseHoldingSemicolonsAreExplained)
{
    WriteMasterListValue(L"14.0", std::wstring(L"Cut\0off;Tab\tX;", 14));
    UseOutlook(L"14.0", {L"Apple", std::wstring(L"Blue\0x", 6), L"Line\r\nbreak", L"Red;Green\nFake", L"Zebra"});
    TPellorinProcess app;
    ASSERT_NE(WaitForMain(app), nullptr);
    EXPECT_EQ(TextOf(app.Control(idMemoReg)), L"Cut\r\nTab\xFFFDX\r\n");
    EXPECT_EQ(TextOf(app.Control(idMemoPst)),
              L"Apple\r\nBlue\xFFFDx\r\nLine\xFFFD\xFFFD" L"break\r\nRed;Green\xFFFD" L"Fake\r\nZebra\r\n");

    RunConfirmed(app, idBtnOLtoTAV);
    const TMessageBox box = app.WaitForMessageBox();
    ASSERT_NE(box.Handle, nullptr);
    EXPECT_EQ(box.Title, L"Pellorin");
    EXPECT_EQ(box.Text, L"These categories contain \";\", which the registry's master list cannot hold, so they "
                        L"were not copied to the registry:\nRed;Green\xFFFD" L"Fake");
    EXPECT_TRUE(box.HasIcon);
    EXPECT_EQ(box.Buttons, std::vector<int>{IDOK});
    EXPECT_EQ(TextOf(app.Control(idMemoReg)),
              L"Apple\r\nBlue\r\nCut\r\nLine\xFFFD\xFFFD" L"break\r\nTab\xFFFDX\r\nZebra\r\n")
        << "after the closing Refresh";
    app.Answer(box, IDOK);
    ExitWithButton(app);
}

TEST_F(PellorinEndToEnd, WithoutOutlookTheErrorIsShownAndNothingIsOffered)
{
    Unregister();
    TPellorinProcess app;
    const TMessageBox box = app.WaitForMessageBox();
    ASSERT_NE(box.Handle, nullptr);
    EXPECT_EQ(app.MainWindow(), nullptr);
    EXPECT_EQ(box.Title, L"Pellorin");
    // The system's text for CO_E_CLASSSTRING where it has one.
    wchar_t system[256] = {};
    std::wstring expected =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, 0x800401F3u, 0, system,
                       static_cast<DWORD>(std::size(system)), nullptr)
            ? std::wstring(system)
            : std::wstring(L"OLE error 800401F3");
    while (!expected.empty() && (expected.back() < L'!' || expected.back() == L'.'))
        expected.pop_back();
    EXPECT_EQ(box.Text, expected + L".\n\nClassic Outlook (2007 to Microsoft 365) is not installed for this user. "
                                   L"The new Outlook for Windows cannot be used by other programs.");
    EXPECT_TRUE(box.HasIcon);
    EXPECT_EQ(box.Buttons, std::vector<int>{IDOK});
    SaveScreenshot(L"error-box");
    app.Answer(box, IDOK);

    ASSERT_NE(WaitForMain(app), nullptr);
    app.WaitForIdle();
    EXPECT_EQ(TextOf(app.Control(idLabelOlVersion)), L"Outlook version detected: none");
    ExpectNothingOffered(app);
    EXPECT_FALSE(IsWindowVisible(app.Control(idLabelNoPstUsed)));
    EXPECT_EQ(app.Splash(), nullptr);
    ExitWithButton(app);
}

TEST_F(PellorinEndToEnd, StoreToRegistryAsksFirstAndAddsAfterTheOldList)
{
    WriteMasterListValue(L"14.0", L"Red;Blue;");
    UseOutlook(L"14.0", {L"Blue", L"Green"});
    TPellorinProcess app;
    ASSERT_NE(WaitForMain(app), nullptr);
    EXPECT_EQ(TextOf(app.Control(idMemoReg)), L"Blue\r\nRed\r\n");

    app.Click(idBtnOLtoTAV);
    TMessageBox box = app.WaitForMessageBox();
    ASSERT_NE(box.Handle, nullptr);
    EXPECT_EQ(box.Title, L"Confirm");
    EXPECT_EQ(box.Text, L"Do you want to add all categories from the PST into the registry?");
    EXPECT_TRUE(box.HasIcon);
    EXPECT_EQ(box.Buttons, (std::vector<int>{IDOK, IDCANCEL}));
    app.Answer(box, IDCANCEL);
    app.WaitForIdle();
    EXPECT_EQ(ReadMasterListValueBytes(L"14.0"), Utf16Bytes(L"Red;Blue;"));

    app.Click(idBtnOLtoTAV);
    box = app.WaitForMessageBox();
    ASSERT_NE(box.Handle, nullptr);
    app.Answer(box, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return TextOf(app.Control(idMemoReg)) == L"Blue\r\nGreen\r\nRed\r\n"; }));
    EXPECT_EQ(ReadMasterListValueBytes(L"14.0"), Utf16Bytes(L"Red;Blue;Green;"));
    EXPECT_EQ(ReadStandInNames(), (std::vector<std::wstring>{L"Blue", L"Green"}));
    ExitWithButton(app);
}

TEST_F(PellorinEndToEnd, RegistryToStoreAddsOnlyTheMissingNames)
{
    WriteMasterListValue(L"11.0", L"Red;blue;");
    UseOutlook(L"14.0", {L"Blue"});
    TPellorinProcess app;
    ASSERT_NE(WaitForMain(app), nullptr);
    app.Click(idBtnTAVtoOL);
    const TMessageBox box = app.WaitForMessageBox();
    ASSERT_NE(box.Handle, nullptr);
    EXPECT_EQ(box.Text, L"Do you want to add all categories from the registry into the PST?");
    app.Answer(box, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return TextOf(app.Control(idMemoPst)) == L"Blue\r\nRed\r\n"; }));
    EXPECT_EQ(ReadStandInNames(), (std::vector<std::wstring>{L"Blue", L"Red"}));
    EXPECT_TRUE(ReadMasterListValueBytes(L"14.0").empty());
    ExitWithButton(app);
}

// Under each list, how many of the other side's names it lacks: shown after
// the first Refresh and again after a copy, before anyone presses a button.
TEST_F(PellorinEndToEnd, TheCountsUnderTheListsFollowRefreshAndEachCopy)
{
    WriteMasterListValue(L"14.0", L"Red;blue;Green;");
    UseOutlook(L"14.0", {L"Blue", L"Own"});
    TPellorinProcess app;
    ASSERT_NE(WaitForMain(app), nullptr);
    EXPECT_TRUE(WaitUntil([&] { return TextOf(app.Control(idLabelPstLacks)) == L"2 names are not in this store"; }));
    EXPECT_EQ(TextOf(app.Control(idLabelRegLacks)), L"1 name is not in the registry");

    app.Click(idBtnTAVtoOL);
    const TMessageBox box = app.WaitForMessageBox();
    ASSERT_NE(box.Handle, nullptr);
    app.Answer(box, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return TextOf(app.Control(idLabelPstLacks)) == L"All names are in this store"; }));
    EXPECT_EQ(TextOf(app.Control(idLabelRegLacks)), L"1 name is not in the registry");
    EXPECT_TRUE(IsWindowVisible(app.Control(idLabelRegLacks)));
    ExitWithButton(app);
}

TEST_F(PellorinEndToEnd, ANameOutlookRefusesIsListedAndTheOthersAreCopied)
{
    WriteMasterListValue(L"14.0", L"A;B;C;D;E;");
    UseOutlook(L"14.0", {L"Z"}, {{L"C", L"C is not allowed here."}});
    TPellorinProcess app;
    ASSERT_NE(WaitForMain(app), nullptr);

    RunConfirmed(app, idBtnSyncOLandTAV);
    const TMessageBox box = app.WaitForMessageBox();
    ASSERT_NE(box.Handle, nullptr);
    EXPECT_EQ(box.Title, L"Pellorin");
    EXPECT_EQ(box.Text, L"Outlook refused these categories, so they were not added to Outlook:\nC - C is not allowed here");
    EXPECT_TRUE(box.HasIcon);
    EXPECT_EQ(box.Buttons, std::vector<int>{IDOK});
    // The closing Refresh came first.
    EXPECT_EQ(TextOf(app.Control(idMemoPst)), L"A\r\nB\r\nD\r\nE\r\nZ\r\n");
    EXPECT_EQ(TextOf(app.Control(idMemoReg)), L"A\r\nB\r\nC\r\nD\r\nE\r\nZ\r\n");
    app.Answer(box, IDOK);

    EXPECT_EQ(ReadStandInNames(), (std::vector<std::wstring>{L"Z", L"A", L"B", L"D", L"E"}));
    EXPECT_EQ(ReadMasterListValueBytes(L"14.0"), Utf16Bytes(L"A;B;C;D;E;Z;"));
    ExitWithButton(app);
}

TEST_F(PellorinEndToEnd, ABusyOutlookAtTheStartIsWaitedForUnderTheSplash)
{
    WriteMasterListValue(L"14.0", L"Red;");
    TStandInState state;
    state.Version = L"14.0";
    state.Names = {L"Blue"};
    state.BusyMilliseconds = 3000;
    WriteStandInState(state);
    TPellorinProcess app;
    const HWND splash = app.WaitForWindow(L"TSplashScreen");
    ASSERT_NE(splash, nullptr);
    ASSERT_TRUE(WaitUntil([] { return WasRejected(); }));
    // Still there and answering, which a blocked start could not do.
    EXPECT_TRUE(IsWindowVisible(splash));
    EXPECT_EQ(app.MainWindow(), nullptr);
    EXPECT_NE(SplashLabel(splash, L"Starting Outlook\r\nPlease wait ..."), nullptr);

    ASSERT_NE(WaitForMain(app), nullptr);
    EXPECT_EQ(app.FindWindowOfClass(L"#32770"), nullptr) << "no error";
    EXPECT_EQ(TextOf(app.Control(idMemoReg)), L"Red\r\n");
    EXPECT_EQ(TextOf(app.Control(idMemoPst)), L"Blue\r\n");
    ExitWithButton(app);
}

// Outlook runs as the user started it: Wine 8 keeps the class registration of a
// killed server that COM started, and would fail every later start.
TEST_F(PellorinEndToEnd, AfterOutlookWasClosedRefreshConnectsAgain)
{
    WriteMasterListValue(L"14.0", L"Red;");
    UseOutlook(L"14.0.7015.1000", {L"Blue"});
    std::optional<TRunningStandIn> outlook(std::in_place);
    TPellorinProcess app;
    ASSERT_NE(WaitForMain(app), nullptr);
    EXPECT_EQ(TextOf(app.Control(idMemoPst)), L"Blue\r\n");

    // Closed between the Refresh and a copy: the copy tells what to do.
    TerminateStandIns();
    RunConfirmed(app, idBtnTAVtoOL);
    const TMessageBox box = app.WaitForMessageBox();
    ASSERT_NE(box.Handle, nullptr);
    EXPECT_EQ(box.Title, L"Pellorin");
    EXPECT_TRUE(box.Text.ends_with(L".\n\nOutlook was closed while Pellorin was working with it. Start Outlook, "
                                   L"then press Refresh."))
        << ToUtf8(box.Text);
    app.Answer(box, IDOK);

    UseOutlook(L"16.0.17928.20114", {L"Blue", L"Green"});
    outlook.emplace();
    app.Click(idBtnReadRegCategories);
    EXPECT_TRUE(WaitUntil([&] { return TextOf(app.Control(idMemoPst)) == L"Blue\r\nGreen\r\n"; }));
    EXPECT_EQ(TextOf(app.Control(idLabelOlVersion)), L"Outlook version detected: Outlook 2016 or later");
    EXPECT_EQ(TextOf(app.Control(idMemoReg)), L"Red\r\n");
    ExpectStoreInUseState(app);
    EXPECT_EQ(app.FindWindowOfClass(L"#32770"), nullptr);

    // Closed again, and the Outlook started next keeps no categories in the store.
    TerminateStandIns();
    UseOutlook(L"11.0", {L"Blue"});
    outlook.emplace();
    app.Click(idBtnReadRegCategories);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(app.Control(idLabelNoPstUsed)) != FALSE; }));
    EXPECT_EQ(TextOf(app.Control(idLabelOlVersion)), L"Outlook version detected: Outlook 2003");
    ExpectNothingOffered(app);
    ExitWithButton(app);
}

// Windows can keep the running-object entry of a killed Outlook, and every call
// to it then fails as with a server that is gone (Wine drops such an entry).
TEST_F(PellorinEndToEnd, AnEntryLeftByAKilledOutlookIsPassedOverAtTheStart)
{
    WriteMasterListValue(L"14.0", L"Red;");
    UseOutlook(L"14.0.7015.1000", {L"Blue"});
    const TRunningStandIn stale(TRunningStandIn::TKind::Stale);
    ClearStandInLog();
    TPellorinProcess app;
    ASSERT_NE(WaitForMain(app), nullptr);
    EXPECT_EQ(app.FindWindowOfClass(L"#32770"), nullptr) << "no error";
    EXPECT_EQ(TextOf(app.Control(idMemoReg)), L"Red\r\n");
    EXPECT_EQ(TextOf(app.Control(idMemoPst)), L"Blue\r\n");
    const auto log = ReadStandInLog();
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const TStandInRequest& r) { return r.Event == L"start" && r.Member == L"embedding"; }),
              1)
        << "a new Outlook was started";
    ExitWithButton(app);
}

TEST_F(PellorinEndToEnd, ARefusedRegistryWriteShowsItsCodeOnASecondLine)
{
    WriteMasterListValue(L"14.0", L"Red;");
    UseOutlook(L"14.0", {L"Blue"});
    TPellorinProcess app;
    ASSERT_NE(WaitForMain(app), nullptr);
    const RestrictedKey locked(L"Software\\Microsoft\\Office\\14.0\\Outlook\\Categories", kDenyWrite);

    RunConfirmed(app, idBtnOLtoTAV);
    const TMessageBox box = app.WaitForMessageBox();
    ASSERT_NE(box.Handle, nullptr);
    EXPECT_EQ(box.Title, L"Pellorin");
    EXPECT_EQ(box.Text, L"Failed to create key\nError Code: 5.");
    SaveScreenshot(L"registry-error-box");
    app.Answer(box, IDOK);
    EXPECT_EQ(ReadMasterListValueBytes(L"14.0"), Utf16Bytes(L"Red;"));
    ExitWithButton(app);
}

TEST_F(PellorinEndToEnd, ColumnsFollowTheWindowWidth)
{
    UseOutlook(L"14.0");
    TPellorinProcess app;
    const HWND main = WaitForMain(app);
    ASSERT_NE(main, nullptr);
    app.WaitForIdle();
    const SIZE outer = OuterSize(main);
    EXPECT_EQ(outer.cx, 660);
    EXPECT_EQ(outer.cy, 590);
    const HWND memoReg = app.Control(idMemoReg);
    const HWND memoPst = app.Control(idMemoPst);
    const HWND exitButton = app.Control(idBtnClose);
    EXPECT_EQ(Left(memoReg), 15);
    EXPECT_EQ(Width(memoReg), 250);
    EXPECT_EQ(Width(memoPst), 250);
    EXPECT_EQ(Left(memoPst), 385);
    EXPECT_EQ(Left(app.Control(idLabel3)), 385);
    EXPECT_EQ(Left(app.Control(idLabel1)), 282);
    for (const int id : {idBtnTAVtoOL, idBtnOLtoTAV, idBtnSyncOLandTAV, idBtnReadRegCategories, idLabelNoPstUsed})
        EXPECT_EQ(Left(app.Control(id)), 276) << id;
    // Whatever client area the frame leaves, every control starts at its design place.
    const std::pair<int, RECT> designPlaces[] = {
        {idBtnReadRegCategories, {276, 459, 376, 484}}, {idBtnTAVtoOL, {276, 81, 376, 106}},
        {idBtnSyncOLandTAV, {276, 165, 376, 190}},      {idBtnClose, {560, 502, 635, 527}},
        {idMemoReg, {15, 33, 265, 483}},                {idLabel1, {282, 33, 367, 65}},
        {idLabelNoPstUsed, {276, 225, 368, 305}},
    };
    for (const auto& [id, place] : designPlaces) {
        const RECT at = BoundsInParent(app.Control(id));
        EXPECT_TRUE(EqualRect(&at, &place)) << id << ": " << at.left << "," << at.top << " " << at.right << ","
                                            << at.bottom;
    }
    for (const auto& [id, top] : {std::pair{idLabelOlVersion, 490}, {idLabel4, 535}, {idLabel7, 519}})
        EXPECT_EQ(BoundsInParent(app.Control(id)).top, top) << id;
    const SIZE client = ClientSize(main);
    const RECT exitAt = BoundsInParent(exitButton);
    const LONG exitRightGap = client.cx - exitAt.right;
    const LONG exitBottomGap = client.cy - exitAt.bottom;
    const LONG memoBottomGap = client.cy - BoundsInParent(memoReg).bottom;

    SetWindowPos(main, nullptr, 0, 0, 901, 700, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    app.WaitForIdle();
    EXPECT_TRUE(WaitUntil([&] { return Width(memoReg) == 370; }, 5000));
    EXPECT_EQ(Width(memoPst), 370);
    EXPECT_EQ(Left(memoPst), 505);
    EXPECT_EQ(Left(app.Control(idLabel1)), 402);
    for (const int id : {idBtnTAVtoOL, idBtnOLtoTAV, idBtnSyncOLandTAV, idBtnReadRegCategories})
        EXPECT_EQ(Left(app.Control(id)), 396) << id;
    const SIZE wideClient = ClientSize(main);
    EXPECT_EQ(wideClient.cx - BoundsInParent(exitButton).right, exitRightGap);
    EXPECT_EQ(wideClient.cy - BoundsInParent(exitButton).bottom, exitBottomGap);
    EXPECT_EQ(wideClient.cy - BoundsInParent(memoReg).bottom, memoBottomGap);
    SaveScreenshot(L"main-901");

    SetWindowPos(main, nullptr, 0, 0, 150, 180, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    app.WaitForIdle();
    EXPECT_TRUE(WaitUntil([&] { return Width(memoReg) == 0; }, 5000));
    EXPECT_EQ(Width(memoPst), 0);
    // What no longer fits is reached by scrolling.
    EXPECT_TRUE(GetWindowLongW(main, GWL_STYLE) & WS_HSCROLL);
    EXPECT_TRUE(GetWindowLongW(main, GWL_STYLE) & WS_VSCROLL);

    PostMessageW(main, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    EXPECT_TRUE(WaitUntil([&] { return IsZoomed(main) != FALSE; }, 5000));
    EXPECT_TRUE(WaitUntil([&] { return Width(memoReg) == (OuterSize(main).cx - 160) / 2; }, 5000));
    PostMessageW(main, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsZoomed(main) && Width(memoReg) == 0; }, 5000));
    ExitWithButton(app);
}

TEST_F(PellorinEndToEnd, At144DpiEveryFigureIsScaledByOneAndAHalf)
{
    const DWORD previous = PrefixLogPixels();
    SetPrefixLogPixels(144);
    struct TRestore {
        DWORD Dpi;
        ~TRestore() { SetPrefixLogPixels(Dpi); }
    } restore{previous};

    UseOutlook(L"14.0", {L"Red"}, {}, 300);
    TPellorinProcess app;
    const HWND splash = app.WaitForWindow(L"TSplashScreen");
    ASSERT_NE(splash, nullptr);
    const SIZE splashSize = ClientSize(splash);
    EXPECT_EQ(splashSize.cx, 494);
    EXPECT_EQ(splashSize.cy, 231);

    const HWND main = WaitForMain(app);
    ASSERT_NE(main, nullptr);
    app.WaitForIdle();
    const SIZE outer = OuterSize(main);
    EXPECT_EQ(outer.cx, 990);
    EXPECT_EQ(outer.cy, 885);
    const HWND memoReg = app.Control(idMemoReg);
    EXPECT_EQ(Left(memoReg), 23);
    EXPECT_EQ(Width(memoReg), 375);
    EXPECT_EQ(Width(app.Control(idMemoPst)), 375);
    EXPECT_EQ(Left(app.Control(idMemoPst)), 23 + 375 + 180);
    EXPECT_EQ(Left(app.Control(idLabel1)), 23 + 375 + 26);
    EXPECT_EQ(Left(app.Control(idBtnTAVtoOL)), 23 + 375 + 17);
    const RECT exitAt = BoundsInParent(app.Control(idBtnClose));
    EXPECT_EQ(exitAt.right - exitAt.left, 113);
    EXPECT_EQ(exitAt.bottom - exitAt.top, 38);
    EXPECT_EQ(BoundsInParent(app.Control(idBtnTAVtoOL)).top, 122);
    SaveScreenshot(L"main-144dpi");
    ExitWithButton(app);
}

TEST_F(PellorinEndToEnd, StartedMinimisedTheHandOverWaitsForTheFirstRestore)
{
    UseOutlook(L"14.0", {L"Red"});
    TPellorinProcess app(SW_SHOWMINNOACTIVE);
    const HWND main = WaitForMain(app);
    ASSERT_NE(main, nullptr);
    app.WaitForIdle();
    EXPECT_TRUE(IsIconic(main));
    EXPECT_EQ(TextOf(app.Control(idMemoPst)), L"MemoPst");
    EXPECT_FALSE(WasAsked(L"Categories"));

    PostMessageW(main, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_TRUE(WaitUntil([&] { return TextOf(app.Control(idMemoPst)) == L"Red\r\n"; }));
    EXPECT_FALSE(IsIconic(main));
    EXPECT_EQ(app.FindWindowOfClass(L"TSplashScreen"), nullptr);
    ExitWithButton(app);
}

TEST_F(PellorinEndToEnd, AOneStoreProfileLooksAsBeforeAndAsksOnlyForTheStoresAndTheirCount)
{
    UseOutlook(L"14.0.7015.1000", {L"Red", L"Blue"});
    TPellorinProcess app;
    ASSERT_NE(WaitForMain(app), nullptr);
    app.WaitForIdle();
    EXPECT_FALSE(IsWindowVisible(app.Control(idStoreChooser)));
    EXPECT_EQ(TextOf(app.Control(idMemoPst)), L"Blue\r\nRed\r\n");
    std::vector<std::wstring> invoked;
    for (const TStandInRequest& request : ReadStandInRequests()) {
        if (request.Event == L"invoke")
            invoked.push_back(request.Member + L" " + request.Argument);
    }
    EXPECT_EQ(invoked, (std::vector<std::wstring>{L"GetNamespace bstr:MAPI", L"Version ", L"Version ", L"Stores ",
                                                  L"Count ", L"Categories ", L"Count ", L"Item i4:1", L"Name ",
                                                  L"Item i4:2", L"Name "}));
    ExitWithButton(app);
}

TEST_F(PellorinEndToEnd, EveryStoreThroughTheChooserAndEachButton)
{
    WriteMasterListValue(L"14.0", L"Reg;");
    TStandInState state;
    state.Version = L"14.0.7015.1000";
    // In Namespace.Stores order: Archive, the default mailbox, an IMAP account
    // showing the mailbox's list, and public folders that cannot be read.
    state.DefaultStoreName = L"jane@example.com";
    state.Names = {L"Red", L"Blue"};
    state.DefaultStorePosition = 1;
    state.OtherStores = {{L"Archive", {L"Old", L"Red"}, {}, L"", L""},
                         {L"jane@example.com", {}, {}, L"jane@example.com", L""},
                         {L"Public Folders", {}, {}, L"", L"You are not connected"}};
    WriteStandInState(state);
    TPellorinProcess app;
    const HWND main = WaitForMain(app);
    ASSERT_NE(main, nullptr);
    app.WaitForIdle();
    const HWND chooser = app.Control(idStoreChooser);
    const HWND memoPst = app.Control(idMemoPst);
    ASSERT_TRUE(IsWindowVisible(chooser));
    EXPECT_EQ(EntriesOf(chooser), (std::vector<std::wstring>{L"jane@example.com", L"Archive", L"jane@example.com (2)",
                                                             L"Public Folders (could not be read)", L"All stores"}));
    EXPECT_EQ(SelectionOf(chooser), 0);
    EXPECT_EQ(TextOf(memoPst), L"Blue\r\nRed\r\n");
    SaveScreenshot(L"main-stores");

    // The chooser tabs in right before the list it chooses.
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(main) == app.Control(idBtnClose); }, 5000));
    for (const int next : {idMemoReg, idStoreChooser, idMemoPst}) {
        PostMessageW(FocusOf(main), WM_KEYDOWN, VK_TAB, 0);
        PostMessageW(FocusOf(main), WM_KEYUP, VK_TAB, 0xC0000001);
        EXPECT_TRUE(WaitUntil([&] { return FocusOf(main) == app.Control(next); }, 5000)) << next;
    }
    ClearStandInLog();
    const std::pair<int, std::wstring> shown[] = {
        {1, L"Old\r\nRed\r\n"},
        {2, L"Blue\r\nRed\r\n"},
        {3, L"You are not connected"},
        {4, L"Blue  (not in: Archive)\r\nOld  (not in: jane@example.com, jane@example.com (2))\r\nRed\r\n"}};
    for (const auto& [entry, text] : shown) {
        app.Choose(idStoreChooser, entry);
        EXPECT_TRUE(WaitUntil([&] { return TextOf(memoPst) == text; }, 5000))
            << entry << ": " << ToUtf8(TextOf(memoPst));
    }
    EXPECT_TRUE(ReadStandInRequests().empty()) << "choosing asks Outlook nothing";

    app.Choose(idStoreChooser, 3);
    for (const int button : kCopyButtons) {
        app.Click(button);
        const TMessageBox box = app.WaitForMessageBox();
        ASSERT_NE(box.Handle, nullptr);
        EXPECT_EQ(box.Title, L"Pellorin");
        EXPECT_EQ(box.Text, L"The categories in Outlook could not be read completely. Press Refresh, then try again.");
        app.Answer(box, IDOK);
    }

    // Clicks a copy button, checks its question and answers OK; then the box
    // that names the stores left out, if one is expected.
    const auto copy = [&](int button, const std::wstring& question, bool leavesStoresOut) {
        app.Click(button);
        TMessageBox box = app.WaitForMessageBox();
        ASSERT_NE(box.Handle, nullptr);
        EXPECT_EQ(box.Text, question);
        app.Answer(box, IDOK);
        if (!leavesStoresOut)
            return;
        box = app.WaitForMessageBox();
        ASSERT_NE(box.Handle, nullptr);
        EXPECT_EQ(box.Title, L"Pellorin");
        EXPECT_TRUE(box.HasIcon);
        EXPECT_EQ(box.Text, L"These stores could not be read, so nothing was copied to or from them:\nPublic Folders");
        EXPECT_EQ(SelectionOf(chooser), 4) << "the box comes after the closing Refresh";
        app.Answer(box, IDOK);
    };

    // One store: today's question, and the store stays chosen after the Refresh.
    app.Choose(idStoreChooser, 1);
    copy(idBtnTAVtoOL, L"Do you want to add all categories from the registry into the PST?", false);
    EXPECT_TRUE(WaitUntil([&] { return TextOf(memoPst) == L"Old\r\nRed\r\nReg\r\n"; }));
    EXPECT_EQ(SelectionOf(chooser), 1);

    // Every store, both ways; the unreadable one is left out and named.
    app.Choose(idStoreChooser, 4);
    copy(idBtnSyncOLandTAV, L"Do you want to synchronize all categories between registry and every Outlook store?",
         true);
    EXPECT_EQ(TextOf(memoPst), L"Blue\r\nOld\r\nRed\r\nReg\r\n");
    EXPECT_EQ(TextOf(app.Control(idMemoReg)), L"Blue\r\nOld\r\nRed\r\nReg\r\n");
    const TStandInState after = ReadStandInState();
    EXPECT_EQ(after.Names, (std::vector<std::wstring>{L"Red", L"Blue", L"Old", L"Reg"}))
        << "once only, though two stores show the list";
    EXPECT_EQ(after.OtherStores[0].Names, (std::vector<std::wstring>{L"Old", L"Red", L"Reg", L"Blue"}));
    EXPECT_EQ(after.Colors[2], after.OtherStores[0].Colors[0]) << "Old keeps its colour";
    EXPECT_EQ(after.OtherStores[0].Colors[3], after.Colors[1]) << "Blue keeps its colour";

    copy(idBtnOLtoTAV, L"Do you want to add all categories from every Outlook store into the registry?", true);
    ExitWithButton(app);
}

// The first Refresh says the master list it left out before the window
// appears; the open chooser shows the longest store name whole.
TEST_F(PellorinEndToEnd, AnUnreadableMasterListIsSaidAndTheOpenChooserShowsEveryNameWhole)
{
    WriteMasterListValue(L"14.0", L"Reg;");
    WriteMasterListValueBytes(L"11.0", Utf16Bytes(std::wstring(L"Old\0\0", 5)), REG_MULTI_SZ);
    const std::wstring longest = L"A shared mailbox whose name is far wider than the box (Sales and Marketing)";
    TStandInState state;
    state.Version = L"14.0.7015.1000";
    state.DefaultStoreName = L"jane.doe@example.com";
    state.Names = {L"Red"};
    state.OtherStores = {{longest, {L"Blue"}, {}, L"", L""}};
    WriteStandInState(state);
    TPellorinProcess app;

    const TMessageBox box = app.WaitForMessageBox();
    ASSERT_NE(box.Handle, nullptr);
    EXPECT_EQ(box.Title, L"Pellorin");
    EXPECT_TRUE(box.HasIcon);
    EXPECT_EQ(box.Text, L"The master list of Outlook 11.0 is stored as REG_MULTI_SZ, which Pellorin cannot read, so "
                        L"its names are left out.");
    app.Answer(box, IDOK);
    const HWND main = WaitForMain(app);
    ASSERT_NE(main, nullptr);
    app.WaitForIdle();
    EXPECT_EQ(TextOf(app.Control(idMemoReg)), L"Reg\r\n");

    const HWND chooser = app.Control(idStoreChooser);
    ASSERT_TRUE(IsWindowVisible(chooser));
    SendMessageW(chooser, CB_SHOWDROPDOWN, TRUE, 0);
    const HWND list = app.WaitForWindow(L"ComboLBox", 5000);
    ASSERT_NE(list, nullptr);
    const UniqueHfont font = CreateUiFont(11, false, false, WindowDpi(main));
    for (const std::wstring& entry : {std::wstring(L"jane.doe@example.com"), longest}) {
        EXPECT_GE(ClientSize(list).cx, MeasureText(font.get(), entry).cx + 2)
            << ToUtf8(entry) << " is cut off in the open list";
    }
    SaveScreenshot(L"main-chooser-open");
    SendMessageW(chooser, CB_SHOWDROPDOWN, FALSE, 0);
    ExitWithButton(app);
}

// Both planned from the same lists while another copy holds the lock: both
// wait, the window painting itself, then one copies and the other finds
// nothing left to add.
TEST_F(PellorinEndToEnd, TheWindowAndPellorinSyncAtOnceAddEachNameOnce)
{
    std::wstring registry, both;
    std::vector<std::wstring> store, storeAfter;
    for (int i = 10; i < 30; ++i) {
        registry += L"Reg" + std::to_wstring(i) + L";";
        store.push_back(L"Pst" + std::to_wstring(i));
        both += store.back() + L"\r\n";
    }
    storeAfter = store;
    for (int i = 10; i < 30; ++i) {
        storeAfter.push_back(L"Reg" + std::to_wstring(i));
        both += storeAfter.back() + L"\r\n";
    }
    WriteMasterListValue(L"14.0", registry);
    UseOutlook(L"14.0", store, {}, 10);
    TPellorinProcess app;
    ASSERT_NE(WaitForMain(app), nullptr);
    ClearStandInLog();

    std::optional<TUserMutex> held(std::in_place, kCopyLockName);
    ASSERT_TRUE(held->Acquire(0));
    TSyncProcess sync(WindowsPath(PELLORIN_SYNC_EXE), "both");
    ASSERT_TRUE(WaitUntil([&] { return Invocations(L"Name") == store.size(); })) << "PellorinSync read the store";
    RunConfirmed(app, idBtnSyncOLandTAV);
    const HWND memo = app.Control(idMemoPst);
    RedrawWindow(memo, nullptr, nullptr, RDW_INVALIDATE);
    EXPECT_TRUE(WaitUntil([&] { return !GetUpdateRect(memo, nullptr, FALSE); })) << "the waiting window paints";
    EXPECT_FALSE(WasAsked(L"Add"));

    held.reset();
    const TSyncRun run = sync.Finish();
    EXPECT_EQ(run.ExitCode, 0u) << run.Out << run.Err;
    EXPECT_TRUE(WaitUntil([&] { return TextOf(memo) == both && TextOf(app.Control(idMemoReg)) == both; }));
    EXPECT_EQ(app.FindWindowOfClass(L"#32770"), nullptr) << "Outlook refused no name";
    EXPECT_EQ(ReadStandInNames(), storeAfter);
    for (const std::wstring& name : store)
        registry += name + L";";
    EXPECT_EQ(ReadMasterListValueBytes(L"14.0"), Utf16Bytes(registry));
    ExitWithButton(app);
}
