#include "cli/SyncCommandLine.h"

#include "base/Platform.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <optional>
#include <utility>

namespace {

struct TVerbName {
    TSyncVerb Verb;
    const wchar_t* Name;
};

constexpr TVerbName kVerbs[] = {
    {TSyncVerb::List, L"list"},
    {TSyncVerb::ToOutlook, L"to-outlook"},
    {TSyncVerb::ToRegistry, L"to-registry"},
    {TSyncVerb::Both, L"both"},
    {TSyncVerb::Export, L"export"},
    {TSyncVerb::Import, L"import"},
    {TSyncVerb::SignIn, L"signin"},
    {TSyncVerb::SignOut, L"signout"},
};

bool TakesFile(TSyncVerb verb)
{
    return verb == TSyncVerb::Export || verb == TSyncVerb::Import;
}

bool Is(const std::wstring& argument, const wchar_t* name)
{
    return SameTextIgnoringCase(argument, name);
}

std::wstring Quoted(const std::wstring& argument)
{
    return L"\"" + argument + L"\"";
}

// Whole seconds in digits: "-5", "1e3" or " 5" are no number of seconds.
int WaitSeconds(const std::wstring* value)
{
    const std::wstring range = L"\"--wait\" needs a number of seconds from 0 to " + std::to_wstring(kMaxWaitSeconds);
    if (!value)
        throw ESyncUsageError(range);
    const bool digits = !value->empty() && value->find_first_not_of(L"0123456789") == std::wstring::npos;
    // Too many digits saturate, and so stay out of range.
    const unsigned long seconds = digits ? std::wcstoul(value->c_str(), nullptr, 10) : 0;
    if (!digits || seconds > static_cast<unsigned long>(kMaxWaitSeconds))
        throw ESyncUsageError(range + L", not " + Quoted(*value));
    return static_cast<int>(seconds);
}

// An option's value: the next argument, taken as it is.
std::wstring ValueOf(const std::wstring& option, std::vector<std::wstring>::const_iterator& it,
                     std::vector<std::wstring>::const_iterator end)
{
    if (++it == end)
        throw ESyncUsageError(L"no value after " + Quoted(option));
    return *it;
}

}  // namespace

bool IsSignInVerb(TSyncVerb verb)
{
    return verb == TSyncVerb::SignIn || verb == TSyncVerb::SignOut;
}

const wchar_t* SyncVerbName(TSyncVerb verb)
{
    for (const TVerbName& entry : kVerbs) {
        if (entry.Verb == verb)
            return entry.Name;
    }
    return L"";
}

TSyncRequest ParseSyncCommandLine(const std::vector<std::wstring>& arguments)
{
    TSyncRequest request;
    for (const auto& [name, action] : {std::pair{L"--help", TSyncRequest::TAction::ShowHelp},
                                       {L"/?", TSyncRequest::TAction::ShowHelp},
                                       {L"--version", TSyncRequest::TAction::ShowVersion}}) {
        for (const std::wstring& argument : arguments) {
            if (Is(argument, name)) {
                request.Action = action;
                return request;
            }
        }
    }
    std::optional<TSyncVerb> verb;
    for (auto it = arguments.begin(); it != arguments.end(); ++it) {
        const std::wstring& argument = *it;
        if (Is(argument, L"--dry-run")) {
            request.DryRun = true;
        } else if (Is(argument, L"--json")) {
            request.Json = true;
        } else if (Is(argument, L"--registry")) {
            request.Registry = true;
        } else if (Is(argument, L"--colors")) {
            request.Colors = true;
        } else if (Is(argument, L"--wait")) {
            const bool last = std::next(it) == arguments.end();
            request.WaitSeconds = WaitSeconds(last ? nullptr : &*++it);
        } else if (Is(argument, L"--store") || Is(argument, L"--all-stores")) {
            if (request.StoreName || request.AllStores)
                throw ESyncUsageError(L"one store choice at a time, not also " + Quoted(argument));
            if (Is(argument, L"--all-stores")) {
                request.AllStores = true;
            } else if (++it == arguments.end()) {
                throw ESyncUsageError(L"no store name after \"--store\"");
            } else {
                // Taken as it is, even when it looks like an option: a store's name can.
                request.StoreName = *it;
            }
        } else if (Is(argument, L"--tenant")) {
            request.TenantId = ValueOf(argument, it, arguments.end());
        } else if (Is(argument, L"--client-id")) {
            request.ClientId = ValueOf(argument, it, arguments.end());
        } else if (argument.starts_with(L"-") || argument.starts_with(L"/")) {
            throw ESyncUsageError(L"unknown option " + Quoted(argument));
        } else {
            const auto known = std::find_if(std::begin(kVerbs), std::end(kVerbs),
                                            [&](const TVerbName& entry) { return Is(argument, entry.Name); });
            if (known == std::end(kVerbs))
                throw ESyncUsageError(L"unknown verb " + Quoted(argument));
            if (verb)
                throw ESyncUsageError(L"one verb at a time, not also " + Quoted(argument));
            verb = known->Verb;
            if (TakesFile(*verb)) {
                // Taken as it is, even when it looks like an option or a verb: a file's name can.
                if (++it == arguments.end())
                    throw ESyncUsageError(L"no file name after " + Quoted(argument));
                request.File = *it;
            }
        }
    }
    if (!verb)
        throw ESyncUsageError(L"no verb given");
    if (*verb == TSyncVerb::List && request.DryRun)
        throw ESyncUsageError(L"unknown option \"--dry-run\" for \"list\", which changes nothing");
    if (*verb == TSyncVerb::Export && request.DryRun)
        throw ESyncUsageError(L"unknown option \"--dry-run\" for \"export\", which changes no category");
    for (const auto& [given, name] : {std::pair{request.Registry, L"--registry"}, {request.Colors, L"--colors"}}) {
        if (given && *verb != TSyncVerb::Import)
            throw ESyncUsageError(L"unknown option " + Quoted(name) + L" for " + Quoted(SyncVerbName(*verb)) +
                                  L": only \"import\" takes it");
    }
    if (IsSignInVerb(*verb)) {
        for (const auto& [given, option] : {std::pair{request.DryRun, L"--dry-run"}, {request.Json, L"--json"},
                                            {request.StoreName.has_value(), L"--store"},
                                            {request.AllStores, L"--all-stores"}}) {
            if (given)
                throw ESyncUsageError(L"unknown option " + Quoted(option) + L" for " + Quoted(SyncVerbName(*verb)));
        }
    }
    request.Verb = *verb;
    return request;
}

