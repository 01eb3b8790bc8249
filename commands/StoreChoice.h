#pragma once
// The store choice, decided here alone for the window and PellorinSync: the
// chooser's entries and their names, what "All stores" is, which stores a
// command works with, and whether the chosen entry can be copied.

#include "commands/ProgramState.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// TProgramState::ChosenStore for "All stores", the chooser's last entry.
inline constexpr int kAllStores = -1;

// Each store's entry name, in chooser order: its display name ("(no name)"
// for an empty one); one that repeats (ignoring case, as shown) followed by the
// smallest " (2)", " (3)"... that no other entry holds. No two entries are
// alike as the chooser shows them.
std::vector<std::wstring> StoreEntryNames(const TProgramState& state);
// The entry names a script can choose a store by: those of the stores that
// have a name (Outlook 2007 tells its stores apart by none).
std::vector<std::wstring> NamedStoreEntries(const TProgramState& state);
// The store that an entry name names, letter case ignored; the shown form of
// a name (ShownOnLine) names the store too.
std::optional<std::size_t> StoreOfEntryName(const TProgramState& state, std::wstring_view name);
// The store with this key.
std::optional<std::size_t> StoreWithKey(const TProgramState& state, std::wstring_view key);

// The chooser's entries: each store's, marked when it could not be read, then
// the state's pending entries (a sign-in), then "All stores" where two or more
// stores can be read; none where the window is as it was before stores: with
// fewer than two readable stores and no source that wants the chooser.
std::vector<std::wstring> StoreChooserEntries(const TProgramState& state);
// The chooser's entry that stands for the choice; -1 where no store was read.
int ChooserEntryOfChoice(const TProgramState& state);
// The choice a chooser's entry stands for: an index into the stores, or
// kAllStores; none for a pending entry, which leaves the choice as it is.
std::optional<int> ChoiceOfChooserEntry(const TProgramState& state, int entry);
// The source (an index into Sources) whose pending entry the chooser's entry is.
// Choosing it is the front end's business: the choice stays as it was.
std::optional<std::size_t> SourceOfChooserEntry(const TProgramState& state, int entry);

bool IsAllStores(const TProgramState& state);
// The stores a command works with: the chosen one, or every readable one.
std::vector<std::size_t> ChosenStores(const TProgramState& state);
// Whether a copy may go to or from the chosen entry: "All stores", or a
// store that could be read.
bool ChosenStoreReadable(const TProgramState& state);
// The chosen store, when it is one that could not be read.
std::optional<std::size_t> UnreadableChosenStore(const TProgramState& state);

// After the stores were read again: the entry chosen before (a store goes by
// its key), while the chooser still offers it; else the default store.
void KeepChoice(TProgramState& state, bool wasAll, const std::optional<std::wstring>& wasKey);
