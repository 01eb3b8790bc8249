#pragma once
// The store's category collection (Outlook 2007 and later). Names cross to and
// from Outlook as UTF-16, unchanged.

#include "categories/CategorySet.h"
#include "outlook/AutomationValue.h"

#include <string>

// Replaces PstCategories with the collection's names. On failure the names read
// before it stay, and every reference the read held is released.
void ReadPSTCategories(const TAutomationValue& OutlookNamespace, TCategorySet& PstCategories);
// The collection, fetched afresh for each operation and held only during it.
TAutomationValue GetCategoriesCollection(const TAutomationValue& OutlookNamespace);
// Outlook's Add with the name only; no reference to the new category is taken.
void AddCategory(const TAutomationValue& collection, const std::wstring& name);
