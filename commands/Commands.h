#pragma once
// Refresh and the three copy commands. They work on a TProgramState and reach
// the user only through ICommandUi: they know nothing of window handles. The
// window's buttons and the console's verbs run the same code.

#include "commands/ProgramState.h"
#include "commands/StoreChoice.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One thing a copy did. StoreKey names the store for the store kinds.
struct TCopyStep {
    enum class TKind { AddedToStore, RefusedByStore, AddedToRegistry };
    TKind Kind = TKind::AddedToStore;
    std::wstring Name;
    std::wstring StoreKey;
    std::wstring Error;  // the store's reason, for a refusal
};

// A category of a store given another colour, or turned away; its name as the
// store holds it, which is never changed.
struct TRecolourStep {
    std::wstring Name;
    std::wstring StoreKey;
    TCategoryColor From;
    TCategoryColor To;
    std::wstring Refusal;  // the store's reason; empty when the colour changed
};

class ICommandUi {
public:
    virtual ~ICommandUi() = default;
    // A modal box of the confirmation type: title "Confirm", question icon, OK
    // and Cancel. True only for OK.
    virtual bool Confirm(const std::wstring& text) = 0;
    virtual void SetBusyCursor() = 0;
    virtual void RestoreCursor() = 0;
    virtual void SetMemoRegText(const std::wstring& text) = 0;
    virtual void SetMemoPstText(const std::wstring& text) = 0;
    // An information box: title "Pellorin", information icon, OK.
    virtual void Inform(const std::wstring& text) = 0;
    // The store chooser's entries and the chosen one's position among them;
    // no entries, no chooser.
    virtual void SetStoreChoices(const std::vector<std::wstring>& entries, int chosen) = 0;
    // Each thing a copy does, told as it happens: a log written from these is
    // true up to the moment a run is stopped.
    virtual void CopyStep(const TCopyStep& step) { (void)step; }
    // The same for each change of colour, as it happens.
    virtual void RecolourStep(const TRecolourStep& step) { (void)step; }
};

