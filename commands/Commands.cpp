#include "commands/Commands.h"

#include "base/Errors.h"
#include "base/Platform.h"
#include "base/UserMutex.h"
#include "base/WaitLimit.h"
#include "categories/MainUnit.h"
#include "categories/MasterListText.h"
#include "categories/ShownText.h"
#include "outlook/OleError.h"
#include "outlook/OutlookCategories.h"
#include "outlook/OutlookStores.h"
#include "registry/MasterList.h"

#include <windows.h>

#include <algorithm>
#include <map>

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
const wchar_t kAllStoresEntry[] = L"All stores";
const wchar_t kUnreadableSuffix[] = L" (could not be read)";
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

std::size_t ReadableStoreCount(const TProgramState& state)
{
    return static_cast<std::size_t>(
        std::count_if(state.Stores.begin(), state.Stores.end(), [](const TOutlookStore& s) { return s.Readable; }));
}

// The stores a command works with: the chosen one, or every readable one.
std::vector<std::size_t> ChosenStores(const TProgramState& state)
{
    std::vector<std::size_t> chosen;
    for (std::size_t i = 0; i < state.Stores.size(); ++i) {
        if (state.ChosenStore == kAllStores ? state.Stores[i].Readable : static_cast<int>(i) == state.ChosenStore)
            chosen.push_back(i);
    }
    return chosen;
}

void TakeChosenNames(TProgramState& state)
{
    state.PstCategories.Clear();
    for (const std::size_t i : ChosenStores(state)) {
        const TCategorySet& names = state.Stores[i].Names;
        for (int j = 0; j < names.Count(); ++j)
            state.PstCategories.Add(names.Get(j));
    }
}

// After a read: the entry chosen before, when the chooser still offers it.
void KeepChoice(TProgramState& state, bool wasAll, const std::wstring& wasStoreId)
{
    state.ChosenStore = 0;
    if (ReadableStoreCount(state) < 2)
        return;
    if (wasAll) {
        state.ChosenStore = kAllStores;
        return;
    }
    for (std::size_t i = 0; i < state.Stores.size(); ++i) {
        if (SameTextIgnoringCase(state.Stores[i].StoreId, wasStoreId))
            state.ChosenStore = static_cast<int>(i);
    }
}

int GiverOf(const TProgramState& state, std::size_t target, const std::wstring& name)
{
    for (std::size_t i = 0; i < state.Stores.size(); ++i) {
        const TOutlookStore& store = state.Stores[i];
        if (i != target && store.Readable && store.Names.IndexOf(name) != -1)
            return static_cast<int>(i);
    }
    return -1;
}

// Store pass. Each store's list is read again just before adding to it: a list
// that two stores share (IMAP) must not receive a name twice, and a name that
// someone added since the Refresh is not added again. What is reported is what
// was really added. A name that reached a store joins its set, so that a
// command repeated after a failed Add does not add it a second time. What
// Outlook raises about one name (DISP_E_EXCEPTION) concerns that name alone.
void AddToStores(TProgramState& state, const std::vector<TStoreAdds>& plan, TCopyReport& report)
{
    std::map<std::size_t, TAutomationValue> giverCollections;
    TCategorySet addedAnywhere;
    for (const TStoreAdds& planned : plan) {
        TOutlookStore& store = state.Stores[planned.Store];
        const TAutomationValue collection = StoreCategoriesCollection(state, store);
        TCategorySet held;
        ReadCategoryNames(state, collection, held);
        TStoreAdds& added = report.AddedToStores.emplace_back(TStoreAdds{planned.Store, {}, {}});
        for (std::size_t i = 0; i < planned.Names.size(); ++i) {
            const std::wstring& name = planned.Names[i];
            if (held.IndexOf(name) != -1)
                continue;
            std::optional<std::int32_t> color;
            if (const int giver = planned.Givers[i]; giver >= 0) {
                const auto giverIndex = static_cast<std::size_t>(giver);
                auto found = giverCollections.find(giverIndex);
                if (found == giverCollections.end())
                    found = giverCollections
                                .emplace(giverIndex, StoreCategoriesCollection(state, state.Stores[giverIndex]))
                                .first;
                color = CategoryColor(state, found->second, name);
            }
            try {
                AddCategory(state, collection, name, color);
            } catch (const EOleException& e) {
                report.RefusedByStore.push_back({name, e.Message(), planned.Store});
                continue;
            }
            held.Add(name);
            store.Names.Add(name);
            state.PstCategories.Add(name);
            added.Names.push_back(name);
            added.Givers.push_back(planned.Givers[i]);
            if (addedAnywhere.IndexOf(name) == -1) {
                addedAnywhere.Add(name);
                report.AddedToStore.push_back(name);
            }
        }
    }
}

