#include "commands/StoreChoice.h"

#include "base/Platform.h"
#include "categories/ShownText.h"

#include <algorithm>
#include <utility>

namespace {

const wchar_t kAllStoresEntry[] = L"All stores";
const wchar_t kUnreadableSuffix[] = L" (could not be read)";

std::size_t ReadableStoreCount(const TProgramState& state)
{
    return static_cast<std::size_t>(std::count_if(state.Stores.begin(), state.Stores.end(),
                                                  [](const auto& store) { return store->Readable(); }));
}

// Each source's pending entry with the source's place among the sources.
std::vector<std::pair<std::size_t, std::wstring>> PendingEntries(const TProgramState& state)
{
    std::vector<std::pair<std::size_t, std::wstring>> pending;
    for (std::size_t i = 0; i < state.Sources.size(); ++i) {
        if (std::optional<std::wstring> entry = state.Sources[i]->PendingEntry())
            pending.emplace_back(i, std::move(*entry));
    }
    return pending;
}

bool SourceWantsChooser(const TProgramState& state)
{
    return std::any_of(state.Sources.begin(), state.Sources.end(),
                       [](const IStoreSource* source) { return source->WantsChooser(); });
}

}  // namespace

std::vector<std::wstring> StoreEntryNames(const TProgramState& state)
{
    std::vector<std::wstring> entries;
    for (std::size_t i = 0; i < state.Stores.size(); ++i) {
        const std::wstring name = state.Stores[i]->DisplayName().value_or(L"");
        int seen = 1;
        for (std::size_t j = 0; j < i; ++j)
            seen += SameTextIgnoringCase(state.Stores[j]->DisplayName().value_or(L""), name);
        entries.push_back(seen == 1 ? name : name + L" (" + std::to_wstring(seen) + L")");
    }
    return entries;
}

std::vector<std::wstring> NamedStoreEntries(const TProgramState& state)
{
    const std::vector<std::wstring> entries = StoreEntryNames(state);
    std::vector<std::wstring> named;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (state.Stores[i]->DisplayName())
            named.push_back(entries[i]);
    }
    return named;
}

std::optional<std::size_t> StoreOfEntryName(const TProgramState& state, std::wstring_view name)
{
    const std::vector<std::wstring> entries = StoreEntryNames(state);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (state.Stores[i]->DisplayName() && SameTextIgnoringCase(entries[i], name))
            return i;
    }
    return std::nullopt;
}

std::optional<std::size_t> StoreWithKey(const TProgramState& state, std::wstring_view key)
{
    for (std::size_t i = 0; i < state.Stores.size(); ++i) {
        if (state.Stores[i]->HasKey(key))
            return i;
    }
    return std::nullopt;
}

std::vector<std::wstring> StoreChooserEntries(const TProgramState& state)
{
    std::vector<std::wstring> entries;
    const bool everyStore = ReadableStoreCount(state) >= 2;
    if (!everyStore && !SourceWantsChooser(state))
        return entries;
    const std::vector<std::wstring> names = StoreEntryNames(state);
    for (std::size_t i = 0; i < names.size(); ++i)
        entries.push_back(ShownOnLine(names[i]) + (state.Stores[i]->Readable() ? L"" : kUnreadableSuffix));
    for (const auto& pending : PendingEntries(state))
        entries.push_back(ShownOnLine(pending.second));
    if (everyStore)
        entries.push_back(kAllStoresEntry);
    return entries;
}

int ChooserEntryOfChoice(const TProgramState& state)
{
    if (IsAllStores(state))
        return static_cast<int>(state.Stores.size() + PendingEntries(state).size());
    // A pending entry must not stand chosen for no store: choosing it would go unheard.
    return static_cast<std::size_t>(state.ChosenStore) < state.Stores.size() || PendingEntries(state).empty()
               ? state.ChosenStore
               : -1;
}

int ChoiceOfChooserEntry(const TProgramState& state, int entry)
{
    const std::size_t pending = PendingEntries(state).size();
    if (entry == static_cast<int>(state.Stores.size() + pending))
        return kAllStores;
    if (SourceOfChooserEntry(state, entry))
        return state.ChosenStore;
    return entry >= 0 && static_cast<std::size_t>(entry) < state.Stores.size() ? entry : 0;
}

std::optional<std::size_t> SourceOfChooserEntry(const TProgramState& state, int entry)
{
    const std::vector<std::pair<std::size_t, std::wstring>> pending = PendingEntries(state);
    const long long place = static_cast<long long>(entry) - static_cast<long long>(state.Stores.size());
    if (place < 0 || place >= static_cast<long long>(pending.size()))
        return std::nullopt;
    return pending[static_cast<std::size_t>(place)].first;
}

bool IsAllStores(const TProgramState& state)
{
    return state.ChosenStore == kAllStores;
}

std::vector<std::size_t> ChosenStores(const TProgramState& state)
{
    std::vector<std::size_t> chosen;
    for (std::size_t i = 0; i < state.Stores.size(); ++i) {
        if (IsAllStores(state) ? state.Stores[i]->Readable() : static_cast<int>(i) == state.ChosenStore)
            chosen.push_back(i);
    }
    return chosen;
}

bool ChosenStoreReadable(const TProgramState& state)
{
    return IsAllStores(state) || (static_cast<std::size_t>(state.ChosenStore) < state.Stores.size() &&
                                  state.Stores[static_cast<std::size_t>(state.ChosenStore)]->Readable());
}

std::optional<std::size_t> UnreadableChosenStore(const TProgramState& state)
{
    const auto chosen = static_cast<std::size_t>(state.ChosenStore);
    if (IsAllStores(state) || chosen >= state.Stores.size() || state.Stores[chosen]->Readable())
        return std::nullopt;
    return chosen;
}

void KeepChoice(TProgramState& state, bool wasAll, const std::optional<std::wstring>& wasKey)
{
    state.ChosenStore = 0;
    if (ReadableStoreCount(state) < 2)
        return;
    if (wasAll) {
        state.ChosenStore = kAllStores;
        return;
    }
    if (!wasKey)
        return;
    if (const std::optional<std::size_t> found = StoreWithKey(state, *wasKey))
        state.ChosenStore = static_cast<int>(*found);
}
