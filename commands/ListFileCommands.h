#pragma once
// The category list file as a side of a copy. Export writes out the chosen
// entry's names and colours; import adds a file's names to the chosen stores
// as every copy adds (the copy lock, each store read again just before adding,
// a refused name not stopping the others), with the file's colours, and only
// when asked gives categories that already exist the file's colour too.

#include "commands/Commands.h"
#include "listfile/CategoryListFile.h"
#include "listfile/ListGains.h"

#include <string>
#include <vector>

struct TCategoryExport {
    std::vector<TListFileEntry> Entries;
    // Names holding U+0000, which a list file is refused for on reading: left
    // out, so that a backup can always be restored, and said.
    std::vector<std::wstring> LeftOut;
};

// The chosen entry's names in the memos' order, each with the colour its store
// gives it; with "All stores" each name once, with the colour of the first
// store in chooser order that holds it. Raises when the chosen entry was not
// read completely.
TCategoryExport ChosenCategoryEntries(TProgramState& state);

// The store's names as it holds them; with withColors, the colour of each
// that entries gives a colour, asked of the store now: only those, since
// each may cost a request.
std::vector<THeldCategory> HeldCategories(ICategoryStore& store, const std::vector<TListFileEntry>& entries,
                                          bool withColors);

struct TImportOptions {
    bool ToRegistry = false;  // the detected version's master list gains the names too
    bool Colors = false;      // categories that exist take the file's colour
    bool DryRun = false;
};

struct TImportReport {
    // As for every copy. Plan.ToStores holds the file's names each store lacks
    // in file order, with the file's colours; Plan.ToRegistry those the
    // registry lacks and can hold.
    TCopyReport Copy;
    // Each change of colour made, in order; with DryRun, each that would be.
    std::vector<TRecolourStep> Recoloured;
    // Each the store turned away, with its reason.
    std::vector<TRecolourStep> RecolourRefused;
};

// Adds the entries (a list file's, read and checked whole) to the chosen
// stores, and with ToRegistry to the registry by the append-only rule of every
// copy; names holding ";" are left out of the registry and said. Existing
// categories are never renamed; with Colors, those whose colour differs from
// the one the file gives take it. With DryRun it decides the same and stops
// there: no lock, no change, no Refresh.
void RunImport(TProgramState& state, ICommandUi& ui, const std::vector<TListFileEntry>& entries,
               const TImportOptions& options, TImportReport& report);
