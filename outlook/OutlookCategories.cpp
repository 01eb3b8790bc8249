#include "outlook/OutlookCategories.h"

#include "outlook/LateBound.h"

void ReadCategoryNames(TOutlookConnection& connection, const TAutomationValue& collection, TCategorySet& names)
{
    names.Clear();
    // Read once: names Outlook adds or removes during the read go unnoticed.
    const std::int32_t count =
        AutomationInt32(OutlookGet(connection, TOutlookObject::Categories, collection, L"Count"));
    TAutomationValue category;
    for (std::int32_t i = 1; i <= count; ++i) {
        LateBoundCall(collection, L"Item", TCallKind::PropertyGet, i, &category,
                      {&connection.MemberIds, TOutlookObject::Categories});
        names.Add(AutomationText(OutlookGet(connection, TOutlookObject::Category, category, L"Name")));
    }
}

void ReadPSTCategories(TOutlookConnection& connection, TCategorySet& PstCategories)
{
    PstCategories.Clear();
    ReadCategoryNames(connection, GetCategoriesCollection(connection), PstCategories);
}

TAutomationValue GetCategoriesCollection(TOutlookConnection& connection)
{
    return OutlookGet(connection, TOutlookObject::Namespace, connection.OutlookNamespace, L"Categories");
}

TAutomationValue StoreCategoriesCollection(TOutlookConnection& connection, const TAutomationValue& store)
{
    if (store.IsEmpty())
        return GetCategoriesCollection(connection);
    return OutlookGet(connection, TOutlookObject::Store, store, L"Categories");
}

std::optional<std::int32_t> CategoryColor(TOutlookConnection& connection, const TAutomationValue& collection,
                                          const std::wstring& name)
{
    const TAutomationValue category = OutlookGet(connection, TOutlookObject::Categories, collection, L"Item",
                                                 TCallKind::PropertyGet, std::wstring_view(name));
    // Outlook answers Nothing for a name it does not hold.
    if (!category.Object())
        return std::nullopt;
    return AutomationInt32(OutlookGet(connection, TOutlookObject::Category, category, L"Color"));
}

bool SetCategoryColor(TOutlookConnection& connection, const TAutomationValue& collection, const std::wstring& name,
                      std::int32_t color)
{
    const TAutomationValue category = OutlookGet(connection, TOutlookObject::Categories, collection, L"Item",
                                                 TCallKind::PropertyGet, std::wstring_view(name));
    if (!category.Object())
        return false;
    LateBoundCall(category, L"Color", TCallKind::PropertyPut, color, nullptr,
                  {&connection.MemberIds, TOutlookObject::Category});
    return true;
}

void AddCategory(TOutlookConnection& connection, const TAutomationValue& collection, const std::wstring& name,
                 std::optional<std::int32_t> color)
{
    const TCallArgument arguments[] = {std::wstring_view(name), color ? TCallArgument(*color) : TCallArgument()};
    LateBoundInvoke(collection, L"Add", TCallKind::Method, std::span<const TCallArgument>(arguments, color ? 2 : 1),
                    nullptr, {&connection.MemberIds, TOutlookObject::Categories});
}
