#include "commands/StoreChoice.h"

#include "base/Platform.h"
#include "categories/ShownText.h"

#include <algorithm>
#include <utility>

namespace {

const wchar_t kAllStoresEntry[] = L"All stores";
const wchar_t kUnreadableSuffix[] = L" (could not be read)";
const wchar_t kNoNameEntry[] = L"(no name)";

std::size_t ReadableStoreCount(const TProgramState& state)
{
    return static_cast<std::size_t>(std::count_if(state.Stores.begin(), state.Stores.end(),
                                                  [](const auto& store) { return store->Readable(); }));
}

}  // namespace

std::vector<std::wstring> StoreEntryNames(const TProgramState& state)
{
    // Names go by their shown form: two names that differ only in characters
    // shown as U+FFFD would look like one entry, and --store takes the shown form.
    const auto same = [](std::wstring_view a, std::wstring_view b) {
        return SameTextIgnoringCase(ShownOnLine(a), ShownOnLine(b));
    };
    std::vector<std::wstring> entries;
    std::vector<bool> repeats;
    for (const auto& store : state.Stores) {
        const std::optional<std::wstring> name = store->DisplayName();
        entries.push_back(name && name->empty() ? std::wstring(kNoNameEntry) : name.value_or(L""));
        repeats.push_back(std::any_of(entries.begin(), entries.end() - 1,
                                      [&](const std::wstring& other) { return same(other, entries.back()); }));
    }
    // A repeat takes the first number no other entry holds, whether Outlook
    // gave that entry its name or the numbering did: a store really named
    // "Main (2)" keeps its name, and no name ever means two stores.
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!repeats[i])
            continue;
        const std::wstring base = entries[i];
        for (int number = 2;; ++number) {
            std::wstring numbered = base + L" (" + std::to_wstring(number) + L")";
            const bool taken = std::any_of(entries.begin(), entries.end(), [&](const std::wstring& other) {
                return &other != &entries[i] && same(other, numbered);
            });
            if (!taken) {
                entries[i] = std::move(numbered);
                break;
            }
        }
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
    const std::wstring shown = ShownOnLine(name);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (state.Stores[i]->DisplayName() && SameTextIgnoringCase(ShownOnLine(entries[i]), shown))
            return i;
    }
    return std::nullopt;
}

std::optional<std::size_t> StoreWithKey(const TProgramState& state, std::wstring_view key)
{
    for (std::size_t i = 0; i < state.Stores.size(); ++i) {
        if (state.Stores[i]->Key() == key)
            return i;
    }
    return std::nullopt;
}

std::vector<std::wstring> StoreChooserEntries(const TProgramState& state)
{
    std::vector<std::wstring> entries;
    const bool everyStore = ReadableStoreCount(state) >= 2;
    if (!everyStore && !state.ChooserWanted)
        return entries;
    const std::vector<std::wstring> names = StoreEntryNames(state);
    for (std::size_t i = 0; i < names.size(); ++i)
        entries.push_back(ShownOnLine(names[i]) + (state.Stores[i]->Readable() ? L"" : kUnreadableSuffix));
    for (const TProgramState::TPendingEntry& pending : state.PendingEntries)
        entries.push_back(ShownOnLine(pending.Text));
    if (everyStore)
        entries.push_back(kAllStoresEntry);
    return entries;
}

int ChooserEntryOfChoice(const TProgramState& state)
{
    if (IsAllStores(state))
        return static_cast<int>(state.Stores.size() + state.PendingEntries.size());
    // A pending entry must not stand chosen for no store: choosing it would go unheard.
    return static_cast<std::size_t>(state.ChosenStore) < state.Stores.size() || state.PendingEntries.empty()
               ? state.ChosenStore
               : -1;
}

std::optional<int> ChoiceOfChooserEntry(const TProgramState& state, int entry)
{
    if (entry == static_cast<int>(state.Stores.size() + state.PendingEntries.size()))
        return kAllStores;
    // No choice at all, rather than one to keep: a sign-in that is cancelled
    // must not have moved the next copy to another store.
    if (SourceOfChooserEntry(state, entry))
        return std::nullopt;
    return entry >= 0 && static_cast<std::size_t>(entry) < state.Stores.size() ? entry : 0;
}

std::optional<std::size_t> SourceOfChooserEntry(const TProgramState& state, int entry)
{
    const long long place = static_cast<long long>(entry) - static_cast<long long>(state.Stores.size());
    if (place < 0 || place >= static_cast<long long>(state.PendingEntries.size()))
        return std::nullopt;
    return state.PendingEntries[static_cast<std::size_t>(place)].Source;
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
