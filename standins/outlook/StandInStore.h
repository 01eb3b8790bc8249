#pragma once
// What the Outlook stand-in and the programs that drive it share: its class
// identity and registration, its state file and its request log. Both files
// live in a data folder whose place is kept with the class registration, since
// a server that COM starts inherits nothing from the program that asked for it.

#include <windows.h>

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// {C67DD99A-646A-4310-8062-6989B63D4585}
inline constexpr CLSID CLSID_PellorinOutlookStandIn = {
    0xc67dd99a, 0x646a, 0x4310, {0x80, 0x62, 0x69, 0x89, 0xb6, 0x3d, 0x45, 0x85}};
inline constexpr wchar_t kOutlookProgId[] = L"Outlook.Application";
// What tests use outside Wine, so that a real Outlook is never replaced.
inline constexpr wchar_t kStandInPrivateProgId[] = L"Pellorin.OutlookStandIn";
inline constexpr wchar_t kStandInExeName[] = L"OutlookStandIn.exe";
// The hidden window of an instance started by hand; /stop closes it.
inline constexpr wchar_t kStandInWindowClass[] = L"PellorinOutlookStandInWindow";

class EStandInError : public std::runtime_error {
public:
    explicit EStandInError(const std::wstring& message);
};

struct TStandInAddFault {
    std::wstring Name;  // Add of exactly this name fails...
    std::wstring Description;  // ...with this description (DISP_E_EXCEPTION)
};

// Another store of the profile than the default one.
struct TStandInStore {
    std::wstring DisplayName;
    std::vector<std::wstring> Names;  // its own list, in Outlook's order
    std::vector<long> Colors;         // one per name; a missing one is filled in as Add would
    std::wstring SharesListOf;        // answers Categories with this store's list (an IMAP account)
    std::wstring CategoriesFault;     // Categories fails with this description
};

struct TStandInState {
    std::wstring Version = L"14.0.7015.1000";
    // The default store's list, which Namespace.Categories also answers with.
    std::vector<std::wstring> Names;  // in Outlook's order; Add appends and saves
    std::vector<long> Colors;         // as for TStandInStore
    std::wstring DefaultStoreName = L"Outlook Data File";
    // Without other stores the profile holds the default store alone.
    std::vector<TStandInStore> OtherStores;
    std::size_t DefaultStorePosition = 0;  // the default store's place in Namespace.Stores
    std::vector<TStandInAddFault> AddFaults;
    int FailingItem = 0;  // Item(k) of the default store's list fails for this k; 0 for none
    std::wstring ItemFaultDescription = L"Array index out of bounds.";
    bool NoCategories = false;  // the namespace does not know Categories
    bool NoStores = false;      // the namespace does not know Stores nor DefaultStore
    DWORD DelayMilliseconds = 0;  // before every answer
    // Busy as an Outlook that is starting or shows a dialog: every call is
    // rejected for BusyMilliseconds from when the stand-in reads this state
    // (at its start, or when the file is replaced), or from when it has then
    // answered BusyAfterCalls invocations.
    DWORD BusyMilliseconds = 0;
    int BusyAfterCalls = 0;
    bool BusyRetryLater = false;  // SERVERCALL_RETRYLATER; else SERVERCALL_REJECTED
};

// OlCategoryColor: 0 is none, 1 (red) to 25 (dark maroon) are the colours.
inline constexpr long kStandInColorCount = 25;
// The colour an Add without one gives: the first colour no category uses yet,
// else the first of those used least.
long StandInColorForNewCategory(const std::vector<long>& colorsInUse);

// One line of the log. Events: "start" (Member is the mode), "exit", "lookup"
// (a name asked of GetIDsOfNames), "invoke" and "reject" (a call turned away
// while busy: Member is "filter" when the platform's message filter turned it
// away, else the member).
struct TStandInRequest {
    DWORD ProcessId = 0;
    std::wstring Event;
    std::wstring Member;
    int Kind = 0;  // the flags Invoke got: 1 method, 2 property read, 3 both
    int ArgumentCount = 0;
    std::wstring Argument;  // the first argument: "bstr:" + text, "i4:" + number, or "vt" + type
};

// True inside Wine (ntdll exports wine_get_version).
bool IsRunningUnderWine();

// The class a stand-in serves: ours by default, or one of a test program's
// own, made from the program's name, so that several test programs can each
// drive a stand-in at once. A server of another class than ours is started
// with "/class {CLSID}".
CLSID StandInClassFor(std::wstring_view name);
std::wstring StandInClassText(const CLSID& clsid);
inline constexpr wchar_t kStandInClassSwitch[] = L"/class";

// Registers exePath as the local server of the class under progId, with its files in
// dataDirectory. Classes go to HKLM under Wine (Wine 8 ignores HKCU classes for
// activation) and to the user's own classes on Windows, where "Outlook.Application" is
// refused so that a real Outlook is never replaced.
void RegisterStandIn(std::wstring_view exePath, std::wstring_view progId, std::wstring_view dataDirectory,
                     const CLSID& clsid = CLSID_PellorinOutlookStandIn);
// Removes progId when it names the class, and the class.
void UnregisterStandIn(std::wstring_view progId, const CLSID& clsid = CLSID_PellorinOutlookStandIn);
bool IsStandInRegisteredAs(std::wstring_view progId, const CLSID& clsid = CLSID_PellorinOutlookStandIn);

// From the registration; empty when the class is not registered.
std::wstring StandInDataDirectory(const CLSID& clsid = CLSID_PellorinOutlookStandIn);
std::wstring StandInStateFile(const std::wstring& dataDirectory);
std::wstring StandInLogFile(const std::wstring& dataDirectory);

// A missing state file is the default state.
TStandInState LoadStandInState(const std::wstring& dataDirectory);
// The same, parsed again only when the file was replaced: a large store is
// asked for every request. Process-wide; the reference stays valid.
TStandInState& CachedStandInState(const std::wstring& dataDirectory);
// How often the file has been read into the cache: a new count means a new state.
unsigned CachedStandInStateReads();
// Saves the cached state after a change to it.
void SaveCachedStandInState(const std::wstring& dataDirectory);
// Replaces the file in one step, so a reader never sees half of it.
void SaveStandInState(const std::wstring& dataDirectory, const TStandInState& state);

void AppendStandInLog(const std::wstring& dataDirectory, const TStandInRequest& request);
// Closes the hidden window of every instance started by hand (or of the one
// process given), and waits up to timeoutMs for each to exit.
void StopStandInsStartedByHand(DWORD onlyProcessId, DWORD timeoutMs);

std::vector<TStandInRequest> LoadStandInLog(const std::wstring& dataDirectory);
void DeleteStandInLog(const std::wstring& dataDirectory);
