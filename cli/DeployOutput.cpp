#include "cli/DeployOutput.h"

#include "base/Errors.h"
#include "base/Files.h"
#include "base/Platform.h"
#include "base/SystemErrorText.h"
#include "categories/ShownText.h"
#include "cli/JsonText.h"
#include "listfile/CategoryListFile.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// The progress line is redrawn at most this often: a console write is slow,
// and mailboxes finish far faster than anyone reads.
constexpr ULONGLONG kProgressEveryMs = 200;

// One mailbox of the JSON object's "mailboxes".
std::wstring JsonMailbox(const TMailbox& mailbox, std::wstring_view result, const std::vector<std::wstring>& added,
                         const std::vector<std::wstring>& recoloured, const std::optional<std::wstring>& error)
{
    return L"{\"mailbox\":" + JsonString(mailbox.Address) +
           L",\"name\":" + JsonString(mailbox.Name.empty() ? mailbox.Address : mailbox.Name) +
           L",\"result\":" + JsonString(result) + L",\"added\":" + JsonStrings(added) +
           L",\"recoloured\":" + JsonStrings(recoloured) + L",\"error\":" + JsonStringOrNull(error) + L"}";
}

std::wstring Joined(const std::vector<std::wstring>& texts)
{
    std::wstring joined;
    for (const std::wstring& text : texts)
        joined += (joined.empty() ? L"" : L"; ") + text;
    return joined;
}

std::wstring Count(std::size_t n, const wchar_t* one, const wchar_t* many)
{
    return std::to_wstring(n) + L" " + (n == 1 ? one : many);
}

std::wstring ResultName(EMailboxResult result)
{
    return MailboxResultName(result);
}

std::wstring AuditResultName(EMailboxResult result)
{
    return result == EMailboxResult::Failed ? L"failed" : result == EMailboxResult::Changed ? L"differs" : L"alike";
}

std::wstring JsonAuditMailbox(const TMailboxOutcome& outcome)
{
    const TMailbox& mailbox = outcome.Mailbox;
    return L"{\"mailbox\":" + JsonString(mailbox.Address) +
           L",\"name\":" + JsonString(mailbox.Name.empty() ? mailbox.Address : mailbox.Name) +
           L",\"result\":" + JsonString(AuditResultName(outcome.Result)) + L",\"lacks\":" + JsonStrings(outcome.Added) +
           L",\"colorDiffers\":" + JsonStrings(outcome.Recoloured) + L",\"extra\":" + JsonStrings(outcome.Extra) +
           L",\"error\":" +
           JsonStringOrNull(outcome.Result == EMailboxResult::Failed ? std::optional(outcome.Error) : std::nullopt) +
           L"}";
}

}  // namespace

std::wstring DurationText(double seconds)
{
    const long long whole = std::llround(std::max(seconds, 0.0));
    if (whole < 60)
        return std::to_wstring(whole) + L" s";
    if (whole < 3600)
        return std::to_wstring(whole / 60) + L" min " + std::to_wstring(whole % 60) + L" s";
    return std::to_wstring(whole / 3600) + L" h " + std::to_wstring(whole % 3600 / 60) + L" min";
}

std::wstring MailboxLine(const TMailboxOutcome& outcome, bool dryRun)
{
    const std::wstring name = ShownOnLine(outcome.Mailbox.Name.empty() ? outcome.Mailbox.Address : outcome.Mailbox.Name);
    if (outcome.Result == EMailboxResult::Failed)
        return name + L": failed: " + ShownOnLine(outcome.Error);
    if (outcome.Result == EMailboxResult::Unchanged)
        return {};
    std::wstring parts;
    if (!outcome.Added.empty())
        parts = (dryRun ? L"would add " : L"added ") + std::to_wstring(outcome.Added.size());
    if (!outcome.Recoloured.empty())
        parts += (parts.empty() ? L"" : L", ") + std::wstring(dryRun ? L"would recolour " : L"recoloured ") +
                 std::to_wstring(outcome.Recoloured.size());
    return name + L": " + parts;
}

