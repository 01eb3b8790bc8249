#pragma once
// The window's own texts and resource ids, shared with Pellorin.exe's resources.
// Plain macros so that the resource compiler can read them too.

#include "base/ProductInfo.h"

// The web address, shown in one place of each window.
#define PELLORIN_WEB_ADDRESS L"https://pellorin.example.org/"

// Resource ids.
#define IDI_PELLORIN 1
#define IDB_SPLASH 101
