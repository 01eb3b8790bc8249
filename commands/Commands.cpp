#include "commands/Commands.h"

#include "base/Errors.h"
#include "base/Platform.h"
#include "base/UserMutex.h"
#include "base/WaitLimit.h"
#include "categories/MainUnit.h"
#include "categories/MasterListText.h"
#include "categories/ShownText.h"
#include "registry/MasterList.h"

#include <windows.h>

#include <algorithm>

namespace {

const wchar_t kConfirmToStore[] = L"Do you want to add all categories from the registry into the PST?";
const wchar_t kConfirmToRegistry[] = L"Do you want to add all categories from the PST into the registry?";
const wchar_t kConfirmBoth[] = L"Do you want to synchronize all categories between registry and PST?";
const wchar_t kConfirmToEveryStore[] =
    L"Do you want to add all categories from the registry into every Outlook store?";
const wchar_t kConfirmFromEveryStore[] =
    L"Do you want to add all categories from every Outlook store into the registry?";
const wchar_t kConfirmBothEveryStore[] =
    L"Do you want to synchronize all categories between registry and every Outlook store?";
const wchar_t kStoreNotRead[] =
    L"The categories in Outlook could not be read completely. Press Refresh, then try again.";
const wchar_t kAnotherCopyRunning[] =
    L"Another copy of categories is running for this user. Try again when it has finished.";

bool CopiesToStore(TCopyDirection direction)
{
    return direction != TCopyDirection::StoreToRegistry;
}

bool CopiesToRegistry(TCopyDirection direction)
{
    return direction != TCopyDirection::RegistryToStore;
}

const wchar_t* ConfirmationText(TCopyDirection direction, bool everyStore)
{
    switch (direction) {
    case TCopyDirection::RegistryToStore:
        return everyStore ? kConfirmToEveryStore : kConfirmToStore;
    case TCopyDirection::StoreToRegistry:
        return everyStore ? kConfirmFromEveryStore : kConfirmToRegistry;
    default:
        return everyStore ? kConfirmBothEveryStore : kConfirmBoth;
    }
}

void TakeChosenNames(TProgramState& state)
{
    state.PstCategories.Clear();
    for (const std::size_t i : ChosenStores(state)) {
        const TCategorySet& names = state.Stores[i]->Names();
        for (int j = 0; j < names.Count(); ++j)
            state.PstCategories.Add(names.Get(j));
    }
}

std::optional<std::wstring> GiverOf(const TProgramState& state, std::size_t target, const std::wstring& name)
{
    for (std::size_t i = 0; i < state.Stores.size(); ++i) {
        const ICategoryStore& store = *state.Stores[i];
        if (i != target && store.Readable() && store.Names().IndexOf(name) != -1)
            return store.Key();
    }
    return std::nullopt;
}

// The list a copy would write is the detected version's own.
bool DetectedListUnreadable(const TProgramState& state)
{
    const std::string version = state.OutlookMajorVersion + ".0";
    return std::any_of(state.RegistryUnreadable.begin(), state.RegistryUnreadable.end(),
                       [&](const TUnreadableMasterList& list) { return list.Version == version; });
}

// Refresh without its boxes: a copy's closing Refresh runs under the hourglass,
// and the copy tells of what it met once it has ended.
void ReadBothSides(TProgramState& state, ICommandUi& ui);


// Store pass. Each store's list is read again just before adding to it: a list
// that two stores share (IMAP) must not receive a name twice, and a name that
// someone added since the Refresh is not added again. What is reported is what
// was really added. A name that reached a store joins its names, so that a
// command repeated after a failed Add does not add it a second time. A name
// the store refuses concerns that name alone; any other failure stops the copy.
void AddToStores(TProgramState& state, ICommandUi& ui, const std::vector<TStoreAdds>& plan, TCopyReport& report)
{
    const TCopyEnd end(state);
    TCategorySet addedAnywhere;
    for (const TStoreAdds& planned : plan) {
        ICategoryStore& store = *state.Stores.at(StoreWithKey(state, planned.StoreKey).value());
        store.ReRead();
        TStoreAdds& added = report.AddedToStores.emplace_back(TStoreAdds{planned.StoreKey, {}, {}, {}});
        std::vector<std::wstring> names;
        std::vector<std::optional<std::wstring>> givers;
        std::vector<std::optional<TCategoryColor>> colors;
        for (std::size_t i = 0; i < planned.Names.size(); ++i) {
            if (store.Names().IndexOf(planned.Names[i]) == -1) {
                names.push_back(planned.Names[i]);
                givers.push_back(planned.Givers[i]);
                colors.push_back(i < planned.Colors.size() ? planned.Colors[i] : std::nullopt);
            }
        }
        const auto colorOf = [&](std::size_t i) -> std::optional<TCategoryColor> {
            if (colors[i])
                return colors[i];
            if (const std::optional<std::size_t> from = givers[i] ? StoreWithKey(state, *givers[i]) : std::nullopt)
                return state.Stores[*from]->ColorOf(names[i]);
            return std::nullopt;
        };
        const auto told = [&](std::size_t i, const TAddOutcome& outcome) {
            const std::wstring& name = names[i];
            if (!outcome.Added) {
                report.RefusedByStore.push_back({name, outcome.Refusal, planned.StoreKey});
                ui.CopyStep({TCopyStep::TKind::RefusedByStore, name, planned.StoreKey, outcome.Refusal});
                return;
            }
            state.PstCategories.Add(name);
            added.Names.push_back(name);
            added.Givers.push_back(givers[i]);
            if (addedAnywhere.IndexOf(name) == -1) {
                addedAnywhere.Add(name);
                report.AddedToStore.push_back(name);
            }
            ui.CopyStep({TCopyStep::TKind::AddedToStore, name, planned.StoreKey, {}});
        };
        store.AddMany(names, colorOf, told);
    }
}

// Registry pass. The registry is re-read first, so that the set holds every
// list's names as they are now, in their own forms; the detected version's
// value gains only the names it lacks. What is reported is what the registry
// still lacked: another copy may have added the rest since the Refresh.
void AddToRegistry(TProgramState& state, ICommandUi& ui, const std::vector<std::wstring>& names, TCopyReport& report)
{
    std::wstring current;
    ReadRegistryCategories(current);
    TCategorySet merged;
    SplitMasterList(current, CategoryDelimiters, merged);
    std::vector<std::wstring> lacking;
    for (const std::wstring& name : names) {
        if (merged.IndexOf(name) == -1)
            lacking.push_back(name);
        state.RegCategories.Add(name);
    }
    for (int i = 0; i < state.RegCategories.Count(); ++i)
        merged.Add(state.RegCategories.Get(i));
    state.RegCategories = std::move(merged);

    try {
        WriteMasterList(state.OutlookMajorVersion, state.RegCategories);
    } catch (const EMasterListTypeError& e) {
        // Its type changed since the Refresh: the stores' pass is done, and stands.
        report.RegistryLeftUnchanged = e.Message();
        return;
    }
    report.AddedToRegistry = std::move(lacking);
    report.RegistryWritten = true;
    for (const std::wstring& name : report.AddedToRegistry)
        ui.CopyStep({TCopyStep::TKind::AddedToRegistry, name, {}, {}});
}

}  // namespace

