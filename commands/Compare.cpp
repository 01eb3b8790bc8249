#include "commands/Compare.h"

#include "commands/ListFileCommands.h"
#include "listfile/ListGains.h"

#include <algorithm>

namespace {

std::vector<THeldCategory> HeldNames(const TCategorySet& names)
{
    std::vector<THeldCategory> held;
    held.reserve(static_cast<std::size_t>(names.Count()));
    for (int i = 0; i < names.Count(); ++i)
        held.push_back({names.Get(i), std::nullopt, false});
    return held;
}

std::vector<TListFileEntry> EntriesOf(const TCategorySet& names)
{
    std::vector<TListFileEntry> entries;
    entries.reserve(static_cast<std::size_t>(names.Count()));
    for (int i = 0; i < names.Count(); ++i)
        entries.push_back({names.Get(i), std::nullopt, 0});
    return entries;
}

TCompareSide SideOf(TCompareSide::TKind kind, std::wstring entryName, const std::vector<TListFileEntry>& reference,
                    const std::vector<THeldCategory>& held)
{
    TCompareSide side;
    side.Kind = kind;
    side.EntryName = std::move(entryName);
    TListGains gains = ListGains(reference, held);
    for (TListFileEntry& entry : gains.Lacks)
        side.Lacks.push_back(std::move(entry.Name));
    for (const TColorDiffers& differs : gains.ColorDiffers) {
        const THeldCategory& category = held[differs.Held];
        // An unreadable colour has no value to show: it differs all the same.
        side.ColorDiffers.push_back(
            {category.Name, category.Color.value_or(TCategoryColor()), differs.FileColor});
    }
    return side;
}

// Without a file: a colour matters only for a name two stores hold, so only
// those are asked, once per store.
std::vector<std::vector<THeldCategory>> StoresHeld(TProgramState& state, const std::vector<std::size_t>& stores)
{
    TCategorySet seen;
    TCategorySet shared;
    for (const std::size_t s : stores) {
        const TCategorySet& names = state.Stores[s]->Names();
        for (int i = 0; i < names.Count(); ++i) {
            if (seen.IndexOf(names.Get(i)) != -1)
                shared.Add(names.Get(i));
            else
                seen.Add(names.Get(i));
        }
    }
    std::vector<std::vector<THeldCategory>> held;
    for (const std::size_t s : stores) {
        ICategoryStore& store = *state.Stores[s];
        std::vector<THeldCategory>& side = held.emplace_back(HeldNames(store.Names()));
        for (THeldCategory& category : side) {
            if (shared.IndexOf(category.Name) != -1)
                category.Color = store.ColorOf(category.Name);
        }
    }
    return held;
}

}  // namespace

bool TComparison::Alike() const
{
    return std::all_of(Sides.begin(), Sides.end(), [](const TCompareSide& side) { return side.Alike(); });
}

TComparison CompareSides(TProgramState& state, const std::vector<TListFileEntry>* file)
{
    RequireChosenEntryRead(state);
    const TCopyEnd end(state);
    const std::vector<std::size_t> stores = ChosenStores(state);
    const std::vector<std::wstring> entryNames = StoreEntryNames(state);

    std::vector<std::vector<THeldCategory>> held;
    std::vector<TListFileEntry> reference;
    if (file) {
        reference = *file;
        for (const std::size_t s : stores)
            held.push_back(HeldCategories(*state.Stores[s], reference, true));
    } else {
        held = StoresHeld(state, stores);
        TCategorySet names = state.RegCategories;
        for (const std::vector<THeldCategory>& side : held)
            for (const THeldCategory& category : side)
                names.Add(category.Name);
        reference = EntriesOf(names);
        for (TListFileEntry& entry : reference) {
            for (const std::vector<THeldCategory>& side : held) {
                const auto found = std::find_if(side.begin(), side.end(), [&](const THeldCategory& category) {
                    return CompareCategoryNames(category.Name, entry.Name) == 0;
                });
                if (found != side.end() && found->Color) {
                    entry.Color = found->Color;
                    break;
                }
            }
        }
    }

    TComparison comparison;
    comparison.Sides.push_back(
        SideOf(TCompareSide::TKind::Registry, {}, reference, HeldNames(state.RegCategories)));
    for (std::size_t i = 0; i < stores.size(); ++i)
        comparison.Sides.push_back(SideOf(TCompareSide::TKind::Store, entryNames[stores[i]], reference, held[i]));
    if (file) {
        // The file as a side: what the others hold beyond it, colours being
        // the reference's already.
        TCategorySet beyond = state.RegCategories;
        for (const std::vector<THeldCategory>& side : held)
            for (const THeldCategory& category : side)
                beyond.Add(category.Name);
        std::vector<THeldCategory> fileHeld;
        for (const TListFileEntry& entry : *file)
            fileHeld.push_back({entry.Name, std::nullopt, false});
        comparison.Sides.push_back(SideOf(TCompareSide::TKind::File, {}, EntriesOf(beyond), fileHeld));
    }
    TCopyPlan leftOut;
    PlanStoresLeftOut(state, leftOut);
    comparison.StoresLeftOut = std::move(leftOut.UnreadableStores);
    return comparison;
}

TLackedCounts LackedCounts(const TProgramState& state)
{
    TLackedCounts counts;
    if (!state.PstCategoriesComplete || !ChosenStoreReadable(state))
        return counts;
    counts.Registry = ListGains(EntriesOf(state.PstCategories), HeldNames(state.RegCategories)).Lacks.size();
    const std::vector<TListFileEntry> registry = EntriesOf(state.RegCategories);
    TCategorySet lacked;
    for (const std::size_t s : ChosenStores(state))
        for (const TListFileEntry& entry : ListGains(registry, HeldNames(state.Stores[s]->Names())).Lacks)
            lacked.Add(entry.Name);
    counts.Store = static_cast<std::size_t>(lacked.Count());
    return counts;
}

namespace {

std::wstring LacksText(std::optional<std::size_t> count, const wchar_t* where)
{
    if (!count)
        return {};
    if (*count == 0)
        return std::wstring(L"All names are ") + where;
    if (*count == 1)
        return std::wstring(L"1 name is not ") + where;
    return std::to_wstring(*count) + L" names are not " + where;
}

}  // namespace

std::wstring RegistryLacksText(std::optional<std::size_t> count)
{
    return LacksText(count, L"in the registry");
}

std::wstring StoreLacksText(std::optional<std::size_t> count, bool allStores)
{
    return LacksText(count, allStores ? L"in every store" : L"in this store");
}
