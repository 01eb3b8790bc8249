#pragma once
// Everything the commands work on. One per run in the program; tests build a
// fresh one for each case.

#include "categories/CategorySet.h"
#include "outlook/OutlookConnection.h"

#include <string>

struct TProgramState : TOutlookConnection {
    TCategorySet RegCategories;
    TCategorySet PstCategories;
    std::wstring RegistryMasterText;
    bool AutoRefreshOnShow = true;
    // True only after a read of the store that finished: a copy decided from
    // part of the store would add names Outlook already has.
    bool PstCategoriesComplete = false;
};