void ChooseStore(TProgramState& state, ICommandUi& ui, int store)
{
    state.ChosenStore =
        store == kAllStores || (store >= 0 && static_cast<std::size_t>(store) < state.Stores.size()) ? store : 0;
    TakeChosenNames(state);
    ui.SetMemoPstText(ChosenStoreText(state));
}

void ChooseChooserEntry(TProgramState& state, ICommandUi& ui, int entry)
{
    if (const std::optional<int> choice = ChoiceOfChooserEntry(state, entry))
        ChooseStore(state, ui, *choice);
}

std::vector<std::wstring> NamesAddedTo(const std::vector<TStoreAdds>& adds, const ICategoryStore& store)
{
    std::vector<std::wstring> names;
    for (const TStoreAdds& add : adds) {
        if (store.Key() == add.StoreKey)
            names.insert(names.end(), add.Names.begin(), add.Names.end());
    }
    return names;
}

std::optional<std::wstring> EntryNameOfKey(const TProgramState& state, std::wstring_view key)
{
    const std::optional<std::size_t> store = StoreWithKey(state, key);
    if (!store)
        return std::nullopt;
    return StoreEntryNames(state)[*store];
}

std::wstring ChosenStoreText(const TProgramState& state)
{
    if (!IsAllStores(state)) {
        if (const std::optional<std::size_t> unreadable = UnreadableChosenStore(state))
            return ShownOnLine(state.Stores[*unreadable]->Error());
        return StoreDisplayText(state.PstCategories);
    }
    const std::vector<std::wstring> entries = StoreEntryNames(state);
    std::wstring text;
    for (int i = 0; i < state.PstCategories.Count(); ++i) {
        const std::wstring& name = state.PstCategories.Get(i);
        std::wstring lacking;
        for (std::size_t s = 0; s < state.Stores.size(); ++s) {
            if (state.Stores[s]->Readable() && state.Stores[s]->Names().IndexOf(name) == -1)
                lacking += (lacking.empty() ? L"" : L", ") + ShownOnLine(entries[s]);
        }
        text += ShownInMemo(name);
        if (!lacking.empty())
            text += L"  (not in: " + lacking + L")";
        text += L"\r\n";
    }
    return text;
}

