#include "cli/SyncRun.h"

#include "base/Platform.h"
#include "cli/FileVerbs.h"
#include "cli/Microsoft365Verbs.h"
#include "cli/SyncOutput.h"
#include "commands/ProgramState.h"
#include "registry/MasterList.h"

#include <windows.h>

namespace {

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
    Fail(result, TSyncExit::Failed, CurrentExceptionMessage(), CurrentFailureHint(TFrontEnd::Console));
}

// A script has no Refresh to press: it is told which store and why.
void RequireReadableChoice(const TProgramState& state)
{
    if (const std::optional<std::size_t> store = UnreadableChosenStore(state)) {
        throw EException(L"The Outlook store " + StoreEntryNames(state)[*store] + L" could not be read: " +
                         state.Stores[*store]->Error());
    }
}

void TakeReport(TSyncResult& result, const TProgramState& state, const TCopyReport& report, bool dryRun)
{
    if (dryRun) {
        result.AddedToOutlook = report.Plan.ToStore;
        result.AddedToRegistry = report.Plan.ToRegistry;
        result.NotCopiedToRegistry = report.Plan.NotToRegistry;
        return;
    }
    result.AddedToOutlook = report.AddedToStore;
    for (const TRefusedName& refused : report.RefusedByStore) {
        result.RefusedByOutlook.push_back(
            {refused.Name, refused.Error, StoreWithKey(state, refused.StoreKey).value_or(state.Stores.size())});
    }
    if (!result.RefusedByOutlook.empty() && result.Exit == TSyncExit::Done)
        result.Exit = TSyncExit::Failed;
    result.AddedToRegistry = report.AddedToRegistry;
    if (report.RegistryWritten)
        result.NotCopiedToRegistry = report.Plan.NotToRegistry;
    if (report.RegistryLeftUnchanged) {
        result.Exit = TSyncExit::Failed;
        if (!result.Error)
            result.Error = ErrorBoxText(*report.RegistryLeftUnchanged);
    }
}

void TakeStores(TSyncResult& result, const TProgramState& state, const std::vector<TStoreAdds>& added)
{
    if (!state.PstCategoriesComplete)
        return;
    const std::vector<std::wstring> entries = StoreEntryNames(state);
    for (std::size_t i = 0; i < state.Stores.size(); ++i) {
        const ICategoryStore& store = *state.Stores[i];
        TSyncStore& out = result.Stores.emplace_back();
        if (store.DisplayName())
            out.Name = entries[i];
        out.Default = store.IsDefault();
        out.Readable = store.Readable();
        if (!store.Readable())
            out.Error = store.Error();
        else
            out.Names = Names(store.Names());
        out.AddedNames = NamesAddedTo(added, store);
    }
    result.UnreadableChoice = UnreadableChosenStore(state);
}

}  // namespace

TSyncResult RunSync(const TSyncRequest& request, const TSyncLineWriter& write, std::wstring_view progId)
{
    // A file that cannot be used changes nothing, and starts no Outlook either.
    TCategoryListFile importFile;
    TSyncResult result;
    const bool readsFile =
        request.Verb == TSyncVerb::Import || (request.Verb == TSyncVerb::Compare && !request.File.empty());
    if (readsFile && !ReadImportFile(request, result, importFile))
        return result;
    TProgramState state;
    // Released on every path, before the state's stores go.
    TProgramSources sources(state, TFrontEnd::Console, Microsoft365OverridesOf(request), std::wstring(progId));
    TakeOpening(result, sources.Open());
    RunSyncVerb(request, state, result, write, &importFile, sources.Mailbox());
    return result;
}

void TakeOpening(TSyncResult& result, const TOpening& opening)
{
    switch (opening.Kind) {
    case TOpening::TKind::Outlook:
        result.Connected = true;
        return;
    case TOpening::TKind::MailboxAlone: {
        TSyncResult fresh;
        fresh.File = std::move(result.File);
        fresh.Warnings = std::move(result.Warnings);
        result = std::move(fresh);
        result.WithoutOutlook = true;
        return;
    }
    case TOpening::TKind::Failed:
        Fail(result, TSyncExit::Failed, opening.Error, opening.Hint);
        return;
    }
}

