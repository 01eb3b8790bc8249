#include "commands/Commands.h"

#include "categories/MainUnit.h"
#include "categories/MasterListText.h"
#include "outlook/OutlookCategories.h"
#include "registry/MasterList.h"

namespace {

const wchar_t kConfirmToStore[] = L"Do you want to add all categories from the registry into the PST?";
const wchar_t kConfirmToRegistry[] = L"Do you want to add all categories from the PST into the registry?";
const wchar_t kConfirmBoth[] = L"Do you want to synchronize all categories between registry and PST?";

// The hourglass stays up for the whole command and goes away however it ends.
class BusyCursor {
public:
    explicit BusyCursor(ICommandUi& ui) : ui_(ui) { ui_.SetBusyCursor(); }
    ~BusyCursor() { ui_.RestoreCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    ICommandUi& ui_;
};

// Store pass: every registry name the store lacks goes to the store as it is.
void AddMissingToStore(const TProgramState& state, const TAutomationValue& collection)
{
    const int count = state.RegCategories.Count();
    for (int i = 0; i < count; ++i) {
        const std::wstring& name = state.RegCategories.Get(i);
        if (state.PstCategories.IndexOf(name) == -1)
            AddCategory(collection, name);
    }
}

// Registry pass: every store name the registry set lacks joins the set.
void AddMissingToRegistry(TProgramState& state)
{
    const int count = state.PstCategories.Count();
    for (int i = 0; i < count; ++i) {
        const std::wstring& name = state.PstCategories.Get(i);
        if (state.RegCategories.IndexOf(name) == -1)
            state.RegCategories.Add(name);
    }
}

}  // namespace

void BtnReadCategoriesClick(TProgramState& state, ICommandUi& ui)
{
    state.RegCategories.Clear();
    ReadRegistryCategories(state.RegistryMasterText);
    SplitMasterList(state.RegistryMasterText, CategoryDelimiters, state.RegCategories);
    ui.SetMemoRegText(RegistryDisplayText(state.RegCategories));

    ReadPSTCategories(state.OutlookNamespace, state.PstCategories);
    ui.SetMemoPstText(StoreDisplayText(state.PstCategories));
}

void BtnTAVtoOLClick(TProgramState& state, ICommandUi& ui)
{
    if (!ui.Confirm(kConfirmToStore))
        return;
    BusyCursor busy(ui);
    const TAutomationValue collection = GetCategoriesCollection(state.OutlookNamespace);
    AddMissingToStore(state, collection);
    BtnReadCategoriesClick(state, ui);
}

void BtnOLtoTAVClick(TProgramState& state, ICommandUi& ui)
{
    if (!ui.Confirm(kConfirmToRegistry))
        return;
    BusyCursor busy(ui);
    AddMissingToRegistry(state);
    WriteMasterList(state.OutlookMajorVersion, state.RegCategories);
    BtnReadCategoriesClick(state, ui);
}

void BtnSyncOLandTAVClick(TProgramState& state, ICommandUi& ui)
{
    if (!ui.Confirm(kConfirmBoth))
        return;
    BusyCursor busy(ui);
    const TAutomationValue collection = GetCategoriesCollection(state.OutlookNamespace);
    AddMissingToStore(state, collection);
    AddMissingToRegistry(state);
    WriteMasterList(state.OutlookMajorVersion, state.RegCategories);
    BtnReadCategoriesClick(state, ui);
}