void PlanRegistryAdds(const TProgramState& state, const std::vector<std::wstring>& names, TCopyPlan& plan)
{
    plan.RegistryUnwritable = DetectedListUnreadable(state);
    if (plan.RegistryUnwritable)
        return;
    for (const std::wstring& name : names) {
        if (state.RegCategories.IndexOf(name) != -1)
            continue;
        // A name that would read back as no name is never written, so never
        // offered; one that would read back as two is said.
        switch (MasterListFit(name)) {
        case TMasterListFit::Fits:
            plan.ToRegistry.push_back(name);
            break;
        case TMasterListFit::HoldsDelimiter:
            plan.NotToRegistry.push_back(name);
            break;
        case TMasterListFit::NeverAName:
            break;
        }
    }
}

void PlanStoresLeftOut(const TProgramState& state, TCopyPlan& plan)
{
    if (!IsAllStores(state))
        return;
    const std::vector<std::wstring> entries = StoreEntryNames(state);
    for (std::size_t i = 0; i < state.Stores.size(); ++i) {
        if (!state.Stores[i]->Readable())
            plan.UnreadableStores.push_back(entries[i]);
    }
}

TCopyPlan PlanCopy(const TProgramState& state, TCopyDirection direction)
{
    TCopyPlan plan;
    if (CopiesToStore(direction)) {
        // What every chosen store is to hold: the registry's names, and with
        // "All stores" both ways the names of all the others as well.
        TCategorySet wanted = state.RegCategories;
        if (direction == TCopyDirection::Both && IsAllStores(state)) {
            for (int i = 0; i < state.PstCategories.Count(); ++i)
                wanted.Add(state.PstCategories.Get(i));
        }
        TCategorySet lackedSomewhere;
        for (const std::size_t s : ChosenStores(state)) {
            TStoreAdds adds{state.Stores[s]->Key(), {}, {}, {}};
            for (int i = 0; i < wanted.Count(); ++i) {
                const std::wstring& name = wanted.Get(i);
                if (state.Stores[s]->Names().IndexOf(name) != -1)
                    continue;
                adds.Names.push_back(name);
                adds.Givers.push_back(GiverOf(state, s, name));
                lackedSomewhere.Add(name);
            }
            if (!adds.Names.empty())
                plan.ToStores.push_back(std::move(adds));
        }
        for (int i = 0; i < lackedSomewhere.Count(); ++i)
            plan.ToStore.push_back(lackedSomewhere.Get(i));
    }
    if (CopiesToRegistry(direction)) {
        std::vector<std::wstring> names;
        for (int i = 0; i < state.PstCategories.Count(); ++i)
            names.push_back(state.PstCategories.Get(i));
        PlanRegistryAdds(state, names, plan);
    }
    PlanStoresLeftOut(state, plan);
    return plan;
}

std::wstring NotCopiedToRegistryText(const std::vector<std::wstring>& names)
{
    std::wstring text = L"These categories contain \";\", which the registry's master list cannot hold, "
                        L"so they were not copied to the registry:";
    for (const std::wstring& name : names)
        text += L"\n" + ShownOnLine(name);
    return text;
}

std::wstring RefusedByOutlookText(const std::vector<TRefusedName>& refused, const TProgramState* namedBy)
{
    std::wstring text = L"Outlook refused these categories, so they were not added to Outlook:";
    for (const TRefusedName& name : refused) {
        text += L"\n" + ShownOnLine(name.Name);
        if (const std::optional<std::wstring> store = namedBy ? EntryNameOfKey(*namedBy, name.StoreKey) : std::nullopt)
            text += L" (" + ShownOnLine(*store) + L")";
        text += L" - " + ShownOnLine(name.Error);
    }
    return text;
}

std::wstring UnreadableMasterListsText(const std::vector<TUnreadableMasterList>& lists)
{
    std::wstring text;
    for (const TUnreadableMasterList& list : lists)
        text += (text.empty() ? L"" : L"\n") + UnreadableMasterListText(list);
    return text;
}

std::wstring UnreadableStoresText(const std::vector<std::wstring>& entries)
{
    std::wstring text = L"These stores could not be read, so nothing was copied to or from them:";
    for (const std::wstring& entry : entries)
        text += L"\n" + ShownOnLine(entry);
    return text;
}

void RequireChosenEntryRead(const TProgramState& state)
{
    if (!state.PstCategoriesComplete || !ChosenStoreReadable(state))
        throw EException(kStoreNotRead);
}

void RunCopy(TProgramState& state, ICommandUi& ui, TCopyDirection direction, TCopyReport& report, bool dryRun)
{
    RequireChosenEntryRead(state);
    if (!ui.Confirm(ConfirmationText(direction, IsAllStores(state))))
        return;
    report.Plan = PlanCopy(state, direction);
    if (dryRun)
        return;
    CarryOutCopy(state, ui, report, CopiesToStore(direction), CopiesToRegistry(direction));
}

