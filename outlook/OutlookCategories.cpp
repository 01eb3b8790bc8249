#include "outlook/OutlookCategories.h"

#include "outlook/LateBound.h"

void ReadPSTCategories(const TAutomationValue& OutlookNamespace, TCategorySet& PstCategories)
{
    PstCategories.Clear();
    const TAutomationValue collection = GetCategoriesCollection(OutlookNamespace);
    // Read once: names Outlook adds or removes during the read go unnoticed.
    const std::int32_t count = AutomationInt32(LateBoundGet(collection, L"Count", TCallKind::Method));
    TAutomationValue category;
    for (std::int32_t i = 1; i <= count; ++i) {
        LateBoundCall(collection, L"Item", TCallKind::PropertyGet, i, &category);
        PstCategories.Add(AutomationText(LateBoundGet(category, L"Name", TCallKind::Method)));
    }
}

TAutomationValue GetCategoriesCollection(const TAutomationValue& OutlookNamespace)
{
    return LateBoundGet(OutlookNamespace, L"Categories", TCallKind::Method);
}

void AddCategory(const TAutomationValue& collection, const std::wstring& name)
{
    LateBoundCall(collection, L"Add", TCallKind::Method, std::wstring_view(name), nullptr);
}
