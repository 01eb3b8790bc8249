#include "commands/ListFileCommands.h"

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
        for (const TListFileEntry& entry : entries) {
            if (state.Stores[s]->Names().IndexOf(entry.Name) != -1)
                continue;
            adds.Names.push_back(entry.Name);
            adds.Givers.push_back(std::nullopt);
            adds.Colors.push_back(entry.Color);
            if (lackedSomewhere.IndexOf(entry.Name) == -1) {
                lackedSomewhere.Add(entry.Name);
                plan.ToStore.push_back(entry.Name);
            }
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
// gives, asked of the store now. A name this import added came with the
// file's colour already. With change, each is changed as it is found, and a
// store's refusal concerns that category alone.
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
        TCategorySet justAdded;
        for (const std::wstring& name : NamesAddedTo(report.Copy.AddedToStores, store))
            justAdded.Add(name);
        for (const TListFileEntry& entry : entries) {
            const int at = store.Names().IndexOf(entry.Name);
            if (!entry.Color || at == -1 || justAdded.IndexOf(entry.Name) != -1)
                continue;
            const std::wstring held = store.Names().Get(at);
            const std::optional<TCategoryColor> current = store.ColorOf(held);
            if (!current || *current == *entry.Color)
                continue;
            TRecolourStep step{held, key, *current, *entry.Color, {}};
            if (!change) {
                report.Recoloured.push_back(std::move(step));
                continue;
            }
            const TColorOutcome outcome = store.SetColor(held, *entry.Color);
            step.Refusal = outcome.Changed ? std::wstring() : outcome.Refusal;
            ui.RecolourStep(step);
            (outcome.Changed ? report.Recoloured : report.RecolourRefused).push_back(std::move(step));
        }
    }
}

}  // namespace

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
