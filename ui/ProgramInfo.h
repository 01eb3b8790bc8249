#pragma once
// The program's own texts, shared by the windows and the version resource.
// Plain macros so that the resource compiler can read them too.

#define PELLORIN_VERSION_TEXT L"1.2"
#define PELLORIN_PRODUCT_NAME "Pellorin"
// The maker's notice and web address, each shown in one place of each window.
#define PELLORIN_MAKER_NOTICE L"\u00A9 2026 Pellorin authors"
#define PELLORIN_WEB_ADDRESS L"https://pellorin.example.org/"

// Resource ids.
#define IDI_PELLORIN 1
#define IDB_SPLASH 101