std::wstring AuditLine(const TMailboxOutcome& outcome)
{
    const std::wstring name = ShownOnLine(outcome.Mailbox.Name.empty() ? outcome.Mailbox.Address : outcome.Mailbox.Name);
    if (outcome.Result == EMailboxResult::Failed)
        return name + L": failed: " + ShownOnLine(outcome.Error);
    std::wstring parts;
    const auto part = [&](std::wstring text) { parts += (parts.empty() ? L"" : L", ") + text; };
    if (!outcome.Added.empty())
        part(L"lacks " + std::to_wstring(outcome.Added.size()));
    if (!outcome.Recoloured.empty())
        part(Count(outcome.Recoloured.size(), L"colour differs", L"colours differ"));
    if (!outcome.Extra.empty())
        part(std::to_wstring(outcome.Extra.size()) + L" extra");
    return parts.empty() ? parts : name + L": " + parts;
}

std::wstring ProgressLine(const TDeployCounts& counts, bool audit)
{
    const std::size_t through = counts.Done() + counts.Skipped;
    std::wstring line = std::to_wstring(through);
    if (counts.Total)
        line += L" of " + std::to_wstring(*counts.Total);
    line += L" mailboxes, " +
            (audit ? std::to_wstring(counts.Changed) + L" differ" : Count(counts.NamesAdded, L"name added", L"names added")) +
            L", " + std::to_wstring(counts.Failed) + L" failed";
    if (counts.Seconds >= 1 && counts.Done() > 0) {
        const double rate = counts.Done() / counts.Seconds;
        wchar_t text[32];
        std::swprintf(text, std::size(text), L"%.1f", rate);
        line += L", " + std::wstring(text) + L"/s";
        if (counts.Total && *counts.Total >= through)
            line += L", " + DurationText((*counts.Total - through) / rate) + L" left";
    }
    return line;
}

TDeployReport::TDeployReport(const std::wstring& path, bool audit) : path_(path), audit_(audit)
{
    file_ = OwnedFile(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_)
        throw EException(L"Cannot write the report " + path + L": " + SystemErrorText(GetLastError()));
    if (audit_) {
        Write(L"\xFEFFMailbox,Difference,Names,Error\r\n");
        return;
    }
    Row(L"\xFEFFMailbox", L"Result", L"Added", L"Recoloured", L"Error");
}

void TDeployReport::AuditRow(std::wstring_view mailbox, std::wstring_view kind, const std::vector<std::wstring>& names,
                             std::wstring_view error)
{
    Write(SpreadsheetSafeCsvField(mailbox) + L"," + SpreadsheetSafeCsvField(kind) + L"," +
          SpreadsheetSafeCsvField(Joined(names)) + L"," + SpreadsheetSafeCsvField(error) + L"\r\n");
}

void TDeployReport::Row(std::wstring_view mailbox, std::wstring_view result, std::wstring_view added,
                        std::wstring_view recoloured, std::wstring_view error)
{
    // The header's mark stays outside the field rule.
    std::wstring line = mailbox.starts_with(L'\xFEFF') ? std::wstring(mailbox) : SpreadsheetSafeCsvField(mailbox);
    for (const std::wstring_view field : {result, added, recoloured, error})
        line += L"," + SpreadsheetSafeCsvField(field);
    Write(line + L"\r\n");
}

void TDeployReport::Write(const std::wstring& line)
{
    const std::string bytes = ToUtf8(line);
    DWORD written = 0;
    if (!failed_ && (!WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                                nullptr) ||
                     written != bytes.size()))
        failed_ = true;
}

void TDeployReport::Skipped(const TMailbox& mailbox)
{
    Row(mailbox.Name.empty() ? mailbox.Address : mailbox.Name, L"skipped", L"", L"", L"");
}

void TDeployReport::Finished(const TMailboxOutcome& outcome, bool)
{
    const TMailbox& mailbox = outcome.Mailbox;
    if (audit_) {
        const std::wstring& name = mailbox.Name.empty() ? mailbox.Address : mailbox.Name;
        if (outcome.Result == EMailboxResult::Failed) {
            AuditRow(name, L"failed", {}, outcome.Error);
            return;
        }
        if (outcome.Result == EMailboxResult::Unchanged)
            AuditRow(name, L"alike", {}, L"");
        if (!outcome.Added.empty())
            AuditRow(name, L"lacks", outcome.Added, L"");
        if (!outcome.Recoloured.empty())
            AuditRow(name, L"colour differs", outcome.Recoloured, L"");
        if (!outcome.Extra.empty())
            AuditRow(name, L"extra", outcome.Extra, L"");
        return;
    }
    Row(mailbox.Name.empty() ? mailbox.Address : mailbox.Name, ResultName(outcome.Result), Joined(outcome.Added),
        Joined(outcome.Recoloured), outcome.Error);
}

