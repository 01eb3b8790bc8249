#include "commands/ListFileCommands.h"

#include "listfile/ListGains.h"

#include <algorithm>

namespace {


// The file's names in file order: a list someone made in the order they want
// it told back.
TCopyPlan PlanImport(const TProgramState& state, const std::vector<TListFileEntry>& entries, bool toRegistry)
{
    TCopyPlan plan;
    TCategorySet lackedSomewhere;
    for (const std::size_t s : ChosenStores(state)) {
        TStoreAdds adds{state.Stores[s]->Key(), {}, {}, {}};
        for (TListFileEntry& entry : ListGains(entries, HeldCategories(*state.Stores[s], entries, false)).Lacks) {
            if (lackedSomewhere.IndexOf(entry.Name) == -1) {
                lackedSomewhere.Add(entry.Name);
                plan.ToStore.push_back(entry.Name);
            }
            adds.Names.push_back(std::move(entry.Name));
            adds.Givers.push_back(std::nullopt);
            adds.Colors.push_back(entry.Color);
        }
        if (!adds.Names.empty())
            plan.ToStores.push_back(std::move(adds));
    }
    if (toRegistry) {
        std::vector<std::wstring> names;
        for (const TListFileEntry& entry : entries)
            names.push_back(entry.Name);
        PlanRegistryAdds(state, names, plan);
    }
    PlanStoresLeftOut(state, plan);
    return plan;
}

// Each chosen store's categories whose colour differs from the one the file
// gives, asked of the store now: a name this import added too, since a store
// may not keep the colour it was given. With change, each is changed as it
// is found, and a store's refusal concerns that category alone.
void Recolour(TProgramState& state, ICommandUi& ui, const std::vector<TListFileEntry>& entries, bool change,
              TImportReport& report)
{
    const TCopyEnd end(state);
    for (const std::size_t s : ChosenStores(state)) {
        ICategoryStore& store = *state.Stores[s];
        const std::wstring key = store.Key();
        const bool reread = std::any_of(report.Copy.AddedToStores.begin(), report.Copy.AddedToStores.end(),
                                        [&](const TStoreAdds& adds) { return adds.StoreKey == key; });
        // Read again under the lock, as before adding: another program may
        // have added or removed a category since the Refresh.
        if (change && !reread)
            store.ReRead();
        const std::vector<THeldCategory> held = HeldCategories(store, entries, true);
        for (const TColorDiffers& differs : ListGains(entries, held).ColorDiffers) {
            const THeldCategory& category = held[differs.Held];
            TRecolourStep step{category.Name, key, *category.Color, differs.FileColor, {}};
            if (!change) {
                report.Recoloured.push_back(std::move(step));
                continue;
            }
            const TColorOutcome outcome = store.SetColor(category.Name, differs.FileColor);
            step.Refusal = outcome.Changed ? std::wstring() : outcome.Refusal;
            ui.RecolourStep(step);
            (outcome.Changed ? report.Recoloured : report.RecolourRefused).push_back(std::move(step));
        }
    }
}

}  // namespace

std::vector<THeldCategory> HeldCategories(ICategoryStore& store, const std::vector<TListFileEntry>& entries,
                                          bool withColors)
{
    std::vector<THeldCategory> held;
    const TCategorySet& names = store.Names();
    held.reserve(static_cast<std::size_t>(names.Count()));
    for (int i = 0; i < names.Count(); ++i)
        held.push_back({names.Get(i), std::nullopt, false});
    if (withColors) {
        for (const TListFileEntry& entry : entries) {
            const int at = names.IndexOf(entry.Name);
            if (entry.Color && at != -1 && !held[static_cast<std::size_t>(at)].Color)
                held[static_cast<std::size_t>(at)].Color = store.ColorOf(names.Get(at));
        }
    }
    return held;
}

TCategoryExport ChosenCategoryEntries(TProgramState& state)
{
    RequireChosenEntryRead(state);
    const TCopyEnd end(state);
    const std::vector<std::size_t> chosen = ChosenStores(state);
    TCategoryExport out;
    for (int i = 0; i < state.PstCategories.Count(); ++i) {
        const std::wstring& name = state.PstCategories.Get(i);
        if (name.find(L'\0') != std::wstring::npos) {
            out.LeftOut.push_back(name);
            continue;
        }
        TListFileEntry& entry = out.Entries.emplace_back();
        entry.Name = name;
        for (const std::size_t s : chosen) {
            ICategoryStore& store = *state.Stores[s];
            if (const int at = store.Names().IndexOf(entry.Name); at != -1) {
                entry.Color = store.ColorOf(store.Names().Get(at));
                break;
            }
        }
    }
    return out;
}

void RunImport(TProgramState& state, ICommandUi& ui, const std::vector<TListFileEntry>& entries,
               const TImportOptions& options, TImportReport& report)
{
    RequireChosenEntryRead(state);
    report.Copy.Plan = PlanImport(state, entries, options.ToRegistry);
    if (options.DryRun) {
        if (options.Colors)
            Recolour(state, ui, entries, false, report);
        return;
    }
    const auto recolour = [&] {
        if (options.Colors)
            Recolour(state, ui, entries, true, report);
    };
    CarryOutCopy(state, ui, report.Copy, true, options.ToRegistry, recolour);
}
