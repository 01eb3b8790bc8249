#include "outlook/OutlookStores.h"

#include "base/Platform.h"
#include "outlook/BusyWait.h"
#include "outlook/OutlookCategories.h"

#include <windows.h>

#include <cwctype>
#include <exception>

namespace {

// Another program removed it after the store was read.
constexpr wchar_t kCategoryGone[] = L"The category is no longer in this store.";

}  // namespace

bool SameStoreId(std::wstring_view a, std::wstring_view b)
{
    return SameTextIgnoringCase(a, b);
}

std::size_t DefaultStorePosition(const std::vector<std::wstring>& storeIds, std::wstring_view defaultId)
{
    for (std::size_t i = 0; i < storeIds.size(); ++i) {
        if (SameStoreId(storeIds[i], defaultId))
            return i;
    }
    return 0;
}

TOutlookStore::TOutlookStore(TOutlookConnection& connection, TAutomationValue storeObject,
                             std::optional<std::wstring> displayName, std::wstring storeId)
    : connection_(connection), object_(std::move(storeObject)), displayName_(std::move(displayName)),
      storeId_(std::move(storeId))
{
}

std::wstring TOutlookStore::Key() const
{
    // One form for every read: the commands compare keys as they are.
    std::wstring key = storeId_;
    for (wchar_t& c : key)
        c = static_cast<wchar_t>(std::towupper(c));
    return key;
}

std::optional<TCategoryColor> TOutlookStore::ColorOf(const std::wstring& name)
{
    if (copy_->ColorList.IsEmpty())
        copy_->ColorList = StoreCategoriesCollection(connection_, object_);
    const std::optional<std::int32_t> color = CategoryColor(connection_, copy_->ColorList, name);
    if (!color)
        return std::nullopt;
    return TCategoryColor::FromOutlook(*color);
}

void TOutlookStore::ReRead()
{
    copy_->List = StoreCategoriesCollection(connection_, object_);
    TCategorySet names;
    ReadCategoryNames(connection_, copy_->List, names);
    names_ = std::move(names);
}

TAddOutcome TOutlookStore::Add(const std::wstring& name, std::optional<TCategoryColor> color)
{
    if (copy_->List.IsEmpty())
        copy_->List = StoreCategoriesCollection(connection_, object_);
    try {
        AddCategory(connection_, copy_->List, name,
                    color ? std::optional<std::int32_t>(color->OutlookValue()) : std::nullopt);
    } catch (const EOleException& e) {
        return {false, e.Message()};
    } catch (const EOleSysError& e) {
        // Outlook may have added the name before it went: the next read tells.
        // The code stays, so that the front ends know Outlook has gone.
        if (!IsDisconnectCode(e.ErrorCode))
            throw;
        throw EOleSysError(L"Outlook was closed while adding " + name + L"; it may or may not have been added",
                           e.ErrorCode);
    }
    names_.Add(name);
    return {true, {}};
}

TColorOutcome TOutlookStore::SetColor(const std::wstring& name, TCategoryColor color)
{
    if (copy_->ColorList.IsEmpty())
        copy_->ColorList = StoreCategoriesCollection(connection_, object_);
    try {
        if (!SetCategoryColor(connection_, copy_->ColorList, name, color.OutlookValue()))
            return {false, kCategoryGone};
    } catch (const EOleException& e) {
        return {false, e.Message()};
    }
    return {true, {}};
}

void TOutlookStore::EndCopy()
{
    copy_->Clear();
}

class TOutlookStoreReader {
public:
    static std::unique_ptr<TOutlookStore> Store(TOutlookConnection& connection, TAutomationValue object,
                                                std::optional<std::wstring> displayName, std::wstring storeId)
    {
        return std::make_unique<TOutlookStore>(connection, std::move(object), std::move(displayName),
                                               std::move(storeId));
    }

    // Each list is fetched for its read alone.
    static void ReadNames(TOutlookStore& store)
    {
        ReadCategoryNames(store.connection_, StoreCategoriesCollection(store.connection_, store.object_),
                          store.names_);
    }

    static void MarkUnreadable(TOutlookStore& store, std::wstring error)
    {
        store.readFailure_ = std::move(error);
        store.names_.Clear();
    }

    static void MarkDefault(TOutlookStore& store) { store.isDefault_ = true; }
};

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