void TDeployReport::Close()
{
    const UniqueKernelHandle file = std::move(file_);
    const bool flushed = FlushFileBuffers(file.get());
    const DWORD error = GetLastError();
    if (failed_ || !flushed)
        throw EException(L"Cannot write the report " + path_ + L": " + SystemErrorText(failed_ ? ERROR_WRITE_FAULT : error));
}

TDeployOutput::TDeployOutput(const TDeployRequest& request, TWrite write, bool progress, TDeployReport* report)
    : dryRun_(request.DryRun || request.Audit), audit_(request.Audit), json_(request.Json), progress_(progress && !request.Json), write_(std::move(write)),
      report_(report)
{
}

void TDeployOutput::StartJson()
{
    if (jsonStarted_)
        return;
    jsonStarted_ = true;
    // The object is written piece by piece, so that no mailbox stays in
    // memory until the end.
    write_(audit_ ? std::wstring(L"{\"command\":\"audit\",\"mailboxes\":[")
                  : L"{\"command\":\"deploy\",\"dryRun\":" + JsonBool(dryRun_) + L",\"mailboxes\":[");
}

void TDeployOutput::WriteItem(const std::wstring& item)
{
    write_((firstMailbox_ ? L"" : L",") + item);
    firstMailbox_ = false;
}

void TDeployOutput::Skipped(const TMailbox& mailbox, const TDeployCounts& counts)
{
    if (report_)
        report_->Skipped(mailbox);
    if (json_) {
        StartJson();
        WriteItem(JsonMailbox(mailbox, L"skipped", {}, {}, std::nullopt));
        return;
    }
    ShowProgress(counts, false);
}

void TDeployOutput::Finished(const TMailboxOutcome& outcome, const TDeployCounts& counts)
{
    if (report_)
        report_->Finished(outcome, dryRun_);
    if (json_) {
        StartJson();
        WriteItem(audit_ ? JsonAuditMailbox(outcome)
                         : JsonMailbox(outcome.Mailbox, ResultName(outcome.Result), outcome.Added, outcome.Recoloured,
                                       outcome.Result == EMailboxResult::Failed ? std::optional(outcome.Error)
                                                                                : std::nullopt));
        return;
    }
    const std::wstring line = audit_ ? AuditLine(outcome) : MailboxLine(outcome, dryRun_);
    if (!line.empty()) {
        ClearProgress();
        write_(line + L"\r\n");
    }
    ShowProgress(counts, !line.empty());
}

void TDeployOutput::Tick(const TDeployCounts& counts)
{
    if (!json_)
        ShowProgress(counts, false);
}

void TDeployOutput::ShowProgress(const TDeployCounts& counts, bool now)
{
    if (!progress_)
        return;
    const ULONGLONG tick = GetTickCount64();
    if (!now && shownWidth_ != 0 && tick - lastShown_ < kProgressEveryMs)
        return;
    lastShown_ = tick;
    const std::wstring line = ProgressLine(counts, audit_);
    std::wstring text = L"\r" + line;
    if (line.size() < shownWidth_)
        text += std::wstring(shownWidth_ - line.size(), L' ');
    shownWidth_ = line.size();
    write_(text);
}

void TDeployOutput::ClearProgress()
{
    if (!progress_ || shownWidth_ == 0)
        return;
    write_(L"\r" + std::wstring(shownWidth_, L' ') + L"\r");
    shownWidth_ = 0;
}

