// Outlook's colour numbers and Graph's names for them, both ways.
#include "categories/CategoryColor.h"

#include <gtest/gtest.h>

TEST(CategoryColor, EveryOutlookValueHasOneGraphNameAndComesBackFromIt)
{
    EXPECT_EQ(TCategoryColor::FromOutlook(0).GraphName(), L"none");
    EXPECT_EQ(TCategoryColor::FromOutlook(1).GraphName(), L"preset0");
    EXPECT_EQ(TCategoryColor::FromOutlook(8).GraphName(), L"preset7");
    EXPECT_EQ(TCategoryColor::FromOutlook(25).GraphName(), L"preset24");
    for (std::int32_t value = 0; value <= 25; ++value) {
        const auto name = TCategoryColor::FromOutlook(value).GraphName();
        ASSERT_TRUE(name) << value;
        EXPECT_EQ(TCategoryColor::FromGraphName(*name), TCategoryColor::FromOutlook(value)) << *name;
    }
    EXPECT_EQ(TCategoryColor(), TCategoryColor::FromOutlook(0)) << "no colour is Outlook's none";
}

TEST(CategoryColor, ValuesOutsideOutlooksListPassThroughButHaveNoName)
{
    for (const std::int32_t value : {-1, 26, 100}) {
        EXPECT_FALSE(TCategoryColor::FromOutlook(value).IsNamed()) << value;
        EXPECT_FALSE(TCategoryColor::FromOutlook(value).GraphName()) << value;
        EXPECT_EQ(TCategoryColor::FromOutlook(value).OutlookValue(), value);
    }
}

TEST(CategoryColor, GraphNamesIgnoreLetterCaseAndNothingElse)
{
    EXPECT_EQ(TCategoryColor::FromGraphName(L"NONE"), TCategoryColor::FromOutlook(0));
    EXPECT_EQ(TCategoryColor::FromGraphName(L"Preset12"), TCategoryColor::FromOutlook(13));
    for (const wchar_t* text : {L"", L"preset", L"preset25", L"preset-1", L"preset03", L"preset 3", L" none",
                                L"preset1x", L"red", L"3"})
        EXPECT_FALSE(TCategoryColor::FromGraphName(text)) << text;
}
