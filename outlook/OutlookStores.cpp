#include "outlook/OutlookStores.h"

#include "base/Platform.h"
#include "outlook/BusyWait.h"
#include "outlook/OutlookCategories.h"

#include <windows.h>

#include <exception>

namespace {

TAutomationValue StoresGet(TOutlookConnection& connection, const TAutomationValue& stores, std::wstring_view member,
                           TCallKind kind = TCallKind::Method, const TCallArgument& argument = {})
{
    return OutlookGet(connection, TOutlookObject::Stores, stores, member, kind, argument);
}

std::wstring StoreText(TOutlookConnection& connection, const TAutomationValue& store, std::wstring_view member)
{
    return AutomationText(OutlookGet(connection, TOutlookObject::Store, store, member));
}

void ReadEveryStore(TOutlookConnection& connection, const TAutomationValue& stores, std::int32_t count)
{
    const TAutomationValue defaultStore =
        OutlookGet(connection, TOutlookObject::Namespace, connection.OutlookNamespace, L"DefaultStore");
    const std::wstring defaultId = StoreText(connection, defaultStore, L"StoreID");

    std::vector<TOutlookStore> read(static_cast<std::size_t>(count));
    std::vector<std::exception_ptr> failures(read.size());
    for (std::int32_t i = 1; i <= count; ++i) {
        TOutlookStore& store = read[static_cast<std::size_t>(i) - 1];
        store.Object = StoresGet(connection, stores, L"Item", TCallKind::PropertyGet, i);
        store.DisplayName = StoreText(connection, store.Object, L"DisplayName");
        store.StoreId = StoreText(connection, store.Object, L"StoreID");
        // A public folder store, a mailbox without rights or a data file that
        // is gone fails here; the other stores are not its concern.
        try {
            ReadCategoryNames(connection, StoreCategoriesCollection(connection, store), store.Names);
        } catch (const EOleError& e) {
            // An Outlook that was closed, or stayed busy, is no fault of this store.
            if (const auto* code = dynamic_cast<const EOleSysError*>(&e);
                code && (IsDisconnectCode(code->ErrorCode) || IsBusyCode(code->ErrorCode)))
                throw;
            store.Readable = false;
            store.Error = e.Message();
            store.Names.Clear();
            failures[static_cast<std::size_t>(i) - 1] = std::current_exception();
        }
    }

    // Should no StoreID match, the first store stands in for the default one.
    std::size_t home = 0;
    for (std::size_t i = 0; i < read.size(); ++i) {
        // Hex digits, whose case Outlook may not keep from one object to the next.
        if (SameTextIgnoringCase(read[i].StoreId, defaultId)) {
            home = i;
            break;
        }
    }
    if (failures[home])
        std::rethrow_exception(failures[home]);
    read[home].IsDefault = true;
    connection.Stores.push_back(std::move(read[home]));
    for (std::size_t i = 0; i < read.size(); ++i) {
        if (i != home)
            connection.Stores.push_back(std::move(read[i]));
    }
}

}  // namespace

void ReadOutlookStores(TOutlookConnection& connection, TOnlyStoreNaming naming)
{
    connection.Stores.clear();
    std::optional<std::wstring> onlyName;
    if (KeepsListPerStore(connection.OutlookMajorVersion)) {
        TAutomationValue stores;
        std::int32_t count = 0;
        try {
            stores = OutlookGet(connection, TOutlookObject::Namespace, connection.OutlookNamespace, L"Stores");
            count = AutomationInt32(StoresGet(connection, stores, L"Count"));
        } catch (const EOleError&) {
            // An Outlook that does not tell its stores apart: its one list is all there is.
            count = 0;
        }
        if (count >= 2) {
            ReadEveryStore(connection, stores, count);
            return;
        }
        if (count == 1 && naming == TOnlyStoreNaming::Named) {
            const TAutomationValue only = StoresGet(connection, stores, L"Item", TCallKind::PropertyGet, 1);
            onlyName = StoreText(connection, only, L"DisplayName");
        }
    }
    TOutlookStore& only = connection.Stores.emplace_back();
    only.IsDefault = true;
    only.DisplayName = onlyName;
    ReadPSTCategories(connection, only.Names);
}