std::vector<std::unique_ptr<TOutlookStore>> ReadEveryStore(TOutlookConnection& connection,
                                                           const TAutomationValue& stores, std::int32_t count)
{
    const TAutomationValue defaultStore =
        OutlookGet(connection, TOutlookObject::Namespace, connection.OutlookNamespace, L"DefaultStore");
    const std::wstring defaultId = StoreText(connection, defaultStore, L"StoreID");

    std::vector<std::unique_ptr<TOutlookStore>> read;
    std::vector<std::wstring> ids;
    std::vector<std::exception_ptr> failures(static_cast<std::size_t>(count));
    for (std::int32_t i = 1; i <= count; ++i) {
        TAutomationValue object = StoresGet(connection, stores, L"Item", TCallKind::PropertyGet, i);
        std::wstring displayName = StoreText(connection, object, L"DisplayName");
        std::wstring storeId = StoreText(connection, object, L"StoreID");
        ids.push_back(storeId);
        TOutlookStore& store = *read.emplace_back(
            TOutlookStoreReader::Store(connection, std::move(object), std::move(displayName), std::move(storeId)));
        // A public folder store, a mailbox without rights or a data file that
        // is gone fails here; the other stores are not its concern.
        try {
            TOutlookStoreReader::ReadNames(store);
        } catch (const EOleError& e) {
            // An Outlook that was closed, or stayed busy, is no fault of this store.
            if (const auto* code = dynamic_cast<const EOleSysError*>(&e);
                code && (IsDisconnectCode(code->ErrorCode) || IsBusyCode(code->ErrorCode)))
                throw;
            TOutlookStoreReader::MarkUnreadable(store, e.Message());
            failures[static_cast<std::size_t>(i) - 1] = std::current_exception();
        }
    }

    const std::size_t home = DefaultStorePosition(ids, defaultId);
    if (failures[home])
        std::rethrow_exception(failures[home]);
    TOutlookStoreReader::MarkDefault(*read[home]);
    std::vector<std::unique_ptr<TOutlookStore>> ordered;
    ordered.push_back(std::move(read[home]));
    for (std::size_t i = 0; i < read.size(); ++i) {
        if (i != home)
            ordered.push_back(std::move(read[i]));
    }
    return ordered;
}

}  // namespace

std::vector<std::unique_ptr<TOutlookStore>> ReadOutlookStores(TOutlookConnection& connection, TOnlyStoreNaming naming)
{
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
        if (count >= 2)
            return ReadEveryStore(connection, stores, count);
        if (count == 1 && naming == TOnlyStoreNaming::Named) {
            const TAutomationValue only = StoresGet(connection, stores, L"Item", TCallKind::PropertyGet, 1);
            onlyName = StoreText(connection, only, L"DisplayName");
        }
    }
    std::vector<std::unique_ptr<TOutlookStore>> read;
    read.push_back(TOutlookStoreReader::Store(connection, TAutomationValue(), std::move(onlyName), std::wstring()));
    TOutlookStoreReader::MarkDefault(*read.front());
    TOutlookStoreReader::ReadNames(*read.front());
    return read;
}

TOutlookProfile::TOutlookProfile(TOutlookConnection& connection, TOnlyStoreNaming naming, std::wstring progId)
    : connection_(connection), naming_(naming), progId_(std::move(progId))
{
}

void TOutlookProfile::Open()
{
    OpenOutlookConnection(connection_, progId_);
}

std::vector<std::unique_ptr<ICategoryStore>> TOutlookProfile::ReadStores()
{
    std::vector<std::unique_ptr<ICategoryStore>> stores;
    std::vector<std::weak_ptr<TOutlookCopyCollections>> yielded;
    for (std::unique_ptr<TOutlookStore>& store : ReadOutlookStores(connection_, naming_)) {
        yielded.push_back(store->CopyCollections());
        stores.push_back(std::move(store));
    }
    yielded_ = std::move(yielded);
    return stores;
}

void TOutlookProfile::EndCopy()
{
    for (const std::weak_ptr<TOutlookCopyCollections>& yielded : yielded_) {
        if (const std::shared_ptr<TOutlookCopyCollections> collections = yielded.lock())
            collections->Clear();
    }
}

void TOutlookProfile::Reconnect()
{
    CloseOutlookConnection(connection_);
    Open();
}