// Registry pass. The registry is re-read first, so that the set holds every
// list's names as they are now, in their own forms; the detected version's
// value gains only the names it lacks. What is reported is what the registry
// still lacked: another copy may have added the rest since the Refresh.
void AddToRegistry(TProgramState& state, const std::vector<std::wstring>& names, TCopyReport& report)
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

    WriteMasterList(state.OutlookMajorVersion, state.RegCategories);
    report.AddedToRegistry = std::move(lacking);
    report.RegistryWritten = true;
}

}  // namespace

std::vector<std::wstring> StoreEntryNames(const TProgramState& state)
{
    std::vector<std::wstring> entries;
    for (std::size_t i = 0; i < state.Stores.size(); ++i) {
        const std::wstring name = state.Stores[i].DisplayName.value_or(L"");
        int seen = 1;
        for (std::size_t j = 0; j < i; ++j)
            seen += SameTextIgnoringCase(state.Stores[j].DisplayName.value_or(L""), name);
        entries.push_back(seen == 1 ? name : name + L" (" + std::to_wstring(seen) + L")");
    }
    return entries;
}

std::vector<std::wstring> StoreChooserEntries(const TProgramState& state)
{
    std::vector<std::wstring> entries;
    if (ReadableStoreCount(state) < 2)
        return entries;
    const std::vector<std::wstring> names = StoreEntryNames(state);
    for (std::size_t i = 0; i < names.size(); ++i)
        entries.push_back(ShownOnLine(names[i]) + (state.Stores[i].Readable ? L"" : kUnreadableSuffix));
    entries.push_back(kAllStoresEntry);
    return entries;
}

void ChooseStore(TProgramState& state, ICommandUi& ui, int entry)
{
    state.ChosenStore = entry == kAllStores || (entry >= 0 && static_cast<std::size_t>(entry) < state.Stores.size())
                            ? entry
                            : 0;
    TakeChosenNames(state);
    ui.SetMemoPstText(ChosenStoreText(state));
}

std::wstring ChosenStoreText(const TProgramState& state)
{
    if (state.ChosenStore != kAllStores) {
        const auto chosen = static_cast<std::size_t>(state.ChosenStore);
        if (chosen < state.Stores.size() && !state.Stores[chosen].Readable)
            return ShownOnLine(state.Stores[chosen].Error);
        return StoreDisplayText(state.PstCategories);
    }
    const std::vector<std::wstring> entries = StoreEntryNames(state);
    std::wstring text;
    for (int i = 0; i < state.PstCategories.Count(); ++i) {
        const std::wstring& name = state.PstCategories.Get(i);
        std::wstring lacking;
        for (std::size_t s = 0; s < state.Stores.size(); ++s) {
            if (state.Stores[s].Readable && state.Stores[s].Names.IndexOf(name) == -1)
                lacking += (lacking.empty() ? L"" : L", ") + ShownOnLine(entries[s]);
        }
        text += ShownInMemo(name);
        if (!lacking.empty())
            text += L"  (not in: " + lacking + L")";
        text += L"\r\n";
    }
    return text;
}

