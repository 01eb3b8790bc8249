#include "deploy/Deployment.h"

#include "base/Platform.h"
#include "deploy/MailboxPlan.h"
#include "graph/GraphCategories.h"
#include "identity/AppTokenSource.h"
#include "identity/CredentialError.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <random>
#include <thread>

namespace {

constexpr DWORD kLongestBackOffMs = 60'000;
constexpr DWORD kTickMs = 250;
// Mailboxes failed in a row for want of an answer that tell Graph is not
// there for this run: going on would spend hours on back-offs.
constexpr std::size_t kLeastUnansweredInARow = 8;
constexpr wchar_t kMailboxPermission[] = L"MailboxSettings.ReadWrite";
// Reading a mailbox's categories asks no more.
// https://learn.microsoft.com/graph/api/outlookuser-list-mastercategories
constexpr wchar_t kMailboxReadPermission[] = L"MailboxSettings.Read";

bool IsAccessDenied(const EGraphError& e)
{
    return e.Status() == 403 && e.Code() == L"ErrorAccessDenied";
}

// A mailbox's try that met no answer or a gateway's failure, and may be tried again.
class ETransient : public EException {
public:
    using EException::EException;
};

class TRun {
public:
    TRun(const THttpClient& http, IAccessTokenSource& tokens, const std::vector<TListFileEntry>& list,
         IMailboxSource& mailboxes, std::optional<std::size_t> total, TDeployJournal* journal,
         const TDeployOptions& options, IDeployProgress& progress)
        : http_(http), tokens_(tokens), list_(list), mailboxes_(mailboxes),
          journal_(options.DryRun || options.Audit ? nullptr : journal), options_(ReadOnlyIfAudit(options)), progress_(progress), control_(std::clamp(options.Concurrency, 1, kMaxConcurrency), options.Pace),
          start_(std::chrono::steady_clock::now()), requestsBefore_(http.RequestsSent())
    {
        counts_.Total = total;
    }

    TDeployResult Run()
    {
        bool more = false;
        try {
            TMailbox first;
            more = NextToDo(first);
            if (more) {
                // Alone, so that a missing permission shows before any change.
                control_.Acquire();
                TMailboxOutcome outcome = Work(first, true);
                control_.Release();
                Complete(std::move(outcome));
            }
        } catch (...) {
            Fail(std::current_exception());
        }
        if (more && !stopping_) {
            StartWorkers();
            WaitForWorkers();
        }
        TDeployResult result;
        {
            const std::lock_guard lock(report_);
            counts_.Seconds = Elapsed();
            result.Counts = counts_;
        }
        result.Requests = http_.RequestsSent() - requestsBefore_;
        result.LowestConcurrency = control_.Lowest();
        if (fatal_) {
            if (!changed_)
                std::rethrow_exception(fatal_);
            result.Stopped = fatalText_;
        } else if (stoppedText_) {
            result.Stopped = stoppedText_;
        }
        return result;
    }

private:
    static TDeployOptions ReadOnlyIfAudit(TDeployOptions options)
    {
        // An audit reads exactly as a dry run with --colors does, so that it
        // finds what deploy would do.
        if (options.Audit) {
            options.DryRun = true;
            options.Colors = true;
        }
        return options;
    }

    double Elapsed() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

    void StartWorkers()
    {
        // More threads than mailboxes at once: a mailbox waiting out its
        // Retry-After or a back-off keeps its thread but not its place, which
        // another mailbox takes meanwhile. Enough spare threads for the
        // mailboxes that wait at one time when Graph throttles one request in
        // twenty for a second or two.
        const int count = 2 * std::clamp(options_.Concurrency, 1, kMaxConcurrency) + 16;
        running_ = count;
        workers_.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i)
            workers_.emplace_back([this] { Worker(); });
    }

    void WaitForWorkers()
    {
        {
            std::unique_lock lock(runningMutex_);
            while (!finished_.wait_for(lock, std::chrono::milliseconds(kTickMs), [this] { return running_ == 0; })) {
                lock.unlock();
                {
                    const std::lock_guard report(report_);
                    counts_.Seconds = Elapsed();
                    progress_.Tick(counts_);
                }
                lock.lock();
            }
        }
        for (std::thread& worker : workers_)
            worker.join();
    }

    void Worker()
    {
        while (!stopping_ && control_.Acquire()) {
            bool placed = true;
            try {
                TMailbox mailbox;
                if (!NextToDo(mailbox)) {
                    control_.Release();
                    break;
                }
                TMailboxOutcome outcome = Work(mailbox, false);
                control_.Release();
                placed = false;
                Complete(std::move(outcome));
            } catch (...) {
                // Given back, or a mailbox waiting to resume would wait for ever.
                if (placed)
                    control_.Release();
                Fail(std::current_exception());
                break;
            }
        }
        {
            const std::lock_guard lock(runningMutex_);
            --running_;
        }
        finished_.notify_all();
    }

