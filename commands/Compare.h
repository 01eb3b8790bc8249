#pragma once
// Where the lists differ, told without changing any: the registry, each chosen
// store and, when given, a list file. Each side's differences are decided by
// ListGains, as import and deploy decide what a target gains, so that "lacks"
// and "colour differs" mean the same everywhere. The window's counts under
// its lists come from here too.

#include "commands/Commands.h"
#include "listfile/CategoryListFile.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

struct TCompareColor {
    std::wstring Name;  // as the side holds it
    TCategoryColor Held;
    TCategoryColor Reference;
};

struct TCompareSide {
    enum class TKind { Registry, Store, File };
    TKind Kind = TKind::Registry;
    std::wstring EntryName;  // a store's, as the chooser names it
    // The reference's names this side lacks, in the reference's order.
    std::vector<std::wstring> Lacks;
    // Names this side holds with another colour than the reference's; only
    // where both give one (the registry keeps none).
    std::vector<TCompareColor> ColorDiffers;

    bool Alike() const { return Lacks.empty() && ColorDiffers.empty(); }
};

struct TComparison {
    // The registry, the chosen stores in chooser order, then the file.
    std::vector<TCompareSide> Sides;
    // With "All stores": the entry names of the stores left out, unread.
    std::vector<std::wstring> StoresLeftOut;

    bool Alike() const;
};

// Compares the sides as the last Refresh read them; with file, the file is the
// reference and a side too (lacking the names the others hold beyond it),
// else the reference is every side's names together, each name's colour that
// of the first store in chooser order giving it one. A store is asked a
// colour only for a name another side gives one, each at most once. Takes no
// lock and writes nothing. Raises when the chosen entry was not read completely.
TComparison CompareSides(TProgramState& state, const std::vector<TListFileEntry>* file);

// How many of the other side's names each side lacks, for the window's counts
// under its lists: the registry the chosen entry's names, the chosen store (or
// some store of "All stores") the registry's. Nothing for a side while the
// stores are not read completely.
struct TLackedCounts {
    std::optional<std::size_t> Registry;
    std::optional<std::size_t> Store;
};
TLackedCounts LackedCounts(const TProgramState& state);
// "1 name is not in the registry", "3 names are not in this store", "All names
// are in every store"; empty for no count.
std::wstring RegistryLacksText(std::optional<std::size_t> count);
std::wstring StoreLacksText(std::optional<std::size_t> count, bool allStores);
