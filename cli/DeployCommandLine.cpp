#include "cli/DeployCommandLine.h"

#include "cli/CommandLine.h"

bool IsDeployCommandLine(const std::vector<std::wstring>& arguments)
{
    return ActionOf(arguments) == TSyncRequest::TAction::Run && NamesDeployVerb(arguments);
}

TDeployRequest ParseDeployCommandLine(const std::vector<std::wstring>& arguments)
{
    const TCommandLine line = ParseCommandLine(arguments);
    TDeployRequest request;
    request.MailboxList = line[TOption::Mailboxes];
    request.Certificate = line[TOption::Certificate];
    request.SecretVariable = line[TOption::ClientSecretEnv];
    request.Journal = line[TOption::Journal];
    request.Report = line[TOption::Report];
    request.Colors = line.Has(TOption::Colors);
    request.DryRun = line.Has(TOption::DryRun);
    request.Json = line.Has(TOption::Json);
    if (!line.File)
        throw ESyncUsageError(L"no category list file given to \"deploy\"");
    if (request.MailboxList.has_value() == line.Has(TOption::AllMailboxes))
        throw ESyncUsageError(line.Has(TOption::AllMailboxes)
                                  ? L"either \"--mailboxes LIST\" or \"--all-mailboxes\", not both"
                                  : L"\"deploy\" needs \"--mailboxes LIST\" or \"--all-mailboxes\"");
    if (!line.Has(TOption::Tenant))
        throw ESyncUsageError(L"\"deploy\" needs \"--tenant\" and the organisation's tenant id or domain");
    if (!line.Has(TOption::ClientId))
        throw ESyncUsageError(L"\"deploy\" needs \"--client-id\" and the app registration's client id");
    if (request.Certificate.has_value() == request.SecretVariable.has_value())
        throw ESyncUsageError(request.Certificate
                                  ? L"either \"--certificate PFX\" or \"--client-secret-env NAME\", not both"
                                  : L"\"deploy\" needs \"--certificate PFX\" or \"--client-secret-env NAME\"");
    if (request.DryRun && request.Journal)
        throw ESyncUsageError(L"\"--dry-run\" writes nothing, a journal neither: leave out \"--journal\"");
    request.ListFile = *line.File;
    request.Tenant = *line[TOption::Tenant];
    request.ClientId = *line[TOption::ClientId];
    request.Concurrency = line.Concurrency.value_or(kDefaultConcurrency);
    return request;
}
