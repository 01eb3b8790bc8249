// Compare over stores in memory: what each side lacks and where colours
// differ, told without a write or a lock, with each store asked a colour only
// where another side gives one; and the window's counts under its lists.
#include "InProcessTest.h"

#include "commands/Compare.h"
#include "commands/ListFileCommands.h"

#include "support/ScratchHkcu.h"

#include <gtest/gtest.h>

#include <random>

namespace {

TCategoryColor Outlook(int value)
{
    return TCategoryColor::FromOutlook(value);
}

class CompareTest : public InProcessTest {
protected:
    TFakeList& Store(const std::wstring& key, std::vector<std::wstring> names,
                     std::vector<std::optional<TCategoryColor>> colors = {})
    {
        TFakeList& list = *source_.AddStore(key, L"Store " + key, std::make_shared<TFakeList>(std::move(names))).List;
        if (!colors.empty())
            list.Colors = std::move(colors);
        return list;
    }

    void Refresh(bool all = true)
    {
        BtnReadCategoriesClick(state_, ui_);
        if (all)
            ChooseStore(state_, ui_, kAllStores);
        source_.Log.clear();
    }

    // Nothing but colour questions and the end of the read: no add, no
    // recolour, no re-read.
    void ExpectOnlyReads() const
    {
        for (const std::wstring& entry : source_.Log)
            EXPECT_TRUE(entry.starts_with(L"color ") || entry.starts_with(L"end ")) << ToUtf8(entry);
    }

    static std::vector<std::wstring> ColorNames(const TCompareSide& side)
    {
        std::vector<std::wstring> names;
        for (const TCompareColor& color : side.ColorDiffers)
            names.push_back(color.Name);
        return names;
    }
};

using Names = std::vector<std::wstring>;

}  // namespace

// Without a file every side is held to all names together; letter case makes
// no difference, and a colour only where two stores both give one.
TEST_F(CompareTest, EachSideLacksWhatAnotherHoldsAndSharedNamesCompareColours)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"Red;Only registry;"));
    Store(L"01", {L"red", L"Blue", L"Green"}, {Outlook(1), Outlook(8), std::nullopt});
    Store(L"02", {L"RED", L"Blue", L"Green", L"Own"}, {Outlook(2), Outlook(8), Outlook(5), Outlook(3)});
    Refresh();

    const TComparison comparison = CompareSides(state_, nullptr);
    ASSERT_EQ(comparison.Sides.size(), 3u);
    EXPECT_FALSE(comparison.Alike());
    const TCompareSide& registry = comparison.Sides[0];
    EXPECT_EQ(registry.Kind, TCompareSide::TKind::Registry);
    EXPECT_EQ(registry.Lacks, (Names{L"Blue", L"Green", L"Own"}));
    EXPECT_TRUE(registry.ColorDiffers.empty()) << "the registry keeps no colours";
    EXPECT_EQ(comparison.Sides[1].Lacks, (Names{L"Only registry", L"Own"}));
    EXPECT_TRUE(comparison.Sides[1].ColorDiffers.empty()) << "the first store giving a colour sets it";
    EXPECT_EQ(comparison.Sides[2].Lacks, (Names{L"Only registry"}));
    ASSERT_EQ(ColorNames(comparison.Sides[2]), (Names{L"RED"}));
    EXPECT_EQ(comparison.Sides[2].ColorDiffers[0].Held, Outlook(2));
    EXPECT_EQ(comparison.Sides[2].ColorDiffers[0].Reference, Outlook(1));

    // "Own" is in one store alone: its colour is never asked.
    EXPECT_EQ(source_.Logged(L"color "), (Names{L"color 01 Blue", L"color 01 Green", L"color 01 red",
                                               L"color 02 Blue", L"color 02 Green", L"color 02 RED"}));
    ExpectOnlyReads();
    EXPECT_EQ(GetValue(kKey14, L"MasterList")->bytes, Utf16Bytes(L"Red;Only registry;"));
}

// A file is the reference: the sides lack its names and differ from its
// colours, and the file lacks what the others hold beyond it. A store is asked
// a colour only for a name the file gives one.
TEST_F(CompareTest, AFileIsTheReferenceAndASideOfItsOwn)
{
    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"Red;Blue;Extra;"));
    TFakeList& list = Store(L"01", {L"Red", L"Blue"}, {Outlook(1), Outlook(4)});
    Refresh(false);

    const std::vector<TListFileEntry> file{{L"red", Outlook(1)}, {L"Blue", std::nullopt}, {L"New", Outlook(7)}};
    const TComparison comparison = CompareSides(state_, &file);
    ASSERT_EQ(comparison.Sides.size(), 3u);
    EXPECT_EQ(comparison.Sides[0].Lacks, (Names{L"New"}));
    EXPECT_EQ(comparison.Sides[1].Kind, TCompareSide::TKind::Store);
    EXPECT_EQ(comparison.Sides[1].Lacks, (Names{L"New"}));
    EXPECT_TRUE(comparison.Sides[1].ColorDiffers.empty());
    EXPECT_EQ(comparison.Sides[2].Kind, TCompareSide::TKind::File);
    EXPECT_EQ(comparison.Sides[2].Lacks, (Names{L"Extra"}));
    EXPECT_EQ(source_.Logged(L"color "), (Names{L"color 01 Red"}));

    list.Colors[0] = Outlook(9);
    Refresh(false);
    const TComparison recoloured = CompareSides(state_, &file);
    ASSERT_EQ(ColorNames(recoloured.Sides[1]), (Names{L"Red"}));
    EXPECT_EQ(recoloured.Sides[1].ColorDiffers[0].Reference, Outlook(1));
    ExpectOnlyReads();

    list.Names.push_back(L"extra");
    list.Colors.push_back(std::nullopt);
    Refresh(false);
    const std::vector<TListFileEntry> same{{L"Red", Outlook(9)}, {L"Blue", std::nullopt}, {L"Extra", std::nullopt}};
    EXPECT_TRUE(CompareSides(state_, &same).Alike());
}

