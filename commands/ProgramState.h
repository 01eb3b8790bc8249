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
};