const wchar_t* SyncUsageText()
{
    return L"Usage:\r\n"
           L"  PellorinSync list        [--json]\r\n"
           L"  PellorinSync to-outlook  [--dry-run] [--json]\r\n"
           L"  PellorinSync to-registry [--dry-run] [--json]\r\n"
           L"  PellorinSync both        [--dry-run] [--json]\r\n"
           L"  PellorinSync export FILE [--json]\r\n"
           L"  PellorinSync import FILE [--registry] [--colors] [--dry-run] [--json]\r\n"
           L"  PellorinSync signin\r\n"
           L"  PellorinSync signout\r\n"
           L"  PellorinSync deploy FILE (--mailboxes LIST | --all-mailboxes)\r\n"
           L"               --tenant T --client-id C (--certificate PFX | --client-secret-env NAME)\r\n"
           L"               [--colors] [--dry-run] [--json] [--concurrency N] [--journal PATH]\r\n"
           L"               [--report PATH]\r\n"
           L"  PellorinSync --help | /?\r\n"
           L"  PellorinSync --version\r\n"
           L"list, the copies, export and import also take [--store NAME | --all-stores] and\r\n"
           L"[--wait SECONDS]; every verb takes [--tenant ID] and [--client-id ID].\r\n"
           L"\r\n"
           L"Keeps Outlook's category names in step between the registry's master list\r\n"
           L"(Outlook 2000 to 2003) and the Outlook stores (Outlook 2007 and later).\r\n"
           L"Names are only ever added: none is removed or renamed.\r\n"
           L"\r\n"
           L"  list          the Outlook version, the registry's names and Outlook's names\r\n"
           L"  to-outlook    adds the registry's names that Outlook lacks  (Registry ---> PST)\r\n"
           L"  to-registry   adds Outlook's names that the registry lacks  (Registry <--- PST)\r\n"
           L"  both          both of these                                 (Registry <---> PST)\r\n"
           L"  export FILE   writes Outlook's names and colours to a category list file\r\n"
           L"  import FILE   adds the file's names that Outlook lacks, with the file's colours\r\n"
           L"                FILE is CSV (DisplayName,Color), or Graph's JSON for a .json name\r\n"
           L"  signin        signs in to Microsoft 365: its mailbox becomes one more store\r\n"
           L"  signout       removes the Microsoft 365 sign-in kept on this computer\r\n"
           L"  deploy        gives every mailbox listed, through Microsoft Graph, the names of\r\n"
           L"                the category list FILE that it lacks (see README.txt)\r\n"
           L"\r\n"
           L"  --store NAME    works with that store of the Outlook profile, named as the\r\n"
           L"                  window's store list names it (default: the default store);\r\n"
           L"                  \"m365\" names the Microsoft 365 mailbox\r\n"
           L"  --all-stores    works with every store of the Outlook profile, and with the\r\n"
           L"                  Microsoft 365 mailbox when signed in\r\n"
           L"  --wait SECONDS  waits up to this long for a busy Outlook or Microsoft 365, or\r\n"
           L"                  for another copy to finish, 0 to 3600 (default 60)\r\n"
           L"  --registry      import: adds the file's names to the registry's list too\r\n"
           L"  --colors        import, deploy: gives categories that exist the file's colour too\r\n"
           L"  --dry-run       prints what would change, and changes nothing\r\n"
           L"  --json          prints one JSON object instead of lines\r\n"
           L"  --tenant ID     Microsoft 365's tenant, over the one the registry configures\r\n"
           L"  --client-id ID  the app registration's client id, over the configured one\r\n"
           L"\r\n"
           L"  --mailboxes LIST    deploy: a text file of user principal names or object ids,\r\n"
           L"                      or a CSV file with a column UserPrincipalName, Mail or Id\r\n"
           L"  --all-mailboxes     deploy: every enabled user of the organisation with mail\r\n"
           L"  --certificate PFX   signs in with this certificate; its password is read from\r\n"
           L"                      the environment variable PELLORIN_PFX_PASSWORD\r\n"
           L"  --client-secret-env NAME  signs in with the client secret in this variable\r\n"
           L"  --concurrency N     mailboxes at once, 1 to 64 (default 16)\r\n"
           L"  --journal PATH      notes each mailbox done; run again with it to go on\r\n"
           L"  --report PATH       writes a CSV file of every mailbox\r\n"
           L"\r\n"
           L"Exit codes: 0 done, 1 failed, 2 bad usage or a list file that cannot be used,\r\n"
           L"3 this Outlook does not keep its categories in the store.\r\n"
           L"deploy: 0 every mailbox done, 1 some failed, 2 bad input, credentials or consent\r\n"
           L"(then nothing was changed).\r\n";
}
