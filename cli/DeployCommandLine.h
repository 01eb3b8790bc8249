#pragma once
// The command line of "PellorinSync deploy": one category list file to many
// mailboxes of an organisation through Microsoft Graph.

#include "deploy/Deployment.h"

#include <optional>
#include <string>
#include <vector>

struct TDeployRequest {
    std::wstring ListFile;
    bool Audit = false;  // "audit": reads each mailbox, changes nothing
    std::optional<std::wstring> MailboxList;  // --mailboxes LIST
    std::optional<std::wstring> Group;        // --group ID; neither: --all-mailboxes
    std::wstring Tenant;
    std::wstring Cloud = L"global";  // --cloud: global, usgov or usgovdod
    std::wstring ClientId;
    std::optional<std::wstring> Certificate;     // --certificate PFX
    std::optional<std::wstring> SecretVariable;  // --client-secret-env NAME
    bool Colors = false;
    bool DryRun = false;
    bool Json = false;
    int Concurrency = kDefaultConcurrency;
    std::optional<std::wstring> Journal;
    std::optional<std::wstring> Report;
};

// True when the verb of the command line is "deploy" or "audit", letter case ignored,
// wherever it stands among the options, and neither help nor the version is
// asked for (those stay with the other verbs' parser).
bool IsDeployCommandLine(const std::vector<std::wstring>& arguments);

// The arguments after the program name, "deploy" or "audit" among them. Options come in
// any order, their names ignoring letter case; their values are taken as
// they are. Raises ESyncUsageError naming what is wrong.
TDeployRequest ParseDeployCommandLine(const std::vector<std::wstring>& arguments);
