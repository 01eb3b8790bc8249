// Import and deploy decide what a target gains from a list file alike: over
// random lists and targets, a store and a mailbox holding the same names in
// the same colours gain the same names, in the same order and colours, and
// change the same colours.
#include "FakeStores.h"

#include "categories/CategorySet.h"
#include "commands/ListFileCommands.h"
#include "deploy/MailboxPlan.h"

#include "support/ScratchHkcu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

const wchar_t* const kVocabulary[] = {L"Red",   L"RED",      L"red",       L"Blue",          L"Green",
                                      L"Follow up", L"\x00C4pfel", L"\x00E4PFEL", L"Caf\x00E9", L"x",
                                      L"\x0416\x0451\x043B\x0442\x044B\x0439", L"\x4F1A\x8B70"};
const int kRounds = 200;

std::optional<TCategoryColor> RandomColor(std::mt19937& random, bool maybeNone)
{
    if (maybeNone && random() % 3 == 0)
        return std::nullopt;
    return TCategoryColor::FromOutlook(static_cast<std::int32_t>(random() % (TCategoryColor::kLastValue + 1)));
}

// Names once each, as a list file is checked to hold them and as a store holds them.
std::vector<std::pair<std::wstring, std::optional<TCategoryColor>>> RandomNames(std::mt19937& random, bool maybeNone)
{
    std::vector<std::pair<std::wstring, std::optional<TCategoryColor>>> names;
    TCategorySet seen;
    for (std::size_t n = random() % 8; n > 0; --n) {
        const std::wstring name = kVocabulary[random() % std::size(kVocabulary)];
        if (seen.IndexOf(name) != -1)
            continue;
        seen.Add(name);
        names.emplace_back(name, RandomColor(random, maybeNone));
    }
    return names;
}

}  // namespace

TEST(ListGainsProperty, ImportAndDeployPlanTheSameForTheSameTarget)
{
    std::mt19937 random(2024);
    for (int round = 0; round < kRounds && !HasFailure(); ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::vector<TListFileEntry> list;
        for (auto& [name, color] : RandomNames(random, true))
            list.push_back({name, color});
        const auto held = RandomNames(random, false);

        TFakeList storeList;
        std::vector<TGraphCategory> mailbox;
        for (const auto& [name, color] : held) {
            storeList.Names.push_back(name);
            storeList.Colors.push_back(color);
            mailbox.push_back({L"id-" + name, name, *color->GraphName()});
        }

        ScratchHkcu scratch;
        TFakeSource source;
        source.AddStore(L"00AA", L"Store", std::make_shared<TFakeList>(storeList));
        TProgramState state;
        state.Sources = {&source};
        state.OutlookMajorVersion = "14";
        TUnattendedUi ui;
        BtnReadCategoriesClick(state, ui);
        TImportReport imported;
        RunImport(state, ui, list, {false, true, true}, imported);

        const TMailboxPlan deployed = PlanMailbox(list, mailbox, true);

        std::vector<std::wstring> importAdds;
        std::vector<std::optional<TCategoryColor>> importAddColors;
        for (const TStoreAdds& adds : imported.Copy.Plan.ToStores) {
            importAdds.insert(importAdds.end(), adds.Names.begin(), adds.Names.end());
            importAddColors.insert(importAddColors.end(), adds.Colors.begin(), adds.Colors.end());
        }
        std::vector<std::wstring> deployAdds;
        std::vector<std::optional<TCategoryColor>> deployAddColors;
        for (const TNewCategory& category : deployed.Add) {
            deployAdds.push_back(category.DisplayName);
            deployAddColors.push_back(category.Color);
        }
        EXPECT_EQ(importAdds, deployAdds);
        EXPECT_EQ(importAddColors, deployAddColors);

        std::vector<std::pair<std::wstring, std::int32_t>> importRecolours, deployRecolours;
        for (const TRecolourStep& step : imported.Recoloured)
            importRecolours.emplace_back(step.Name, step.To.OutlookValue());
        for (std::size_t i = 0; i < deployed.Recolour.size(); ++i)
            deployRecolours.emplace_back(deployed.RecolourNames[i], deployed.Recolour[i].Color.OutlookValue());
        EXPECT_EQ(importRecolours, deployRecolours);

        // And what both decided is what the target lacks, and what it holds otherwise coloured.
        for (const TListFileEntry& entry : list) {
            const auto at = std::find_if(held.begin(), held.end(), [&](const auto& h) {
                return CompareCategoryNames(h.first, entry.Name) == 0;
            });
            const bool added = std::find(deployAdds.begin(), deployAdds.end(), entry.Name) != deployAdds.end();
            EXPECT_EQ(added, at == held.end()) << ToUtf8(entry.Name);
            const bool recoloured = at != held.end() && entry.Color && at->second != entry.Color;
            EXPECT_EQ(std::count_if(deployRecolours.begin(), deployRecolours.end(),
                                    [&](const auto& r) { return CompareCategoryNames(r.first, entry.Name) == 0; }),
                      recoloured ? 1 : 0)
                << ToUtf8(entry.Name);
        }
    }
}
