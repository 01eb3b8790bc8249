#pragma once
// PellorinSync's export and import: the list file named on the command line,
// read whole and checked before Outlook is even opened, and the verbs run over
// the store choice as every verb runs.

#include "cli/SyncRun.h"
#include "commands/ListFileCommands.h"

#include <string>

// The path as Windows completes it from the current folder; as given when it
// cannot.
std::wstring ListFileFullPath(const std::wstring& path);

// Reads and checks the import's whole file. For a file that cannot be used the
// result holds its error ("FILE, line N: WHAT") and exit code 2, and it answers
// false: nothing may happen then. The rows it skipped become the result's
// warnings.
bool ReadImportFile(const TSyncRequest& request, TSyncResult& result, TCategoryListFile& file);

TImportOptions ImportOptionsOf(const TSyncRequest& request);

// Writes the chosen entry's names and colours to the request's file, whole or
// not at all; the result holds what was written once it is. Raises on failure.
void RunExport(const TSyncRequest& request, TProgramState& state, TSyncResult& result);

// What import --colors changed, or would, and what the stores turned away.
void TakeRecolours(TSyncResult& result, const TProgramState& state, const TImportReport& report);
