#pragma once
// A store's category collection (Outlook 2007 and later). Names cross to and
// from Outlook as UTF-16, unchanged. Collections are fetched afresh for each
// operation and held only during it.

#include "categories/CategorySet.h"
#include "outlook/OutlookConnection.h"

#include <cstdint>
#include <optional>
#include <string>

// Replaces names with the collection's names. On failure the names read before
// it stay, and every reference the read held is released.
void ReadCategoryNames(TOutlookConnection& connection, const TAutomationValue& collection, TCategorySet& names);
// The default store's names through Namespace.Categories, as Outlook 2007 knows them.
void ReadPSTCategories(TOutlookConnection& connection, TCategorySet& PstCategories);
// Namespace.Categories: the default store's collection.
TAutomationValue GetCategoriesCollection(TOutlookConnection& connection);
// A Store object's own collection, or the namespace's for no object: a store
// read through the namespace.
TAutomationValue StoreCategoriesCollection(TOutlookConnection& connection, const TAutomationValue& store);
// The colour the collection gives a name; none once it no longer holds the name.
std::optional<std::int32_t> CategoryColor(TOutlookConnection& connection, const TAutomationValue& collection,
                                          const std::wstring& name);
// Sets the Color of the collection's category of that name; false when the
// collection no longer holds it.
bool SetCategoryColor(TOutlookConnection& connection, const TAutomationValue& collection, const std::wstring& name,
                      std::int32_t color);
// Outlook's Add, with the colour when one is given (else Outlook picks one); no
// reference to the new category is taken.
void AddCategory(TOutlookConnection& connection, const TAutomationValue& collection, const std::wstring& name,
                 std::optional<std::int32_t> color = std::nullopt);
