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
    request.Audit = line.Audit;
    const std::wstring verb = line.Audit ? L"\"audit\"" : L"\"deploy\"";
    request.MailboxList = line[TOption::Mailboxes];
    request.Group = line[TOption::Group];
    request.Certificate = line[TOption::Certificate];
    request.SecretVariable = line[TOption::ClientSecretEnv];
    request.Journal = line[TOption::Journal];
    request.Report = line[TOption::Report];
    request.Colors = line.Has(TOption::Colors);
    request.DryRun = line.Has(TOption::DryRun);
    request.Json = line.Has(TOption::Json);
    if (!line.File)
        throw ESyncUsageError(L"no category list file given to " + verb);
    const int choices = request.MailboxList.has_value() + line.Has(TOption::AllMailboxes) + request.Group.has_value();
    if (choices == 0)
        throw ESyncUsageError(verb + L" needs \"--mailboxes LIST\" or \"--all-mailboxes\" or \"--group ID\"");
    if (choices > 1)
        throw ESyncUsageError(request.Group ? L"one of \"--mailboxes LIST\", \"--all-mailboxes\" and \"--group ID\", "
                                              L"not two"
                                            : L"either \"--mailboxes LIST\" or \"--all-mailboxes\", not both");
    if (!line.Has(TOption::Tenant))
        throw ESyncUsageError(verb + L" needs \"--tenant\" and the organisation's tenant id or domain");
    if (!line.Has(TOption::ClientId))
        throw ESyncUsageError(verb + L" needs \"--client-id\" and the app registration's client id");
    if (request.Certificate.has_value() == request.SecretVariable.has_value())
        throw ESyncUsageError(request.Certificate
                                  ? L"either \"--certificate PFX\" or \"--client-secret-env NAME\", not both"
                                  : verb + L" needs \"--certificate PFX\" or \"--client-secret-env NAME\"");
    if (request.DryRun && request.Journal)
        throw ESyncUsageError(L"\"--dry-run\" writes nothing, a journal neither: leave out \"--journal\"");
    request.ListFile = *line.File;
    request.Tenant = *line[TOption::Tenant];
    // Checked where the clouds are known, before anything is sent.
    request.Cloud = line[TOption::Cloud].value_or(L"global");
    request.ClientId = *line[TOption::ClientId];
    request.Concurrency = line.Concurrency.value_or(kDefaultConcurrency);
    return request;
}