void CarryOutCopy(TProgramState& state, ICommandUi& ui, TCopyReport& report, bool toStores, bool toRegistry,
                  const std::function<void()>& alsoUnderLock)
{
    const bool everyStore = IsAllStores(state);
    {
        const TBusyCursor busy(ui);
        {
            // Both passes re-read their side inside the lock, so a copy that
            // waited for another one adds only what that one did not.
            TUserMutex lock(kCopyLockName);
            if (!lock.Acquire(static_cast<DWORD>(WaitLimitSeconds()) * 1000))
                throw EException(kAnotherCopyRunning);
            if (toStores)
                AddToStores(state, ui, report.Plan.ToStores, report);
            if (alsoUnderLock)
                alsoUnderLock();
            if (toRegistry && report.Plan.RegistryUnwritable)
                report.RegistryLeftUnchanged = EMasterListTypeError(state.OutlookMajorVersion + ".0").Message();
            else if (toRegistry)
                AddToRegistry(state, ui, report.Plan.ToRegistry, report);
        }
        ReadBothSides(state, ui);
    }
    // What the closing Refresh met, as Refresh itself says it, and what it meant for this copy.
    std::wstring registryText = UnreadableMasterListsText(state.RegistryUnreadable);
    if (report.RegistryLeftUnchanged)
        registryText += (registryText.empty() ? L"" : L"\n") + *report.RegistryLeftUnchanged;
    if (!registryText.empty())
        ui.Inform(registryText);
    if (!report.Plan.UnreadableStores.empty())
        ui.Inform(UnreadableStoresText(report.Plan.UnreadableStores));
    if (!report.RefusedByStore.empty()) {
        // Over several stores each line says which store refused the name.
        const bool named = everyStore && state.Stores.size() > 1;
        ui.Inform(RefusedByOutlookText(report.RefusedByStore, named ? &state : nullptr));
    }
    if (!report.Plan.NotToRegistry.empty())
        ui.Inform(NotCopiedToRegistryText(report.Plan.NotToRegistry));
}

void ReconnectStores(TProgramState& state, ICommandUi& ui)
{
    const TBusyCursor busy(ui);
    state.PstCategoriesComplete = false;
    // They hold references into what is opened again.
    state.Stores.clear();
    for (IStoreSource* source : state.Sources)
        source->Reconnect();
}

void RefreshRegistryCategories(TProgramState& state, ICommandUi& ui)
{
    state.RegCategories.Clear();
    TRegistryMasterLists lists = ReadRegistryMasterLists();
    state.RegistryMasterText = std::move(lists.Text);
    state.RegistryUnreadable = std::move(lists.Unreadable);
    SplitMasterList(state.RegistryMasterText, CategoryDelimiters, state.RegCategories);
    ui.SetMemoRegText(RegistryDisplayText(state.RegCategories));
}

namespace {

void ReadBothSides(TProgramState& state, ICommandUi& ui)
{
    RefreshRegistryCategories(state, ui);

    state.PstCategoriesComplete = false;
    const bool wasAll = IsAllStores(state);
    const auto was = static_cast<std::size_t>(state.ChosenStore);
    const std::optional<std::wstring> wasKey =
        !wasAll && was < state.Stores.size() ? std::optional<std::wstring>(state.Stores[was]->Key()) : std::nullopt;
    state.Stores.clear();
    for (IStoreSource* source : state.Sources) {
        for (std::unique_ptr<ICategoryStore>& store : source->ReadStores())
            state.Stores.push_back(std::move(store));
    }
    KeepChoice(state, wasAll, wasKey);
    TakeChosenNames(state);
    state.PstCategoriesComplete = true;
    ui.SetStoreChoices(StoreChooserEntries(state), ChooserEntryOfChoice(state));
    ui.SetMemoPstText(ChosenStoreText(state));
}

}  // namespace

void BtnReadCategoriesClick(TProgramState& state, ICommandUi& ui)
{
    ReadBothSides(state, ui);
    if (!state.RegistryUnreadable.empty())
        ui.Inform(UnreadableMasterListsText(state.RegistryUnreadable));
}

void BtnTAVtoOLClick(TProgramState& state, ICommandUi& ui)
{
    TCopyReport report;
    RunCopy(state, ui, TCopyDirection::RegistryToStore, report);
}

void BtnOLtoTAVClick(TProgramState& state, ICommandUi& ui)
{
    TCopyReport report;
    RunCopy(state, ui, TCopyDirection::StoreToRegistry, report);
}

void BtnSyncOLandTAVClick(TProgramState& state, ICommandUi& ui)
{
    TCopyReport report;
    RunCopy(state, ui, TCopyDirection::Both, report);
}