TCopyPlan PlanCopy(const TProgramState& state, TCopyDirection direction)
{
    TCopyPlan plan;
    if (CopiesToStore(direction)) {
        // What every chosen store is to hold: the registry's names, and with
        // "All stores" both ways the names of all the others as well.
        TCategorySet wanted = state.RegCategories;
        if (direction == TCopyDirection::Both && state.ChosenStore == kAllStores) {
            for (int i = 0; i < state.PstCategories.Count(); ++i)
                wanted.Add(state.PstCategories.Get(i));
        }
        TCategorySet lackedSomewhere;
        for (const std::size_t s : ChosenStores(state)) {
            TStoreAdds adds{s, {}, {}};
            for (int i = 0; i < wanted.Count(); ++i) {
                const std::wstring& name = wanted.Get(i);
                if (state.Stores[s].Names.IndexOf(name) != -1)
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
        for (int i = 0; i < state.PstCategories.Count(); ++i) {
            const std::wstring& name = state.PstCategories.Get(i);
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
    if (state.ChosenStore == kAllStores) {
        const std::vector<std::wstring> entries = StoreEntryNames(state);
        for (std::size_t i = 0; i < state.Stores.size(); ++i) {
            if (!state.Stores[i].Readable)
                plan.UnreadableStores.push_back(entries[i]);
        }
    }
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

std::wstring RefusedByOutlookText(const std::vector<TRefusedName>& refused,
                                  const std::vector<std::wstring>& storeEntries)
{
    std::wstring text = L"Outlook refused these categories, so they were not added to Outlook:";
    for (const TRefusedName& name : refused) {
        text += L"\n" + ShownOnLine(name.Name);
        if (name.Store < storeEntries.size())
            text += L" (" + ShownOnLine(storeEntries[name.Store]) + L")";
        text += L" - " + ShownOnLine(name.Error);
    }
    return text;
}

std::wstring UnreadableStoresText(const std::vector<std::wstring>& entries)
{
    std::wstring text = L"These stores could not be read, so nothing was copied to or from them:";
    for (const std::wstring& entry : entries)
        text += L"\n" + ShownOnLine(entry);
    return text;
}

void RunCopy(TProgramState& state, ICommandUi& ui, TCopyDirection direction, TCopyReport& report, bool dryRun)
{
    const bool everyStore = state.ChosenStore == kAllStores;
    if (!state.PstCategoriesComplete ||
        (!everyStore && !state.Stores.at(static_cast<std::size_t>(state.ChosenStore)).Readable))
        throw EException(kStoreNotRead);
    if (!ui.Confirm(ConfirmationText(direction, everyStore)))
        return;
    report.Plan = PlanCopy(state, direction);
    if (dryRun)
        return;
    {
        const TBusyCursor busy(ui);
        {
            // Both passes re-read their side inside the lock, so a copy that
            // waited for another one adds only what that one did not.
            TUserMutex lock(kCopyLockName);
            if (!lock.Acquire(static_cast<DWORD>(WaitLimitSeconds()) * 1000))
                throw EException(kAnotherCopyRunning);
            if (CopiesToStore(direction))
                AddToStores(state, report.Plan.ToStores, report);
            if (CopiesToRegistry(direction))
                AddToRegistry(state, report.Plan.ToRegistry, report);
        }
        BtnReadCategoriesClick(state, ui);
    }
    if (!report.Plan.UnreadableStores.empty())
        ui.Inform(UnreadableStoresText(report.Plan.UnreadableStores));
    if (!report.RefusedByStore.empty()) {
        // Over several stores each line says which store refused the name.
        const bool named = everyStore && state.Stores.size() > 1;
        ui.Inform(RefusedByOutlookText(report.RefusedByStore,
                                       named ? StoreEntryNames(state) : std::vector<std::wstring>()));
    }
    if (!report.Plan.NotToRegistry.empty())
        ui.Inform(NotCopiedToRegistryText(report.Plan.NotToRegistry));
}

void ReconnectOutlook(TProgramState& state, ICommandUi& ui)
{
    const TBusyCursor busy(ui);
    state.PstCategoriesComplete = false;
    CloseOutlookConnection(state);
    OpenOutlookConnection(state);
}

void RefreshRegistryCategories(TProgramState& state, ICommandUi& ui)
{
    state.RegCategories.Clear();
    ReadRegistryCategories(state.RegistryMasterText);
    SplitMasterList(state.RegistryMasterText, CategoryDelimiters, state.RegCategories);
    ui.SetMemoRegText(RegistryDisplayText(state.RegCategories));
}

void BtnReadCategoriesClick(TProgramState& state, ICommandUi& ui)
{
    RefreshRegistryCategories(state, ui);

    state.PstCategoriesComplete = false;
    const bool wasAll = state.ChosenStore == kAllStores;
    const auto was = static_cast<std::size_t>(state.ChosenStore);
    const std::wstring wasStoreId = !wasAll && was < state.Stores.size() ? state.Stores[was].StoreId : L"";
    ReadOutlookStores(state, state.OnlyStoreNaming);
    KeepChoice(state, wasAll, wasStoreId);
    TakeChosenNames(state);
    state.PstCategoriesComplete = true;
    ui.SetStoreChoices(StoreChooserEntries(state), state.ChosenStore);
    ui.SetMemoPstText(ChosenStoreText(state));
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
