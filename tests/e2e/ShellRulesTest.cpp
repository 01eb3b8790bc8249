// The shell's rules that need no window: the error box's text and title, the
// run-time error text, the main window's state per Outlook version, and layout.
#include "ui/ErrorReporter.h"
#include "ui/Layout.h"
#include "ui/WindowState.h"

#include <gtest/gtest.h>

TEST(ApplicationTitle, IsTheFileNameCutAtItsFirstDotAndLowerCasedAfterTheFirstLetter)
{
    EXPECT_EQ(ApplicationTitleFromPath(L"C:\\Program Files\\Pellorin\\PELLORIN.EXE"), L"Pellorin");
    EXPECT_EQ(ApplicationTitleFromPath(L"pellorin.exe"), L"pellorin");
    EXPECT_EQ(ApplicationTitleFromPath(L"Z:/build/app/My.Tool.exe"), L"My");
    EXPECT_EQ(ApplicationTitleFromPath(L"C:\\x.y\\NOEXTENSION"), L"Noextension");
    EXPECT_EQ(ApplicationTitleFromPath(L"C:\\\u00C4RGER.EXE"), L"\u00C4rger");
    EXPECT_EQ(ApplicationTitleFromPath(L"C:\\.hidden"), L"");
}

TEST(ErrorBoxText, AddsAFullStopOnlyAfterACharacterAboveIt)
{
    EXPECT_EQ(ErrorBoxText(L""), L"");
    EXPECT_EQ(ErrorBoxText(L"Invalid class string"), L"Invalid class string.");
    EXPECT_EQ(ErrorBoxText(L"Failed at 3"), L"Failed at 3.");
    EXPECT_EQ(ErrorBoxText(L"a/"), L"a/.");
    EXPECT_EQ(ErrorBoxText(L"Name \u0416"), L"Name \u0416.");
    for (const wchar_t* unchanged : {L"Done.", L"a,", L"a-", L"(a)", L"Stop!", L"trailing ", L"tab\t"})
        EXPECT_EQ(ErrorBoxText(unchanged), unchanged);
}

TEST(RuntimeErrorText, WritesTheCodeAndTheAddressInEightHexDigits)
{
    EXPECT_EQ(RuntimeErrorText(217, 0x0040A1B2u), L"Runtime error 217 at 0040A1B2");
    EXPECT_EQ(RuntimeErrorText(217, 0), L"Runtime error 217 at 00000000");
}

TEST(WindowState, StoreInUseFrom2007To365)
{
    const TWindowState v12 = WindowStateForVersion("12", L"12.0.6423.1000");
    EXPECT_EQ(v12.OlVersionText, L"Outlook version detected: Outlook 2007");
    EXPECT_TRUE(v12.StoreInUse);
    EXPECT_FALSE(v12.ShowNoPstUsed);
    EXPECT_EQ(WindowStateForVersion("14", L"14.0").OlVersionText, L"Outlook version detected: Outlook 2010");
    for (const auto& [major, text] : {std::pair<std::string, std::wstring>{"15", L"Outlook 2013"},
                                      {"16", L"Outlook 2016 or later"}}) {
        const TWindowState state = WindowStateForVersion(major, L"16.0.17928.20114");
        EXPECT_EQ(state.OlVersionText, L"Outlook version detected: " + text);
        EXPECT_TRUE(state.StoreInUse);
        EXPECT_FALSE(state.ShowNoPstUsed);
    }

    const TWindowState v11 = WindowStateForVersion("11", L"11.0.8169");
    EXPECT_EQ(v11.OlVersionText, L"Outlook version detected: Outlook 2003");
    EXPECT_FALSE(v11.StoreInUse);
    EXPECT_TRUE(v11.ShowNoPstUsed);
}

TEST(WindowState, AVersionWithoutARowShowsWhatOutlookReported)
{
    for (const auto& [major, reported] : {std::pair<std::string, std::wstring>{"17", L"17.0"},
                                          {"13", L"13.0.1234"},
                                          {"", L"12"},
                                          {"012", L"012.0"}}) {
        const TWindowState state = WindowStateForVersion(major, reported);
        EXPECT_EQ(state.OlVersionText, L"Outlook version detected: " + reported);
        EXPECT_FALSE(state.StoreInUse);
        EXPECT_TRUE(state.ShowNoPstUsed);
    }
}

TEST(WindowState, WithoutOutlookNothingIsOfferedAndNoHintIsShown)
{
    const TWindowState state = WindowStateWithoutOutlook();
    EXPECT_EQ(state.OlVersionText, L"Outlook version detected: none");
    EXPECT_FALSE(state.StoreInUse);
    EXPECT_FALSE(state.ShowNoPstUsed);
}

