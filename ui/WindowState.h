#pragma once
// The main window's state, fixed once the Outlook version is known (or its
// connection has failed) and kept for the whole run.

#include <string>

struct TWindowState {
    std::wstring OlVersionText;  // LabelOlVersion
    bool StoreInUse;             // commands, memos and the first Refresh
    bool ShowNoPstUsed;          // LabelNoPstUsed
};

// For a detected Outlook. A version with no row of its own shows what Outlook
// reported rather than the label's design text.
TWindowState WindowStateForVersion(const std::string& majorVersion, const std::wstring& reportedVersion);

// After the connection could not be opened: nothing to work on, so nothing offered.
TWindowState WindowStateWithoutOutlook();

// No classic Outlook, but Microsoft 365's mailbox to work with: every command.
TWindowState WindowStateWithMailboxAlone();
