#include "commands/Commands.h"

#include "base/Errors.h"
#include "categories/MainUnit.h"
#include "categories/MasterListText.h"
#include "outlook/OleError.h"
#include "outlook/OutlookCategories.h"
#include "registry/MasterList.h"

namespace {

const wchar_t kConfirmToStore[] = L"Do you want to add all categories from the registry into the PST?";
const wchar_t kConfirmToRegistry[] = L"Do you want to add all categories from the PST into the registry?";
const wchar_t kConfirmBoth[] = L"Do you want to synchronize all categories between registry and PST?";
const wchar_t kStoreNotRead[] =
    L"The categories in Outlook could not be read completely. Press Refresh, then try again.";

bool CopiesToStore(TCopyDirection direction)
{
    return direction != TCopyDirection::StoreToRegistry;
}

bool CopiesToRegistry(TCopyDirection direction)
{
    return direction != TCopyDirection::RegistryToStore;
}

const wchar_t* ConfirmationText(TCopyDirection direction)
{
    switch (direction) {
    case TCopyDirection::RegistryToStore:
        return kConfirmToStore;
    case TCopyDirection::StoreToRegistry:
        return kConfirmToRegistry;
    default:
        return kConfirmBoth;
    }
}

// Store pass. A name that reached the store joins the store set, so that a
// command repeated after a failed Add does not add it a second time. What
// Outlook raises about one name (DISP_E_EXCEPTION) concerns that name alone.
void AddToStore(TProgramState& state, const std::vector<std::wstring>& names, TCopyReport& report)
{
    const TAutomationValue collection = GetCategoriesCollection(state.OutlookNamespace);
    for (const std::wstring& name : names) {
        try {
            AddCategory(collection, name);
        } catch (const EOleException& e) {
            report.RefusedByStore.push_back({name, e.Message()});
            continue;
        }
        report.AddedToStore.push_back(name);
        state.PstCategories.Add(name);
    }
}

// Registry pass. The registry is re-read first, so that the set holds every
// list's names as they are now, in their own forms; the detected version's
// value gains only the names it lacks.
void AddToRegistry(TProgramState& state, const std::vector<std::wstring>& names, TCopyReport& report)
{
    for (const std::wstring& name : names)
        state.RegCategories.Add(name);
    std::wstring current;
    ReadRegistryCategories(current);
    TCategorySet merged;
    SplitMasterList(current, CategoryDelimiters, merged);
    for (int i = 0; i < state.RegCategories.Count(); ++i)
        merged.Add(state.RegCategories.Get(i));
    state.RegCategories = std::move(merged);

    WriteMasterList(state.OutlookMajorVersion, state.RegCategories);
    report.RegistryWritten = true;
}

}  // namespace

TCopyPlan PlanCopy(const TProgramState& state, TCopyDirection direction)
{
    TCopyPlan plan;
    if (CopiesToStore(direction)) {
        for (int i = 0; i < state.RegCategories.Count(); ++i) {
            const std::wstring& name = state.RegCategories.Get(i);
            if (state.PstCategories.IndexOf(name) == -1)
                plan.ToStore.push_back(name);
        }
    }
    if (CopiesToRegistry(direction)) {
        for (int i = 0; i < state.PstCategories.Count(); ++i) {
            const std::wstring& name = state.PstCategories.Get(i);
            if (state.RegCategories.IndexOf(name) != -1)
                continue;
            if (name.find_first_of(CategoryDelimiters) != std::wstring::npos)
                plan.NotToRegistry.push_back(name);
            else
                plan.ToRegistry.push_back(name);
        }
    }
    return plan;
}

std::wstring NotCopiedToRegistryText(const std::vector<std::wstring>& names)
{
    std::wstring text = L"These categories contain \";\", which the registry's master list cannot hold, "
                        L"so they were not copied to the registry:";
    for (const std::wstring& name : names)
        text += L"\n" + ShownWhole(name);
    return text;
}

std::wstring RefusedByOutlookText(const std::vector<TRefusedName>& refused)
{
    std::wstring text = L"Outlook refused these categories, so they were not added to Outlook:";
    for (const TRefusedName& name : refused)
        text += L"\n" + ShownWhole(name.Name) + L" - " + name.Error;
    return text;
}

void RunCopy(TProgramState& state, ICommandUi& ui, TCopyDirection direction, TCopyReport& report, bool dryRun)
{
    if (!state.PstCategoriesComplete)
        throw EException(kStoreNotRead);
    if (!ui.Confirm(ConfirmationText(direction)))
        return;
    report.Plan = PlanCopy(state, direction);
    if (dryRun)
        return;
    {
        const TBusyCursor busy(ui);
        if (CopiesToStore(direction))
            AddToStore(state, report.Plan.ToStore, report);
        if (CopiesToRegistry(direction))
            AddToRegistry(state, report.Plan.ToRegistry, report);
        BtnReadCategoriesClick(state, ui);
    }
    if (!report.RefusedByStore.empty())
        ui.Inform(RefusedByOutlookText(report.RefusedByStore));
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
    ReadPSTCategories(state.OutlookNamespace, state.PstCategories);
    state.PstCategoriesComplete = true;
    ui.SetMemoPstText(StoreDisplayText(state.PstCategories));
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