// With a file, a store lacks and differs by exactly what import would add
// and recolour: both decide by one rule.
TEST_F(CompareTest, AgainstAFileAStoreDiffersByWhatImportWouldChange)
{
    std::mt19937 random(20261208);
    const Names pool{L"Red", L"blue", L"BLUE", L"Green", L"Own", L"x;y", L"Tea", L"tea "};
    for (int round = 0; round < 40; ++round) {
        state_ = TProgramState();
        state_.Sources = {&source_};
        state_.OutlookMajorVersion = "14";
        source_.Stores.clear();
        for (const wchar_t* key : {L"01", L"02"}) {
            Names names;
            std::vector<std::optional<TCategoryColor>> colors;
            for (const std::wstring& name : pool) {
                if (random() % 2 && TFakeList(names).Find(name) == -1) {
                    names.push_back(name);
                    colors.push_back(random() % 3 ? std::optional(Outlook(static_cast<int>(random() % 4))) : std::nullopt);
                }
            }
            Store(key, names, colors);
        }
        std::vector<TListFileEntry> file;
        TCategorySet inFile;
        for (const std::wstring& name : pool) {
            if (random() % 2 && inFile.IndexOf(name) == -1) {
                inFile.Add(name);
                file.push_back({name, random() % 3 ? std::optional(Outlook(static_cast<int>(random() % 4))) : std::nullopt});
            }
        }
        Refresh();

        const TComparison comparison = CompareSides(state_, &file);
        TImportOptions options;
        options.Colors = true;
        options.DryRun = true;
        TImportReport report;
        RunImport(state_, ui_, file, options, report);
        for (std::size_t s = 0; s < state_.Stores.size(); ++s) {
            const std::wstring key = state_.Stores[s]->Key();
            const TCompareSide& side = comparison.Sides[s + 1];
            Names adds;
            for (const TStoreAdds& toStore : report.Copy.Plan.ToStores)
                if (toStore.StoreKey == key)
                    adds = toStore.Names;
            EXPECT_EQ(side.Lacks, adds) << round;
            Names recolours;
            for (const TRecolourStep& step : report.Recoloured)
                if (step.StoreKey == key)
                    recolours.push_back(step.Name);
            EXPECT_EQ(ColorNames(side), recolours) << round;
        }
    }
}

// The window's counts: each side's lack of the other's names, for one store
// and for every store, and none before the stores were read.
TEST_F(CompareTest, TheWindowCountsWhatEachSideLacks)
{
    EXPECT_EQ(LackedCounts(state_).Registry, std::nullopt);
    EXPECT_EQ(RegistryLacksText(std::nullopt), L"");

    PutValue(kKey14, L"MasterList", REG_BINARY, Utf16Bytes(L"Red;Blue;Green;"));
    Store(L"01", {L"red", L"Own"});
    Store(L"02", {L"Red", L"Blue", L"Green"});
    Refresh(false);
    TLackedCounts counts = LackedCounts(state_);
    EXPECT_EQ(counts.Registry, 1u);
    EXPECT_EQ(counts.Store, 2u);
    EXPECT_EQ(RegistryLacksText(counts.Registry), L"1 name is not in the registry");
    EXPECT_EQ(StoreLacksText(counts.Store, false), L"2 names are not in this store");

    ChooseStore(state_, ui_, 1);
    counts = LackedCounts(state_);
    EXPECT_EQ(counts.Registry, 0u);
    EXPECT_EQ(counts.Store, 0u);
    EXPECT_EQ(RegistryLacksText(counts.Registry), L"All names are in the registry");
    EXPECT_EQ(StoreLacksText(counts.Store, false), L"All names are in this store");

    ChooseStore(state_, ui_, kAllStores);
    counts = LackedCounts(state_);
    EXPECT_EQ(counts.Registry, 1u);
    EXPECT_EQ(counts.Store, 2u) << "Blue and Green, which one store lacks";
    EXPECT_EQ(StoreLacksText(counts.Store, true), L"2 names are not in every store");
}
