#include "cli/SyncRun.h"

#include "cli/SyncOutput.h"
#include "commands/ProgramState.h"
#include "outlook/OleError.h"

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
    if (report.RegistryWritten) {
        result.AddedToRegistry = report.Plan.ToRegistry;
        result.NotCopiedToRegistry = report.Plan.NotToRegistry;
    }
}

}  // namespace

TSyncResult RunSync(const TSyncRequest& request, std::wstring_view progId)
{
    TSyncResult result;
    TProgramState state;
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
    try {
        BtnReadCategoriesClick(state, ui);
        if (request.Verb != TSyncVerb::List)
            RunCopy(state, ui, DirectionOf(request.Verb), report, request.DryRun);
    } catch (...) {
        FailWithCurrentException(result);
        // A failed write leaves names in the set that the registry does not hold.
        RefreshRegistryCategories(state, ui);
    }
    result.RegistryNames = Names(state.RegCategories);
    if (state.PstCategoriesComplete)
        result.StoreNames = Names(state.PstCategories);
    TakeReport(result, report, request.DryRun);
    return result;
}
