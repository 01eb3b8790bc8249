#include "cli/DeployRun.h"

#include "base/Errors.h"
#include "base/Platform.h"
#include "base/Sha256.h"
#include "categories/ShownText.h"
#include "cli/ConsoleText.h"
#include "cli/DeployCommandLine.h"
#include "cli/DeployOutput.h"
#include "cli/SyncCommandLine.h"
#include "cli/SyncOutput.h"
#include "deploy/AppSession.h"
#include "deploy/DeployJournal.h"
#include "deploy/Deployment.h"
#include "deploy/MailboxList.h"
#include "deploy/TenantMailboxes.h"
#include "listfile/CategoryListFile.h"

#include <windows.h>

#include <memory>
#include <optional>

namespace {

enum TExit { kDone = 0, kFailed = 1, kBadInput = 2 };

// What stops the run before anything changes, with exit code 2.
class EBadInput : public EException {
public:
    using EException::EException;
};

// Deploy's messages end in a full stop, as the window's error boxes do.
void WriteError(std::wstring_view message)
{
    WriteSyncError(ErrorBoxText(OneLineMessage(message)));
}

struct TListRead {
    std::vector<TListFileEntry> Entries;
    std::string Sha256;
};

TListRead ReadList(const std::wstring& path)
{
    // Hashed on both sides of the read: the journal must name the list that
    // was deployed, not one that changed meanwhile.
    try {
        std::optional<std::string> before;
        try {
            before = LowerHex(Sha256OfFile(path));
        } catch (const EException&) {
            // The reader says why, in the list file's own words.
        }
        TCategoryListFile list = ReadCategoryListFile(path);
        const std::string after = LowerHex(Sha256OfFile(path));
        if (before != after)
            throw EBadInput(path + L" changed while it was read. Run again once it is saved.");
        for (const TListFileWarning& warning : list.Warnings)
            WriteError(warning.Message);
        for (const TListFileWarning& remark : list.Remarks)
            WriteError(remark.Message);
        if (list.Entries.empty())
            throw EBadInput(path + L" holds no category names: there is nothing to deploy.");
        return {std::move(list.Entries), after};
    } catch (const EListFileError& e) {
        throw EBadInput(e.Message());
    } catch (const EBadInput&) {
        throw;
    } catch (const EException& e) {
        throw EBadInput(L"Cannot read " + path + L": " + e.Message());
    }
}

std::optional<TMailboxListFile> ReadMailboxes(const TDeployRequest& request)
{
    if (!request.MailboxList)
        return std::nullopt;
    try {
        TMailboxListFile list = TMailboxListFile::Read(*request.MailboxList);
        for (const TMailboxListWarning& warning : list.Warnings())
            WriteError(*request.MailboxList + L", line " + std::to_wstring(warning.Line) + L": " + warning.Message);
        if (list.Count() == 0)
            throw EBadInput(*request.MailboxList + L" names no mailbox: there is nothing to deploy to.");
        return list;
    } catch (const EMailboxListError& e) {
        throw EBadInput(e.Message());
    }
}

class TRunOutput {
public:
    TRunOutput(const TDeployRequest& request, TDeployReport* report)
        : request_(request), output_(request, [](std::wstring_view text) {
              WriteText(GetStdHandle(STD_OUTPUT_HANDLE), text);
          }, IsConsoleHandle(GetStdHandle(STD_OUTPUT_HANDLE)), report)
    {
    }
    TDeployOutput& Progress() { return output_; }

    // The run never started: the error, and with --json the object that says so.
    int Refused(const std::wstring& message, int exit)
    {
        if (request_.Json)
            output_.End({nullptr, std::nullopt, message});
        WriteError(message);
        return exit;
    }

private:
    const TDeployRequest& request_;
    TDeployOutput output_;
};

}  // namespace

int RunDeployCommand(const TDeployRequest& request)
{
    std::unique_ptr<TDeployReport> report;
    std::unique_ptr<TRunOutput> output;
    try {
        const TListRead list = ReadList(request.ListFile);
        std::optional<TMailboxListFile> listed = ReadMailboxes(request);
        TAppSession session({request.Tenant, request.ClientId, request.Certificate, request.SecretVariable, request.Cloud});
        std::unique_ptr<TDeployJournal> journal;
        if (request.Journal)
            journal = std::make_unique<TDeployJournal>(*request.Journal,
                                                       TJournalHeader{list.Sha256, request.Tenant, request.Colors});
        // Signed in before the first mailbox, so that refused credentials end
        // the run with nothing changed, and before the report is made, so
        // that such a run leaves the last one's report as it was.
        session.SignIn();
        if (request.Report) {
            try {
                report = std::make_unique<TDeployReport>(*request.Report, request.Audit);
            } catch (const EException& e) {
                throw EBadInput(e.Message());
            }
        }
        output = std::make_unique<TRunOutput>(request, report.get());

        const std::wstring& graphUrl = session.GraphUrl();
        std::optional<TTenantMailboxes> tenant;
        IMailboxSource* source = nullptr;
        std::optional<std::size_t> total;
        if (listed) {
            source = &*listed;
            total = listed->Count();
        } else if (request.Group) {
            tenant.emplace(graphUrl, GraphGetWithAppToken(session.Http(), session.Tokens(), kGroupPermission),
                           TTenantScope::GroupMembers, *request.Group);
            source = &*tenant;
        } else {
            tenant.emplace(graphUrl, GraphGetWithAppToken(session.Http(), session.Tokens()),
                           TTenantScope::AllMailboxes);
            source = &*tenant;
        }
        TDeployOptions options;
        options.GraphUrl = graphUrl;
        options.Colors = request.Colors;
        options.DryRun = request.DryRun;
        options.Audit = request.Audit;
        options.Concurrency = request.Concurrency;
        const TDeployResult result =
            RunDeployment(session.Http(), session.Tokens(), list.Entries, *source, total, journal.get(), options, output->Progress());

        std::optional<std::wstring> error = result.Stopped;
        if (report) {
            try {
                report->Close();
            } catch (const EException& e) {
                error = error.value_or(e.Message());
            }
        }
        if (tenant)
            output->Progress().SharedMailboxes(tenant->Shared());
        output->Progress().End({&result, tenant ? std::optional(tenant->WithoutMail()) : std::nullopt, error});
        if (error)
            WriteError(*error);
        // An audit's differences fail a scheduled task as a failure does: someone should look.
        const bool differs = request.Audit && result.Counts.Changed > 0;
        return !error && result.Counts.Failed == 0 && !differs ? kDone : kFailed;
    } catch (const EBadInput& e) {
        return output ? output->Refused(e.Message(), kBadInput) : TRunOutput(request, nullptr).Refused(e.Message(), kBadInput);
    } catch (const ECredentialError& e) {
        return output ? output->Refused(e.Message(), kBadInput) : TRunOutput(request, nullptr).Refused(e.Message(), kBadInput);
    } catch (const EJournalRefused& e) {
        return TRunOutput(request, nullptr).Refused(e.Message(), kBadInput);
    } catch (const EUrlRefused& e) {
        return TRunOutput(request, nullptr).Refused(e.Message(), kBadInput);
    } catch (...) {
        const std::wstring message = CurrentExceptionMessage();
        return output ? output->Refused(message, kFailed) : TRunOutput(request, nullptr).Refused(message, kFailed);
    }
}
