#include "cli/SyncCommandLine.h"

#include "cli/CommandLine.h"

bool IsSignInVerb(TSyncVerb verb)
{
    return verb == TSyncVerb::SignIn || verb == TSyncVerb::SignOut;
}

TSyncRequest ParseSyncCommandLine(const std::vector<std::wstring>& arguments)
{
    const TCommandLine line = ParseCommandLine(arguments);
    TSyncRequest request;
    request.Action = line.Action;
    if (line.Action != TSyncRequest::TAction::Run)
        return request;
    if (line.Deploy)
        throw ESyncUsageError(L"unknown verb \"deploy\"");
    if (!line.Verb)
        throw ESyncUsageError(L"no verb given");
    RefuseOptionsNotOfVerb(line);
    request.Verb = *line.Verb;
    request.DryRun = line.Has(TOption::DryRun);
    request.Json = line.Has(TOption::Json);
    request.WaitSeconds = line.Wait.value_or(kDefaultWaitSeconds);
    request.StoreName = line[TOption::Store];
    request.AllStores = line.Has(TOption::AllStores);
    request.File = line.File.value_or(L"");
    request.Registry = line.Has(TOption::Registry);
    request.Colors = line.Has(TOption::Colors);
    request.TenantId = line[TOption::Tenant];
    request.ClientId = line[TOption::ClientId];
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
           L"  PellorinSync deploy FILE (--mailboxes LIST | --all-mailboxes | --group ID)\r\n"
           L"               --tenant T --client-id C (--certificate PFX | --client-secret-env NAME)\r\n"
           L"               [--colors] [--dry-run] [--json] [--concurrency N] [--journal PATH]\r\n"
           L"               [--report PATH]\r\n"
           L"  PellorinSync audit FILE (--mailboxes LIST | --all-mailboxes | --group ID)\r\n"
           L"               --tenant T --client-id C (--certificate PFX | --client-secret-env NAME)\r\n"
           L"               [--json] [--concurrency N] [--report PATH]\r\n"
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
           L"  audit         tells, changing nothing, what each mailbox lacks of FILE, where\r\n"
           L"                its colours differ and which names it holds beyond FILE\r\n"
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
           L"  --all-mailboxes     deploy, audit: every user of the organisation with mail,\r\n"
           L"                      shared mailboxes included\r\n"
           L"  --group ID          deploy, audit: the members of this group, nested groups' too\r\n"
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
           L"(then nothing was changed).\r\n"
           L"audit: 0 all alike, 1 some differ or failed, 2 bad input.\r\n";
}
