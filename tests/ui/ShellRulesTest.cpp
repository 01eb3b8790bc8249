// The shell's rules that need no window: the error box's text and title, the
// run-time error text and the main window's state per Outlook version.
#include "ui/ErrorReporter.h"
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
