#pragma once
// What PellorinSync is asked to do, read from its command line.

#include "base/Errors.h"
#include "base/WaitLimit.h"

#include <optional>
#include <string>
#include <vector>

enum class TSyncVerb { List, ToOutlook, ToRegistry, Both, Export, Import, SignIn, SignOut, Compare };

// signin and signout, which work with Microsoft 365's sign-in alone: no
// Outlook, no registry, no store.
bool IsSignInVerb(TSyncVerb verb);

struct TSyncRequest {
    enum class TAction { Run, ShowHelp, ShowVersion };
    TAction Action = TAction::Run;
    TSyncVerb Verb = TSyncVerb::List;
    bool DryRun = false;
    bool Json = false;
    int WaitSeconds = kDefaultWaitSeconds;  // --wait: for a busy Outlook
    // The store to work with, by its entry name; absent for the default store.
    std::optional<std::wstring> StoreName;
    bool AllStores = false;
    // export and import: the list file, as given; compare's, when one is.
    std::wstring File;
    bool Registry = false;  // import --registry
    bool Colors = false;    // import --colors
    // --tenant and --client-id: Microsoft 365's, over what the registry configures.
    std::optional<std::wstring> TenantId;
    std::optional<std::wstring> ClientId;
};

// Bad usage; the message names what was wrong, and the usage text follows it.
class ESyncUsageError : public EException {
public:
    using EException::EException;
};

// The arguments after the program name. Verbs and options may come in any
// order and ignore letter case, as Windows' own tools do; "--help", "/?" or
// "--version" anywhere wins over everything else.
TSyncRequest ParseSyncCommandLine(const std::vector<std::wstring>& arguments);

// "list", "to-outlook", "to-registry", "both", "export", "import", "signin",
// "signout" or "compare".
const wchar_t* SyncVerbName(TSyncVerb verb);

// Each line ends in CR LF.
const wchar_t* SyncUsageText();
