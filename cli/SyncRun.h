#pragma once
// One run of a PellorinSync verb: Outlook opened as the window opens it, both
// lists read as Refresh reads them, and the copy made by the window's own code.

#include "cli/SyncCommandLine.h"
#include "commands/Commands.h"
#include "commands/Compare.h"
#include "listfile/CategoryListFile.h"
#include "sources/ProgramSources.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class TSyncExit { Done = 0, Failed = 1, BadUsage = 2, StoreNotInUse = 3 };

// A store of the profile, as the run leaves it.
struct TSyncStore {
    // Its entry name; absent where Outlook does not tell its stores apart.
    std::optional<std::wstring> Name;
    bool Default = false;
    bool Readable = true;
    std::optional<std::wstring> Error;
    std::optional<std::vector<std::wstring>> Names;  // absent when unreadable
    std::vector<std::wstring> AddedNames;            // in a dry run: what would be
};

// A name a store would not add.
struct TSyncRefusal {
    std::wstring Name;
    std::wstring Error;  // the store's description of why
    std::size_t Store = 0;  // an index into TSyncResult::Stores; past its end when not there
};

// A category that import --colors gave the file's colour, or that its store
// would not change.
struct TSyncRecolour {
    std::wstring Name;  // as the store holds it
    TCategoryColor From;
    TCategoryColor To;
    std::wstring Error;     // the store's reason, for a change turned away
    std::size_t Store = 0;  // an index into TSyncResult::Stores; past its end when not there
};

struct TSyncResult {
    TSyncExit Exit = TSyncExit::Done;
    bool Connected = false;
    // Classic Outlook could not be opened, and the Microsoft 365 mailbox
    // stands in for its stores: the registry and the mailbox, with no error.
    bool WithoutOutlook = false;
    std::wstring OutlookVersion;      // as Outlook reported it
    std::string OutlookMajorVersion;  // what the version decision went by
    bool StoreInUse = false;
    // In the sets' order; absent when not read (or not read completely). After
    // a copy: as its closing Refresh read them; after a failure: the registry
    // read again, the store as read plus each name added to it.
    std::optional<std::vector<std::wstring>> RegistryNames;
    std::optional<std::vector<std::wstring>> StoreNames;
    // What was added (in a dry run: what would be), each side in order.
    std::vector<std::wstring> AddedToOutlook;
    std::vector<std::wstring> AddedToRegistry;
    // Store names holding ";", once the registry side was decided.
    std::vector<std::wstring> NotCopiedToRegistry;
    // Names Outlook would not add, in order, each with Outlook's description.
    std::vector<TSyncRefusal> RefusedByOutlook;
    // Every store in chooser order, once they were all read; and the chosen
    // one's index when it could not be read.
    std::vector<TSyncStore> Stores;
    std::optional<std::size_t> UnreadableChoice;
    // export and import: the list file's full path.
    std::optional<std::wstring> File;
    // import: the rows of the file that were skipped, "FILE, line N: skipped:
    // ...", for standard error.
    std::vector<std::wstring> Warnings;
    // export: each name written, with its colour, in the file's order; and
    // the names left out, which the file could not give back.
    std::vector<TListFileEntry> Exported;
    std::vector<std::wstring> NotExported;
    // import --colors: each change of colour (in a dry run: what would be),
    // and each change a store turned away.
    std::vector<TSyncRecolour> Recoloured;
    std::vector<TSyncRecolour> RecolourRefused;
    // Each version's master list of a type Pellorin cannot read, as the last
    // read of the registry met them: the run fails, however the rest went.
    std::vector<TUnreadableMasterList> RegistryUnreadable;
    // compare: where the sides differ, once every side was read.
    std::optional<TComparison> Comparison;
    // The text the window's error box would show, on one line, and what to do
    // about it (empty when there is no hint for the failure).
    std::optional<std::wstring> Error;
    std::wstring ErrorHint;
};

// Where plain output's lines go the moment they are known: standard output.
using TSyncLineWriter = std::function<void(std::wstring_view)>;

// COM must be initialised on the calling thread. Every reference to Outlook is
// released before it returns. Without --json, each step of a copy goes to
// write as it happens.
TSyncResult RunSync(const TSyncRequest& request, const TSyncLineWriter& write,
                    std::wstring_view progId = L"Outlook.Application");

// The run as opening the sources left it. With the mailbox alone, Outlook's
// failure is no failure of the run (WithoutOutlook), and what the list file
// gave stays.
void TakeOpening(TSyncResult& result, const TOpening& opening);

// The verb once Outlook was opened, or failed to open: then result holds the
// failure and Connected is false, and only list has something to report. The
// state holds the detected version and the sources of the stores.
// For import, importFile is the file ReadImportFile read (cli/FileVerbs.h).
// mailbox, where Microsoft 365 is configured, is among the sources. A verb
// that needs it while nobody is signed in (without Outlook, or where --store
// asks for it) fails with kSignInFirstText.
void RunSyncVerb(const TSyncRequest& request, TProgramState& state, TSyncResult& result,
                 const TSyncLineWriter& write, const TCategoryListFile* importFile = nullptr,
                 TMailboxSource* mailbox = nullptr);
