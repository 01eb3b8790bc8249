#pragma once
// Everything the commands work on. One per run in the program; tests build a
// fresh one for each case.

#include "categories/CategorySet.h"
#include "registry/MasterList.h"
#include "stores/StoreSource.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

struct TProgramState {
    // The registry's side: every version's list together, as the last Refresh
    // read them.
    TCategorySet RegCategories;
    std::wstring RegistryMasterText;
    // Each version's list whose type Pellorin cannot read: its names are not
    // among RegCategories, and the user is told so.
    std::vector<TUnreadableMasterList> RegistryUnreadable;
    // The Outlook the front end connected to: its major version (the text
    // before the first "."; empty when there is none) decides which version's
    // list a copy writes; the full text is for display.
    std::string OutlookMajorVersion;
    std::wstring OutlookVersion;
    // Where the stores come from, in chooser order (the Outlook profile's
    // first); the front end owns them and keeps them for the state's life.
    std::vector<IStoreSource*> Sources;
    // What the store chooser offers in place of stores a source cannot yield
    // yet (Microsoft 365's sign-in before anyone signed in), each with its
    // source's place in Sources; kept current by whoever opened the sources.
    struct TPendingEntry {
        std::size_t Source = 0;
        std::wstring Text;
    };
    std::vector<TPendingEntry> PendingEntries;
    // A source the user set up (Microsoft 365, configured) wants the chooser
    // shown even where the stores alone would not call for it.
    bool ChooserWanted = false;
    // Every source's stores, as the last Refresh read them.
    std::vector<std::unique_ptr<ICategoryStore>> Stores;
    // The chosen entry (StoreChoice.h): an index into Stores, or kAllStores.
    int ChosenStore = 0;
    // The chosen entry's names: one store's, or every readable store's together.
    TCategorySet PstCategories;
    // True only after a read of the stores that finished: a copy decided from
    // part of a store would add names it already has.
    bool PstCategoriesComplete = false;
    bool AutoRefreshOnShow = true;
};