void TDeployOutput::EndAudit(const TDeployEnd& end)
{
    const TDeployResult* result = end.Result;
    const auto number = [](std::size_t n) { return std::to_wstring(n); };
    const auto optionalNumber = [&](const std::optional<std::size_t>& n) { return n ? number(*n) : L"null"; };
    if (json_) {
        StartJson();
        std::wstring summary = L"null";
        if (result) {
            const TDeployCounts& c = result->Counts;
            summary = L"{\"total\":" + number(c.Done()) + L",\"alike\":" + number(c.Unchanged) +
                      L",\"lacking\":" + number(c.Lacking) + L",\"colorDiffers\":" + number(c.ColorDiffers) +
                      L",\"extra\":" + number(c.WithExtra) + L",\"failed\":" + number(c.Failed) +
                      L",\"shared\":" + optionalNumber(shared_) +
                      L",\"withoutMail\":" + optionalNumber(end.WithoutMail) +
                      L",\"seconds\":" + JsonNumber(std::round(c.Seconds * 10) / 10) +
                      L",\"requests\":" + std::to_wstring(result->Requests) + L"}";
        }
        write_(L"],\"summary\":" + summary + L",\"error\":" + JsonStringOrNull(end.Error) + L"}\r\n");
        return;
    }
    ClearProgress();
    if (!result)
        return;
    const TDeployCounts& c = result->Counts;
    std::wstring line = Count(c.Done(), L"mailbox", L"mailboxes") + L" read in " + DurationText(c.Seconds) + L": " +
                        number(c.Unchanged) + L" alike, " + number(c.Lacking) + L" lacking names, " +
                        number(c.ColorDiffers) + L" with colours that differ, " + number(c.WithExtra) +
                        L" with names beyond the list, " + number(c.Failed) + L" failed\r\n";
    if (shared_ && *shared_ > 0)
        line += Count(*shared_, L"shared mailbox", L"shared mailboxes") + L" among them\r\n";
    if (end.WithoutMail && *end.WithoutMail > 0)
        line += Count(*end.WithoutMail, L"user", L"users") + L" without mail left out\r\n";
    write_(line);
}

void TDeployOutput::End(const TDeployEnd& end)
{
    if (audit_) {
        EndAudit(end);
        return;
    }
    const TDeployResult* result = end.Result;
    if (json_) {
        StartJson();
        std::wstring summary = L"null";
        if (result) {
            const TDeployCounts& c = result->Counts;
            const auto number = [](std::size_t n) { return std::to_wstring(n); };
            summary = L"{\"total\":" + number(c.Done() + c.Skipped) + L",\"done\":" + number(c.Done()) +
                      L",\"skipped\":" + number(c.Skipped) + L",\"unchanged\":" + number(c.Unchanged) +
                      L",\"changed\":" + number(c.Changed) + L",\"failed\":" + number(c.Failed) +
                      L",\"namesAdded\":" + number(c.NamesAdded) + L",\"recoloured\":" + number(c.Recoloured) +
                      L",\"withoutMail\":" + (end.WithoutMail ? number(*end.WithoutMail) : L"null") +
                      // Only where the mailboxes came from Graph: a script reading the
                      // summary of a listed run sees what it always saw.
                      (shared_ ? L",\"shared\":" + number(*shared_) : L"") +
                      L",\"seconds\":" + JsonNumber(std::round(c.Seconds * 10) / 10) +
                      L",\"requests\":" + std::to_wstring(result->Requests) +
                      L",\"lowestConcurrency\":" + std::to_wstring(result->LowestConcurrency) + L"}";
        }
        write_(L"],\"summary\":" + summary + L",\"error\":" + JsonStringOrNull(end.Error) + L"}\r\n");
        return;
    }
    ClearProgress();
    if (!result)
        return;
    const TDeployCounts& c = result->Counts;
    std::wstring line = Count(c.Done(), L"mailbox", L"mailboxes") + (dryRun_ ? L" read in " : L" done in ") +
                        DurationText(c.Seconds) + L": " + std::to_wstring(c.Changed) +
                        (dryRun_ ? L" would change, " : L" changed, ") + std::to_wstring(c.Unchanged) +
                        L" unchanged, " + std::to_wstring(c.Failed) + L" failed; " +
                        Count(c.NamesAdded, L"name", L"names") + (dryRun_ ? L" would be added, " : L" added, ") +
                        std::to_wstring(c.Recoloured) + (dryRun_ ? L" would be recoloured" : L" recoloured");
    line += L"\r\n";
    if (c.Skipped > 0)
        line += Count(c.Skipped, L"mailbox", L"mailboxes") + L" skipped: the journal has them as done\r\n";
    if (shared_ && *shared_ > 0)
        line += Count(*shared_, L"shared mailbox", L"shared mailboxes") + L" among them\r\n";
    if (end.WithoutMail && *end.WithoutMail > 0)
        line += Count(*end.WithoutMail, L"user", L"users") + L" without mail left out\r\n";
    write_(line);
}
