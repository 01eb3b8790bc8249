#pragma once
// Refresh and the three copy commands. They work on a TProgramState and reach
// the user only through ICommandUi: they know nothing of window handles. The
// window's buttons and the console's verbs run the same code.

#include "commands/ProgramState.h"

#include <string>
#include <vector>

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

// For a run with nobody to ask or to watch: every question is answered yes,
// and nothing is shown.
class TUnattendedUi final : public ICommandUi {
public:
    bool Confirm(const std::wstring&) override { return true; }
    void SetBusyCursor() override {}
    void RestoreCursor() override {}
    void SetMemoRegText(const std::wstring&) override {}
    void SetMemoPstText(const std::wstring&) override {}
    void Inform(const std::wstring&) override {}
};

// Opens the connection again after Outlook was closed, as at start: the old
// references go first, and nothing read through them counts as a complete
// read of the store any more.
void ReconnectOutlook(TProgramState& state, ICommandUi& ui);
// Refresh: re-reads both stores and fills both memos.
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

enum class TCopyDirection { RegistryToStore, StoreToRegistry, Both };

// What each side lacks, decided from the sets as the last Refresh left them.
// Names differing only in letter case count as the same name.
struct TCopyPlan {
    std::vector<std::wstring> ToStore;     // registry names the store lacks, in set order
    std::vector<std::wstring> ToRegistry;  // store names the registry lacks, in set order
    // Store names holding ";": a master list would read each back as two names.
    std::vector<std::wstring> NotToRegistry;
};
TCopyPlan PlanCopy(const TProgramState& state, TCopyDirection direction);

// A name Outlook would not add, with Outlook's description of why.
struct TRefusedName {
    std::wstring Name;
    std::wstring Error;
};

// What a copy did, filled in as it goes, so that after a failure it still
// tells what was done before it.
struct TCopyReport {
    TCopyPlan Plan;
    std::vector<std::wstring> AddedToStore;  // each Add that succeeded
    std::vector<TRefusedName> RefusedByStore;  // each Add that Outlook refused, in order
    bool RegistryWritten = false;            // Plan.ToRegistry reached the registry
};

// One copy, as the three buttons run it: refuses a store that was not read
// completely, asks for confirmation, adds to the store, writes the registry,
// refreshes, then tells of the names Outlook refused and of those the registry
// cannot hold. A name Outlook refuses does not stop the copy; any other failure
// does. With dryRun it decides the same names and stops there: no Add, no
// write, no Refresh.
void RunCopy(TProgramState& state, ICommandUi& ui, TCopyDirection direction, TCopyReport& report,
             bool dryRun = false);

// The text of the information box that lists store names holding ";", one a
// line, each as the memos show it.
std::wstring NotCopiedToRegistryText(const std::vector<std::wstring>& names);
// The text of the information box that lists the names Outlook refused.
std::wstring RefusedByOutlookText(const std::vector<TRefusedName>& refused);
