#pragma once
// What "PellorinSync deploy" tells while it runs and when it ends: a line per
// mailbox that changed or failed, written as it happens; on a console a
// progress line rewritten in place; a summary at the end. Or, with --json,
// one object: the mailboxes as they finish, then the summary. And the
// --report CSV of every mailbox.
//
// Each mailbox is written out as it finishes and then forgotten, so output
// costs no memory per mailbox however many there are.

#include "base/UniqueHandle.h"
#include "cli/DeployCommandLine.h"
#include "deploy/Deployment.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The --report file: "Mailbox,Result,Added,Recoloured,Error", UTF-8 with a
// byte-order mark and CR LF, as Excel opens it; every text field made
// spreadsheet-safe as the list file's names are.
class TDeployReport {
public:
    // Raises EException when the file cannot be made.
    // audit: one row per mailbox and difference kind, "Mailbox,Difference,Names,Error",
    // so that a filter on one column shows one kind.
    explicit TDeployReport(const std::wstring& path, bool audit = false);
    TDeployReport(const TDeployReport&) = delete;
    TDeployReport& operator=(const TDeployReport&) = delete;

    void Skipped(const TMailbox& mailbox);
    void Finished(const TMailboxOutcome& outcome, bool dryRun);
    // Raises EException when the disk refused a row.
    void Close();

private:
    void Row(std::wstring_view mailbox, std::wstring_view result, std::wstring_view added,
             std::wstring_view recoloured, std::wstring_view error);
    void Write(const std::wstring& line);

    void AuditRow(std::wstring_view mailbox, std::wstring_view kind, const std::vector<std::wstring>& names,
                  std::wstring_view error);

    std::wstring path_;
    bool audit_ = false;
    UniqueKernelHandle file_;
    bool failed_ = false;
};

// A mailbox's line, without its line end; empty for a mailbox that gained
// nothing. Outside texts (the name, Graph's message) as ShownOnLine shows them.
std::wstring MailboxLine(const TMailboxOutcome& outcome, bool dryRun);
// An audit's: "name: lacks 3, 1 colour differs, 2 extra"; empty for one alike.
std::wstring AuditLine(const TMailboxOutcome& outcome);

// "1234 of 10000 mailboxes, 5678 names added, 3 failed, 45.2/s, 3 min 14 s left".
// An audit's says how many differ instead of names added.
std::wstring ProgressLine(const TDeployCounts& counts, bool audit = false);

// "42 s", "3 min 14 s", "2 h 5 min".
std::wstring DurationText(double seconds);

struct TDeployEnd {
    const TDeployResult* Result = nullptr;      // none when the run never started
    std::optional<std::size_t> WithoutMail;     // with --all-mailboxes: users left out
    std::optional<std::wstring> Error;          // also written to standard error
};

class TDeployOutput : public IDeployProgress {
public:
    using TWrite = std::function<void(std::wstring_view)>;

    // progress: a console that shows the progress line (never with --json).
    TDeployOutput(const TDeployRequest& request, TWrite write, bool progress, TDeployReport* report);

    void Skipped(const TMailbox& mailbox, const TDeployCounts& counts) override;
    void Finished(const TMailboxOutcome& outcome, const TDeployCounts& counts) override;
    void Tick(const TDeployCounts& counts) override;

    // With --all-mailboxes or --group: the shared mailboxes among those done,
    // which the summary counts apart. Before End.
    void SharedMailboxes(std::size_t count) { shared_ = count; }

    // The summary, or the end of the JSON object (all of it when no mailbox
    // was written).
    void End(const TDeployEnd& end);

private:
    void StartJson();
    void WriteItem(const std::wstring& item);
    void ShowProgress(const TDeployCounts& counts, bool now);
    void ClearProgress();

    void EndAudit(const TDeployEnd& end);

    const bool dryRun_;
    const bool audit_;
    const bool json_;
    const bool progress_;
    TWrite write_;
    TDeployReport* report_;
    std::optional<std::size_t> shared_;
    bool jsonStarted_ = false;
    bool firstMailbox_ = true;
    std::size_t shownWidth_ = 0;
    unsigned long long lastShown_ = 0;
};
