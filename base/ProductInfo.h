#pragma once
// What both programs say of themselves, in their windows, their output and their
// version resources. Plain macros so that the resource compiler reads them too.

#include "base/ProductVersion.h"

#define PELLORIN_PRODUCT_NAME "Pellorin"
#define PELLORIN_COMPANY_NAME "Pellorin authors"
// "\x", not "\u": the resource compiler knows only the first.
#define PELLORIN_MAKER_NOTICE L"\x00A9 2026 Pellorin authors"