namespace {

void RunVerb(const TSyncRequest& request, TProgramState& state, TSyncResult& result, ICommandUi& ui,
             const TCategoryListFile* importFile, TMailboxSource* mailbox)
{
    if (!result.Connected && !result.WithoutOutlook) {
        // The registry needs no Outlook: list reports it all the same.
        if (request.Verb == TSyncVerb::List) {
            RefreshRegistryCategories(state, ui);
            result.RegistryNames = Names(state.RegCategories);
        }
        return;
    }
    if (result.Connected) {
        result.OutlookVersion = state.OutlookVersion;
        result.OutlookMajorVersion = state.OutlookMajorVersion;
    }
    result.StoreInUse = result.WithoutOutlook || IsStoreInUse(state.OutlookMajorVersion);
    if (!result.StoreInUse) {
        if (request.Verb != TSyncVerb::List) {
            Fail(result, TSyncExit::StoreNotInUse, kStoreNotInUseText);
            return;
        }
        RefreshRegistryCategories(state, ui);
        result.RegistryNames = Names(state.RegCategories);
        return;
    }

    TImportReport importReport;
    TCopyReport& report = importReport.Copy;
    // A store asked for by a name no store has: no store's names stand for it.
    bool chosen = false;
    try {
        BtnReadCategoriesClick(state, ui);
        RequireSignIn(mailbox, result.WithoutOutlook, request.StoreName);
        if (request.AllStores)
            ChooseStore(state, ui, kAllStores);
        else if (request.StoreName)
            ChooseStore(state, ui, StoreNamed(state, *request.StoreName, mailbox));
        chosen = true;
        if (request.Verb == TSyncVerb::Export) {
            RunExport(request, state, result);
        } else if (request.Verb == TSyncVerb::Compare) {
            if (!request.AllStores)
                RequireReadableChoice(state);
            const bool withFile = importFile && !request.File.empty();
            result.Comparison = CompareSides(state, withFile ? &importFile->Entries : nullptr);
            // Something differs: a script that keeps lists in step has work to do.
            if (!result.Comparison->Alike())
                result.Exit = TSyncExit::Failed;
        } else if (request.Verb == TSyncVerb::List) {
            // The one store a list was asked to show is its whole answer: a
            // script that could not have it hears so, as a copy's would. Among
            // --all-stores, each store's line says it.
            if (!request.AllStores)
                RequireReadableChoice(state);
        } else {
            RequireReadableChoice(state);
            if (request.Verb == TSyncVerb::Import) {
                // Only the target knows which "?" stands for a letter an export lost.
                if (importFile)
                    for (std::wstring& warning :
                         MangledNameWarnings(request.File, importFile->Entries, Names(state.PstCategories)))
                        result.Warnings.push_back(std::move(warning));
                RunImport(state, ui, importFile ? importFile->Entries : std::vector<TListFileEntry>(),
                          ImportOptionsOf(request), importReport);
            }
            else
                RunCopy(state, ui, DirectionOf(request.Verb), report, request.DryRun);
        }
    } catch (...) {
        FailWithCurrentException(result);
        // A failed write leaves names in the set that the registry does not hold.
        RefreshRegistryCategories(state, ui);
    }
    result.RegistryNames = Names(state.RegCategories);
    if (state.PstCategoriesComplete && chosen && ChosenStoreReadable(state))
        result.StoreNames = Names(state.PstCategories);
    TakeReport(result, state, report, request.DryRun);
    TakeRecolours(result, state, importReport);
    TakeStores(result, state, request.DryRun ? report.Plan.ToStores : report.AddedToStores);
}

}  // namespace

void RunSyncVerb(const TSyncRequest& request, TProgramState& state, TSyncResult& result,
                 const TSyncLineWriter& write, const TCategoryListFile* importFile, TMailboxSource* mailbox)
{
    TSyncStepPrinter ui(request, state, request.Json ? TSyncLineWriter() : write);
    RunVerb(request, state, result, ui, importFile, mailbox);
    // A list left out is said, and no run that left one out succeeded.
    result.RegistryUnreadable = state.RegistryUnreadable;
    if (!result.RegistryUnreadable.empty() && result.Exit == TSyncExit::Done)
        result.Exit = TSyncExit::Failed;
}
