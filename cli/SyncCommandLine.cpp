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