    // Stops the run: the mailboxes at work are finished, no other is started.
    void Fail(std::exception_ptr error)
    {
        {
            const std::lock_guard lock(fatalMutex_);
            if (!fatal_) {
                fatal_ = error;
                try {
                    std::rethrow_exception(error);
                } catch (...) {
                    fatalText_ = CurrentExceptionMessage();
                }
            }
        }
        stopping_ = true;
        control_.Stop();
    }

    // The next mailbox not finished by an earlier run; false at the end.
    bool NextToDo(TMailbox& mailbox)
    {
        const std::lock_guard lock(source_);
        for (;;) {
            if (sourceDone_ || stopping_)
                return false;
            bool got = false;
            try {
                got = mailboxes_.Next(mailbox);
            } catch (const ECredentialError&) {
                throw;
            } catch (...) {
                sourceDone_ = true;
                const std::wstring why = CurrentExceptionMessage();
                throw EException(L"The run stopped: the next mailboxes could not be had. " + why);
            }
            const std::lock_guard report(report_);
            if (!got) {
                sourceDone_ = true;
                counts_.Total = handed_;
                return false;
            }
            ++handed_;
            if (journal_ && journal_->IsFinished(mailbox.Address)) {
                ++counts_.Skipped;
                progress_.Skipped(mailbox, counts_);
                continue;
            }
            return true;
        }
    }

    TMailboxOutcome Work(const TMailbox& mailbox, bool first)
    {
        TMailboxOutcome outcome;
        outcome.Mailbox = mailbox;
        std::mt19937 random(static_cast<unsigned>(GetTickCount64() ^ (GetCurrentThreadId() * 2654435761u)));
        for (int attempt = 0;; ++attempt) {
            try {
                TryMailbox(outcome, first);
                if (outcome.Result != EMailboxResult::Failed) {
                    const std::lock_guard lock(report_);
                    unansweredInARow_ = 0;
                }
                return outcome;
            } catch (const ETransient& e) {
                if (attempt < options_.Retries && !stopping_) {
                    // Full delay at most, half of it at least: threads that
                    // met the same failure do not come back at once.
                    const DWORD ceiling = static_cast<DWORD>(
                        std::min<ULONGLONG>(static_cast<ULONGLONG>(options_.FirstBackOffMs) << attempt, kLongestBackOffMs));
                    std::uniform_int_distribution<DWORD> jitter(ceiling / 2, ceiling);
                    Wait(jitter(random));
                    continue;
                }
                outcome.Result = EMailboxResult::Failed;
                outcome.Error = e.Message();
                const std::lock_guard lock(report_);
                if (++unansweredInARow_ >= std::max<std::size_t>(kLeastUnansweredInARow, 2 * static_cast<std::size_t>(options_.Concurrency)) &&
                    !stoppedText_) {
                    stoppedText_ = L"The run stopped: the last " + std::to_wstring(unansweredInARow_) +
                                   L" mailboxes each failed without an answer from Microsoft 365. Run it again "
                                   L"later; with the same --journal it goes on where it stopped.";
                    stopping_ = true;
                    control_.Stop();
                }
                return outcome;
            }
        }
    }

    // Another mailbox sends meanwhile.
    void Wait(DWORD ms)
    {
        control_.Pause();
        Sleep(ms);
        control_.Resume();
    }

