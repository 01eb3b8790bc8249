#include "cli/SyncRun.h"

#include "base/Platform.h"
#include "cli/FileVerbs.h"
#include "cli/Microsoft365Verbs.h"
#include "cli/SyncOutput.h"
#include "commands/ProgramState.h"
#include "outlook/OleError.h"
#include "outlook/OutlookStores.h"
#include "registry/MasterList.h"

#include <windows.h>

namespace {

// On every path, and in the window's order: the application, then its
// namespace; the stores go with the program state after it.
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
int StoreNamed(const TProgramState& state, const std::wstring& name, const TMailboxSource* mailbox)
{
    if (const std::optional<std::size_t> store = StoreOfEntryName(state, name))
        return static_cast<int>(*store);
    const std::wstring mailboxKey = mailbox ? mailbox->Microsoft365().MailboxKey() : std::wstring();
    if (!mailboxKey.empty() && SameTextIgnoringCase(name, L"m365")) {
        if (const std::optional<std::size_t> store = StoreWithKey(state, mailboxKey))
            return static_cast<int>(*store);
    }
    std::wstring known;
    for (const std::wstring& entry : NamedStoreEntries(state))
        known += (known.empty() ? L"\"" : L", \"") + entry + L"\"";
    std::wstring message = L"No Outlook store is named \"" + name + L"\".";
    if (!known.empty())
        message += L" The stores are: " + known + L".";
    throw EException(message);
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

// Call after the stores were read: a sign-in that failed shows only then.
void RequireSignIn(const TSyncRequest& request, const TSyncResult& result, const TMailboxSource* mailbox)
{
    if (!mailbox || !mailbox->PendingEntry())
        return;
    if (result.WithoutOutlook || (request.StoreName && NamesMicrosoft365(*request.StoreName)))
        throw EException(kSignInFirstText);
}

}  // namespace

TSyncResult RunSync(const TSyncRequest& request, const TSyncLineWriter& write, std::wstring_view progId)
{
    // A file that cannot be used changes nothing, and starts no Outlook either.
    TCategoryListFile importFile;
    TSyncResult fileResult;
    if (request.Verb == TSyncVerb::Import && !ReadImportFile(request, fileResult, importFile))
        return fileResult;
    // Before the stores, which send through it; nothing at all where it is not configured.
    TMicrosoft365Setup microsoft365(Microsoft365OverridesOf(request));
    TOutlookConnection connection;
    // A script may name the only store of the profile too.
    TOutlookProfile profile(connection, TOnlyStoreNaming::Named, std::wstring(progId));
    TProgramState state;
    state.Sources = {&profile};
    if (microsoft365.Source())
        state.Sources.push_back(microsoft365.Source());
    const TConnectionRelease release(connection);
    TSyncResult result = std::move(fileResult);
    try {
        profile.Open();
        result.Connected = true;
        state.OutlookMajorVersion = connection.OutlookMajorVersion;
        state.OutlookVersion = connection.OutlookVersion;
    } catch (...) {
        if (!StandInForMissingOutlook(state, result, microsoft365.Source()))
            FailWithCurrentException(result);
    }
    RunSyncVerb(request, state, result, write, &importFile, microsoft365.Source());
    return result;
}

bool StandInForMissingOutlook(TProgramState& state, TSyncResult& result, TMailboxSource* mailbox)
{
    // Any other failure (a busy Outlook, other rights) is Outlook's to report.
    if (!mailbox || !mailbox->WantsChooser() || !IsNotInstalledCode(CurrentOleErrorCode()))
        return false;
    // What the list file gave stays; Outlook's failure does not count.
    TSyncResult fresh;
    fresh.File = std::move(result.File);
    fresh.Warnings = std::move(result.Warnings);
    result = std::move(fresh);
    result.WithoutOutlook = true;
    state.Sources = {mailbox};
    state.OutlookVersion.clear();
    state.OutlookMajorVersion = MajorVersionWithoutOutlook();
    return true;
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
        RequireSignIn(request, result, mailbox);
        if (request.AllStores)
            ChooseStore(state, ui, kAllStores);
        else if (request.StoreName)
            ChooseStore(state, ui, StoreNamed(state, *request.StoreName, mailbox));
        chosen = true;
        if (request.Verb == TSyncVerb::Export) {
            RunExport(request, state, result);
        } else if (request.Verb != TSyncVerb::List) {
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
