#include "cli/SyncRun.h"

#include "base/Platform.h"
#include "cli/SyncOutput.h"
#include "commands/ProgramState.h"
#include "outlook/OleError.h"

#include <windows.h>

namespace {

// On every path, and in the window's order: the application, then its namespace.
class TConnectionRelease {
public:
    explicit TConnectionRelease(TOutlookConnection& connection) : connection_(connection) {}
    ~TConnectionRelease() { CloseOutlookConnection(connection_); }
    TConnectionRelease(const TConnectionRelease&) = delete;
    TConnectionRelease& operator=(const TConnectionRelease&) = delete;

private:
    TOutlookConnection& connection_;
};

TCopyDirection DirectionOf(TSyncVerb verb)
{
    switch (verb) {
    case TSyncVerb::ToOutlook:
        return TCopyDirection::RegistryToStore;
    case TSyncVerb::ToRegistry:
        return TCopyDirection::StoreToRegistry;
    default:
        return TCopyDirection::Both;
    }
}

std::vector<std::wstring> Names(const TCategorySet& set)
{
    std::vector<std::wstring> names;
    names.reserve(static_cast<std::size_t>(set.Count()));
    for (int i = 0; i < set.Count(); ++i)
        names.push_back(set.Get(i));
    return names;
}

void Fail(TSyncResult& result, TSyncExit exit, std::wstring_view message, std::wstring hint = {})
{
    result.Exit = exit;
    result.Error = ErrorBoxText(OneLineMessage(message));
    result.ErrorHint = std::move(hint);
}

// Call from a catch block only.
void FailWithCurrentException(TSyncResult& result)
{
    Fail(result, TSyncExit::Failed, CurrentExceptionMessage(), CurrentExceptionHint(THintReader::Console));
}

// Raises the message PellorinSync gives for a name no store has.
int StoreNamed(const TProgramState& state, const std::wstring& name)
{
    const std::vector<std::wstring> entries = StoreEntryNames(state);
    std::wstring known;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!state.Stores[i].DisplayName)
            continue;
        if (SameTextIgnoringCase(entries[i], name))
            return static_cast<int>(i);
        known += (known.empty() ? L"" : L", ") + entries[i];
    }
    std::wstring message = L"No Outlook store is named \"" + name + L"\".";
    if (!known.empty())
        message += L" The stores are: " + known + L".";
    throw EException(message);
}

void TakeReport(TSyncResult& result, const TCopyReport& report, bool dryRun)
{
    if (dryRun) {
        result.AddedToOutlook = report.Plan.ToStore;
        result.AddedToRegistry = report.Plan.ToRegistry;
        result.NotCopiedToRegistry = report.Plan.NotToRegistry;
        return;
    }
    result.AddedToOutlook = report.AddedToStore;
    result.RefusedByOutlook = report.RefusedByStore;
    if (!result.RefusedByOutlook.empty() && result.Exit == TSyncExit::Done)
        result.Exit = TSyncExit::Failed;
    result.AddedToRegistry = report.AddedToRegistry;
    if (report.RegistryWritten)
        result.NotCopiedToRegistry = report.Plan.NotToRegistry;
}

// What was added to each store goes by its StoreID: a copy's closing Refresh
// reads the stores afresh.
void TakeStores(TSyncResult& result, const TProgramState& state, const std::vector<std::wstring>& idsBeforeCopy,
                const std::vector<TStoreAdds>& added)
{
    if (!state.PstCategoriesComplete)
        return;
    const std::vector<std::wstring> entries = StoreEntryNames(state);
    for (std::size_t i = 0; i < state.Stores.size(); ++i) {
        const TOutlookStore& store = state.Stores[i];
        TSyncStore& out = result.Stores.emplace_back();
        if (store.DisplayName)
            out.Name = entries[i];
        out.Default = store.IsDefault;
        out.Readable = store.Readable;
        if (!store.Readable)
            out.Error = store.Error;
        else
            out.Names = Names(store.Names);
        for (const TStoreAdds& adds : added) {
            if (adds.Store < idsBeforeCopy.size() && idsBeforeCopy[adds.Store] == store.StoreId)
                out.AddedNames.insert(out.AddedNames.end(), adds.Names.begin(), adds.Names.end());
        }
    }
    result.ChosenStore = state.ChosenStore;
}

}  // namespace

TSyncResult RunSync(const TSyncRequest& request, std::wstring_view progId)
{
    TSyncResult result;
    TProgramState state;
    // A script may name the only store of the profile too.
    state.OnlyStoreNaming = TOnlyStoreNaming::Named;
    const TConnectionRelease release(state);
    // The names the registry cannot hold are printed from the report.
    TUnattendedUi ui;
    try {
        OpenOutlookConnection(state, progId);
    } catch (...) {
        FailWithCurrentException(result);
        // The registry needs no Outlook: list reports it all the same.
        if (request.Verb == TSyncVerb::List) {
            RefreshRegistryCategories(state, ui);
            result.RegistryNames = Names(state.RegCategories);
        }
        return result;
    }
    result.Connected = true;
    result.OutlookVersion = state.OutlookVersion;
    result.OutlookMajorVersion = state.OutlookMajorVersion;
    result.StoreInUse = IsStoreInUse(state.OutlookMajorVersion);
    if (!result.StoreInUse) {
        if (request.Verb != TSyncVerb::List) {
            Fail(result, TSyncExit::StoreNotInUse, kStoreNotInUseText);
            return result;
        }
        RefreshRegistryCategories(state, ui);
        result.RegistryNames = Names(state.RegCategories);
        return result;
    }

    TCopyReport report;
    std::vector<std::wstring> storeIds;
    // A store asked for by a name no store has: no store's names stand for it.
    bool chosen = false;
    try {
        BtnReadCategoriesClick(state, ui);
        if (request.AllStores)
            ChooseStore(state, ui, kAllStores);
        else if (request.StoreName)
            ChooseStore(state, ui, StoreNamed(state, *request.StoreName));
        chosen = true;
        for (const TOutlookStore& store : state.Stores)
            storeIds.push_back(store.StoreId);
        if (request.Verb != TSyncVerb::List)
            RunCopy(state, ui, DirectionOf(request.Verb), report, request.DryRun);
    } catch (...) {
        FailWithCurrentException(result);
        // A failed write leaves names in the set that the registry does not hold.
        RefreshRegistryCategories(state, ui);
    }
    result.RegistryNames = Names(state.RegCategories);
    const bool chosenRead = state.ChosenStore == kAllStores ||
                            (static_cast<std::size_t>(state.ChosenStore) < state.Stores.size() &&
                             state.Stores[static_cast<std::size_t>(state.ChosenStore)].Readable);
    if (state.PstCategoriesComplete && chosen && chosenRead)
        result.StoreNames = Names(state.PstCategories);
    TakeReport(result, report, request.DryRun);
    TakeStores(result, state, storeIds, request.DryRun ? report.Plan.ToStores : report.AddedToStores);
    // The closing Refresh read the stores afresh: a refused name keeps its store by StoreID.
    for (TRefusedName& refused : result.RefusedByOutlook) {
        const std::size_t before = refused.Store;
        refused.Store = state.Stores.size();
        for (std::size_t i = 0; before < storeIds.size() && i < state.Stores.size(); ++i) {
            if (state.Stores[i].StoreId == storeIds[before])
                refused.Store = i;
        }
    }
    return result;
}
