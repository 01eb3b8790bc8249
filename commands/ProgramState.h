#pragma once
// Everything the commands work on. One per run in the program; tests build a
// fresh one for each case.

#include "categories/CategorySet.h"
#include "outlook/OutlookConnection.h"
#include "outlook/OutlookStores.h"

#include <string>

// The chooser's last entry, after the stores.
inline constexpr int kAllStores = -1;

struct TProgramState : TOutlookConnection {
    TCategorySet RegCategories;
    // The chosen entry's names: one store's, or every readable store's together.
    TCategorySet PstCategories;
    std::wstring RegistryMasterText;
    bool AutoRefreshOnShow = true;
    // True only after a read of the store that finished: a copy decided from
    // part of the store would add names Outlook already has.
    bool PstCategoriesComplete = false;
    // An index into Stores, or kAllStores.
    int ChosenStore = 0;
    TOnlyStoreNaming OnlyStoreNaming = TOnlyStoreNaming::Unnamed;
};