TEST(ColumnLayout, SharesTheWidthBetweenTheMemosAroundAFixedMiddleColumn)
{
    const TColumnLayout design = ColumnLayout(660, 15, 96);
    EXPECT_EQ(design.MemoWidth, 250);
    EXPECT_EQ(design.MemoPstLeft, 385);
    EXPECT_EQ(design.Label1Left, 282);
    EXPECT_EQ(design.MiddleLeft, 276);

    const TColumnLayout wide = ColumnLayout(901, 15, 96);
    EXPECT_EQ(wide.MemoWidth, 370);
    EXPECT_EQ(wide.MemoPstLeft, 505);
    EXPECT_EQ(wide.Label1Left, 402);
    EXPECT_EQ(wide.MiddleLeft, 396);
}

TEST(ColumnLayout, NarrowWindowsGiveEmptyMemosNeverNegativeOnes)
{
    EXPECT_EQ(ColumnLayout(161, 15, 96).MemoWidth, 0);  // rounds toward zero
    EXPECT_EQ(ColumnLayout(162, 15, 96).MemoWidth, 1);
    EXPECT_EQ(ColumnLayout(159, 15, 96).MemoWidth, 0);
    const TColumnLayout tiny = ColumnLayout(100, 15, 96);
    EXPECT_EQ(tiny.MemoWidth, 0);
    EXPECT_EQ(tiny.MemoPstLeft, 135);
    EXPECT_EQ(ColumnLayout(0, 15, 96).MemoWidth, 0);
}

TEST(ColumnLayout, ScalesWithTheDpi)
{
    // 144 DPI: the design window is 990 wide and its memo starts at 23.
    const TColumnLayout layout = ColumnLayout(990, 23, 144);
    EXPECT_EQ(layout.MemoWidth, 375);
    EXPECT_EQ(layout.MemoPstLeft, 23 + 375 + 180);
    EXPECT_EQ(layout.Label1Left, 23 + 375 + 26);  // 17 * 1.5 rounds up
    EXPECT_EQ(layout.MiddleLeft, 23 + 375 + 17);  // 11 * 1.5 rounds up
    EXPECT_EQ(ScalePixels(660, 144), 990);
    EXPECT_EQ(ScalePixels(590, 96), 590);
}

class Anchors : public testing::Test {
protected:
    static constexpr SIZE kDesign{652, 556};
    static constexpr TBounds kControl{100, 400, 80, 50};

    static TBounds Grown(unsigned anchors, SIZE client) { return AnchoredBounds(kControl, anchors, kDesign, client); }
};

TEST_F(Anchors, LeftAndTopKeepThePlace)
{
    const TBounds b = Grown(kDefaultAnchors, {900, 700});
    EXPECT_EQ(b.Left, 100);
    EXPECT_EQ(b.Top, 400);
    EXPECT_EQ(b.Width, 80);
    EXPECT_EQ(b.Height, 50);
}

TEST_F(Anchors, AFarEdgeAloneMovesTheControlWithIt)
{
    const TBounds b = Grown(akRight | akBottom, {752, 506});
    EXPECT_EQ(b.Left, 200);
    EXPECT_EQ(b.Top, 350);
    EXPECT_EQ(b.Width, 80);
    EXPECT_EQ(b.Height, 50);
}

TEST_F(Anchors, BothEdgesStretchAndNeverBelowZero)
{
    const TBounds b = Grown(akLeft | akTop | akBottom, {652, 600});
    EXPECT_EQ(b.Top, 400);
    EXPECT_EQ(b.Height, 94);
    EXPECT_EQ(Grown(akTop | akBottom, {652, 300}).Height, 0);
}

TEST_F(Anchors, NeitherEdgeKeepsTheCentreAtItsFraction)
{
    // Centre 140 of 652 becomes 280 of 1304.
    const TBounds b = Grown(akTop, {1304, 556});
    EXPECT_EQ(b.Left, 240);
    EXPECT_EQ(b.Width, 80);
}

TEST(ScrollRange, CountsOnlyControlsTiedToTheNearEdgeAlone)
{
    TScrollRange range{0, 0};
    ExtendScrollRange(range, {10, 20, 100, 30}, kDefaultAnchors);
    ExtendScrollRange(range, {500, 500, 100, 30}, akRight | akBottom);
    ExtendScrollRange(range, {0, 0, 300, 900}, akLeft | akTop | akBottom);
    ExtendScrollRange(range, {0, 0, 900, 300}, akTop);
    EXPECT_EQ(range.Horizontal, 300);
    EXPECT_EQ(range.Vertical, 300);
}