// The hourglass stays up for the whole scope and goes away however it ends.
class TBusyCursor {
public:
    explicit TBusyCursor(ICommandUi& ui) : ui_(ui) { ui_.SetBusyCursor(); }
    ~TBusyCursor() { ui_.RestoreCursor(); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;

private:
    ICommandUi& ui_;
};

// Whatever the stores kept for one copy (or an export's colours) goes when it
// ends, however it ends.
class TCopyEnd {
public:
    explicit TCopyEnd(TProgramState& state) : state_(state) {}
    ~TCopyEnd()
    {
        for (IStoreSource* source : state_.Sources)
            source->EndCopy();
    }
    TCopyEnd(const TCopyEnd&) = delete;
    TCopyEnd& operator=(const TCopyEnd&) = delete;

private:
    TProgramState& state_;
};

// For a run with nobody to ask or to watch: every question is answered yes,
// and nothing is shown.
class TUnattendedUi : public ICommandUi {
public:
    bool Confirm(const std::wstring&) override { return true; }
    void SetBusyCursor() override {}
    void RestoreCursor() override {}
    void SetMemoRegText(const std::wstring&) override {}
    void SetMemoPstText(const std::wstring&) override {}
    void Inform(const std::wstring&) override {}
    void SetStoreChoices(const std::vector<std::wstring>&, int) override {}
};

// Opens again what each source reads through, after Outlook was closed, as at
// start: the stores go first, and nothing read through them counts as a
// complete read any more.
void ReconnectStores(TProgramState& state, ICommandUi& ui);
// Refresh: re-reads the registry and every source's stores and fills both
// memos; the chosen entry stays chosen while it exists, else the default store.
// A master list it cannot read for its type is said in an information box.
void BtnReadCategoriesClick(TProgramState& state, ICommandUi& ui);
// Refresh's registry half alone: all there is to read when Outlook keeps no
// categories in the store.
void RefreshRegistryCategories(TProgramState& state, ICommandUi& ui);
// "Registry ---> PST"
void BtnTAVtoOLClick(TProgramState& state, ICommandUi& ui);
// "Registry <--- PST"
void BtnOLtoTAVClick(TProgramState& state, ICommandUi& ui);
// "Registry <---> PST"
void BtnSyncOLandTAVClick(TProgramState& state, ICommandUi& ui);

// Chooses a store (an index into Stores) or kAllStores and shows its names from
// the last Refresh; no store is asked.
void ChooseStore(TProgramState& state, ICommandUi& ui, int store);
// The same for the entry the user picked in the chooser; a pending entry (a
// sign-in) changes nothing.
void ChooseChooserEntry(TProgramState& state, ICommandUi& ui, int entry);
// What MemoPst shows for the chosen entry.
std::wstring ChosenStoreText(const TProgramState& state);

enum class TCopyDirection { RegistryToStore, StoreToRegistry, Both };

// The names one store lacks. Stores go by their keys: a copy's closing
// Refresh reads them afresh, in an order of the sources' choosing.
struct TStoreAdds {
    std::wstring StoreKey;
    std::vector<std::wstring> Names;
    // For each name, the key of the first other readable store that held it
    // (chooser order), whose colour it takes; none for a name only the
    // registry had.
    std::vector<std::optional<std::wstring>> Givers;
    // For names from a list file, one per name: the colour the file asks for,
    // which wins over a giver's. Empty for every other copy.
    std::vector<std::optional<TCategoryColor>> Colors;
};
// The names of the adds that went to the store, in order.
std::vector<std::wstring> NamesAddedTo(const std::vector<TStoreAdds>& adds, const ICategoryStore& store);

// What each side lacks, decided from the sets as the last Refresh left them.
// Names differing only in letter case count as the same name.
struct TCopyPlan {
    std::vector<TStoreAdds> ToStores;      // each chosen store that lacks names
    std::vector<std::wstring> ToStore;     // every name some chosen store lacks, in set order
    // Store names the registry lacks and can hold as names, in set order.
    std::vector<std::wstring> ToRegistry;
    // Store names holding ";": a master list would read each back as two names.
    std::vector<std::wstring> NotToRegistry;
    // With "All stores": the entry names of the stores left out, unread.
    std::vector<std::wstring> UnreadableStores;
    // The detected version's own list is of a type Pellorin cannot read: the
    // registry gains nothing, and ToRegistry and NotToRegistry stay empty.
    bool RegistryUnwritable = false;
};
TCopyPlan PlanCopy(const TProgramState& state, TCopyDirection direction);
// The registry's half of any plan: each of names, in their order, that the
// registry lacks and can hold, and those it would read back as two, said;
// nothing at all where the detected version's own list cannot be read.
void PlanRegistryAdds(const TProgramState& state, const std::vector<std::wstring>& names, TCopyPlan& plan);
// With "All stores", the entry names of the stores left out, unread.
void PlanStoresLeftOut(const TProgramState& state, TCopyPlan& plan);

// A name a store would not add, with the store's description of why.
struct TRefusedName {
    std::wstring Name;
    std::wstring Error;
    std::wstring StoreKey;
};

// What a copy did, filled in as it goes, so that after a failure it still
// tells what was done before it.
struct TCopyReport {
    TCopyPlan Plan;
    std::vector<TStoreAdds> AddedToStores;     // each Add that succeeded, per store
    std::vector<std::wstring> AddedToStore;    // each name added to at least one store
    std::vector<TRefusedName> RefusedByStore;  // each Add that Outlook refused, in order
    // The names of Plan.ToRegistry that the registry still lacked when the
    // copy wrote it, in set order.
    std::vector<std::wstring> AddedToRegistry;
    bool RegistryWritten = false;  // the registry pass is done
    // Why the registry pass added nothing, when the detected version's list
    // is of a type Pellorin cannot read; the stores' pass ran all the same.
    std::optional<std::wstring> RegistryLeftUnchanged;
};

// The per-user lock (base/UserMutex.h) that every copy holds, in the window
// and in PellorinSync, from re-reading both sides to its last write.
inline constexpr wchar_t kCopyLockName[] = L"Pellorin.CategoryCopy";

// One copy, as the three buttons run it, between the registry and the chosen
// entry: refuses a store that was not read completely, asks for confirmation,
// takes the copy lock (waiting up to the wait limit for another copy, else
// failing with nothing changed), adds to the stores, writes the registry,
// releases the lock, refreshes, then tells of the master lists it cannot read
// (and of a registry it therefore left unchanged), of the stores left out, of
// the names Outlook refused and of those the registry cannot hold. A name Outlook
// refuses does not stop the copy; any other failure does. With dryRun it
// decides the same names and stops there: no lock, no Add, no write, no Refresh.
void RunCopy(TProgramState& state, ICommandUi& ui, TCopyDirection direction, TCopyReport& report,
             bool dryRun = false);

// Raises unless the chosen entry was read completely and can be copied to or
// from: a copy decided from part of a store would add names it already has.
void RequireChosenEntryRead(const TProgramState& state);

// What every copy does once its plan (report.Plan) is made: takes the copy lock
// (waiting up to the wait limit for another copy, else failing with nothing
// changed), adds to the stores when toStores, runs alsoUnderLock, writes the
// registry when toRegistry, releases the lock, refreshes, then tells of the
// stores left out, of the names Outlook refused and of those the registry
// cannot hold.
void CarryOutCopy(TProgramState& state, ICommandUi& ui, TCopyReport& report, bool toStores, bool toRegistry,
                  const std::function<void()>& alsoUnderLock = {});

// The text of the information box that lists store names holding ";", one a
// line, each as the memos show it.
std::wstring NotCopiedToRegistryText(const std::vector<std::wstring>& names);
// The text of the information box that lists the names Outlook refused; given
// the state, each line names the store that refused it by its entry name.
std::wstring RefusedByOutlookText(const std::vector<TRefusedName>& refused, const TProgramState* namedBy = nullptr);
// The entry name of the store with this key, when there is one now.
std::optional<std::wstring> EntryNameOfKey(const TProgramState& state, std::wstring_view key);
// The text of the information box that lists the master lists of a type
// Pellorin cannot read, one a line.
std::wstring UnreadableMasterListsText(const std::vector<TUnreadableMasterList>& lists);
// The text of the information box that lists the stores "All stores" left out.
std::wstring UnreadableStoresText(const std::vector<std::wstring>& entries);
