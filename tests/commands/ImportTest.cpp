// Importing a list file with --colors in-process, over stores in memory: what
// the stores hold under the copy lock is what decides, and a store's own word
// on a colour counts, even for a name the import has just added.
#include "InProcessTest.h"

#include "commands/ListFileCommands.h"

#include <gtest/gtest.h>

namespace {

TCategoryColor Outlook(int value)
{
    return TCategoryColor::FromOutlook(value);
}

class ImportTest : public InProcessTest {
protected:
    TImportReport Import(const std::vector<TListFileEntry>& entries)
    {
        TImportOptions options;
        options.Colors = true;
        TImportReport report;
        RunImport(state_, ui_, entries, options, report);
        return report;
    }

    void Refresh()
    {
        BtnReadCategoriesClick(state_, ui_);
        ChooseStore(state_, ui_, kAllStores);
        source_.Log.clear();
    }

    static std::vector<std::wstring> Names(const std::vector<TRecolourStep>& steps)
    {
        std::vector<std::wstring> names;
        for (const TRecolourStep& step : steps)
            names.push_back(step.Name);
        return names;
    }
};

}  // namespace

// Another program gave Red the file's colour and removed Blue after the
// Refresh. The store that gains nothing is read again under the lock too, so
// neither is changed or refused on the strength of the earlier read.
TEST_F(ImportTest, AStoreThatGainsNoNameIsReadAgainBeforeItsColoursChange)
{
    TFakeStoreSetup& settled = source_.AddStore(L"00AA", L"Settled", std::make_shared<TFakeList>(
                                                                           std::vector<std::wstring>{L"Red", L"Blue", L"Own"}));
    settled.ColorsAsRead = true;
    source_.AddStore(L"00BB", L"Empty");
    Refresh();

    TFakeList& list = *settled.List;
    list.Colors[0] = Outlook(1);
    list.Names.erase(list.Names.begin() + 1);
    list.Colors.erase(list.Colors.begin() + 1);
    list.Colors[1] = Outlook(4);

    const TImportReport report = Import({{L"Red", Outlook(1)}, {L"Blue", Outlook(8)}, {L"Own", Outlook(5)}});
    EXPECT_EQ(Names(report.Recoloured), (std::vector<std::wstring>{L"Own"}));
    ASSERT_EQ(report.Recoloured.size(), 1u);
    EXPECT_EQ(report.Recoloured[0].From, Outlook(4)) << "as it is now, not as the Refresh read it";
    EXPECT_TRUE(report.RecolourRefused.empty()) << ToUtf8(report.RecolourRefused.front().Name);
    EXPECT_EQ(source_.Logged(L"recolour 00AA"), (std::vector<std::wstring>{L"recolour 00AA Own 5"}));
    EXPECT_EQ(list.Colors[0], Outlook(1));
}

// A store may add a name and keep another colour than the one it was given;
// the import gives it the file's colour as it would any other.
TEST_F(ImportTest, ANameJustAddedTakesTheFilesColourWhereTheStoreKeptAnother)
{
    TFakeStoreSetup& picky = source_.AddStore(L"00AA", L"Picky");
    picky.DropsColors = true;
    Refresh();

    const TImportReport report = Import({{L"New", Outlook(7)}, {L"Plain", std::nullopt}});
    ASSERT_EQ(report.Copy.AddedToStores.size(), 1u);
    EXPECT_EQ(report.Copy.AddedToStores[0].Names, (std::vector<std::wstring>{L"New", L"Plain"}));
    EXPECT_EQ(Names(report.Recoloured), (std::vector<std::wstring>{L"New"}));
    ASSERT_EQ(picky.List->Colors.size(), 2u);
    EXPECT_EQ(picky.List->Colors[0], Outlook(7));
    EXPECT_EQ(picky.List->Colors[1], Outlook(0)) << "no colour in the file, none asked for";
}