    // One try at a mailbox: read its list, then add what it lacks. Raises
    // ETransient for a failure worth another try.
    void TryMailbox(TMailboxOutcome& outcome, bool first)
    {
        TGraphCategories graph(http_, tokens_, options_.GraphUrl, UserMailbox(outcome.Mailbox.Address),
                               TPermissionKind::Application);
        graph.ObserveAnswers([this](DWORD status) { control_.Answered(status, GetTickCount64()); });
        graph.WaitWith([this](DWORD ms) { Wait(ms); });
        std::vector<std::wstring> refusals;
        try {
            const std::vector<TGraphCategory> held = graph.List();
            const TMailboxPlan plan = PlanMailbox(list_, held, options_.Colors);
            if (options_.DryRun) {
                for (const TNewCategory& category : plan.Add)
                    outcome.Added.push_back(category.DisplayName);
                outcome.Recoloured = plan.RecolourNames;
                if (options_.Audit)
                    outcome.Extra = NamesNotInList(list_, held);
            } else {
                graph.Add(plan.Add, [&](std::size_t index, const TAddResult& result) {
                    if (result.Added) {
                        changed_ = true;
                        outcome.Added.push_back(plan.Add[index].DisplayName);
                    } else if (result.Status != 409) {
                        // 409: Graph holds the name in a spelling this program's
                        // comparison tells apart. It is there, which is all that counts.
                        refusals.push_back(L"\"" + plan.Add[index].DisplayName + L"\" was refused: " + result.Refusal);
                    }
                });
                graph.SetColors(plan.Recolour, [&](std::size_t index, const TAddResult& result) {
                    const std::wstring& name = plan.RecolourNames[index];
                    if (result.Added) {
                        changed_ = true;
                        if (std::find(outcome.Recoloured.begin(), outcome.Recoloured.end(), name) ==
                            outcome.Recoloured.end())
                            outcome.Recoloured.push_back(name);
                    } else {
                        refusals.push_back(L"the colour of \"" + name + L"\" was refused: " + result.Refusal);
                    }
                });
            }
        } catch (const EGraphError& e) {
            if (IsTransientStatus(e.Status()))
                throw ETransient(e.Message());
            if (first && IsAccessDenied(e) && outcome.Added.empty() && outcome.Recoloured.empty())
                throw EConsentMissing(options_.Audit ? kMailboxReadPermission : kMailboxPermission);
            outcome.Result = EMailboxResult::Failed;
            outcome.Error = e.Message();
            return;
        } catch (const EHttpError& e) {
            throw ETransient(e.Message());
        } catch (const ECredentialError&) {
            throw;
        } catch (const EException& e) {
            outcome.Result = EMailboxResult::Failed;
            outcome.Error = e.Message();
            return;
        }
        if (!refusals.empty()) {
            outcome.Result = EMailboxResult::Failed;
            for (const std::wstring& refusal : refusals)
                outcome.Error += (outcome.Error.empty() ? L"" : L"; ") + refusal;
        } else {
            outcome.Result = outcome.Added.empty() && outcome.Recoloured.empty() && outcome.Extra.empty()
                                 ? EMailboxResult::Unchanged
                                 : EMailboxResult::Changed;
        }
    }

    void Complete(TMailboxOutcome outcome)
    {
        if (journal_) {
            // Before the line is shown: what the journal does not hold is
            // done again by the next run.
            journal_->Append({outcome.Mailbox.Address, outcome.Result, outcome.Added, outcome.Recoloured, outcome.Error});
        }
        const std::lock_guard lock(report_);
        switch (outcome.Result) {
        case EMailboxResult::Unchanged:
            ++counts_.Unchanged;
            break;
        case EMailboxResult::Changed:
            ++counts_.Changed;
            break;
        case EMailboxResult::Failed:
            ++counts_.Failed;
            break;
        }
        if (outcome.Result != EMailboxResult::Failed) {
            counts_.Lacking += outcome.Added.empty() ? 0 : 1;
            counts_.ColorDiffers += outcome.Recoloured.empty() ? 0 : 1;
            counts_.WithExtra += outcome.Extra.empty() ? 0 : 1;
        }
        counts_.NamesAdded += outcome.Added.size();
        counts_.Recoloured += outcome.Recoloured.size();
        counts_.Seconds = Elapsed();
        progress_.Finished(outcome, counts_);
    }

    const THttpClient& http_;
    IAccessTokenSource& tokens_;
    const std::vector<TListFileEntry>& list_;
    IMailboxSource& mailboxes_;
    TDeployJournal* journal_;
    const TDeployOptions options_;
    IDeployProgress& progress_;
    TConcurrencyControl control_;
    const std::chrono::steady_clock::time_point start_;
    const std::uint64_t requestsBefore_;

    std::mutex source_;
    bool sourceDone_ = false;
    std::size_t handed_ = 0;

    std::mutex report_;  // counts_, the progress's calls, unansweredInARow_, stoppedText_
    TDeployCounts counts_;
    std::size_t unansweredInARow_ = 0;
    std::optional<std::wstring> stoppedText_;

    std::atomic<bool> stopping_{false};
    std::atomic<bool> changed_{false};
    std::mutex fatalMutex_;
    std::exception_ptr fatal_;
    std::wstring fatalText_;

    std::vector<std::thread> workers_;
    std::mutex runningMutex_;
    std::condition_variable finished_;
    int running_ = 0;
};

}  // namespace

bool IsTransientStatus(DWORD status)
{
    return status == 502 || status == 504;
}

TDeployResult RunDeployment(const THttpClient& http, IAccessTokenSource& tokens,
                            const std::vector<TListFileEntry>& list, IMailboxSource& mailboxes,
                            std::optional<std::size_t> total, TDeployJournal* journal, const TDeployOptions& options,
                            IDeployProgress& progress)
{
    TRun run(http, tokens, list, mailboxes, total, journal, options, progress);
    return run.Run();
}
