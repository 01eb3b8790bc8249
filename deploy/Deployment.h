#pragma once
// A deployment: one category list to many mailboxes through Microsoft Graph,
// signed in as the application, with no user present.
//
// Mailboxes come from their source one at a time and up to Concurrency are
// worked on at once, each by one thread that reads the mailbox's list just
// before it adds the names it lacks in batches of 20 (and, with Colors,
// changes the colours that differ). So a mailbox has one request at a time
// in flight, and Graph dispatches a batch's requests at most 4 at once: within
// Outlook's limit of 4 concurrent requests per app and mailbox.
// https://learn.microsoft.com/graph/throttling-limits#outlook-service-limits
//
// 429 and 503 are waited out as their Retry-After says, by that mailbox
// alone, which meanwhile leaves its place to another mailbox; a storm of 429s
// across mailboxes lowers the number at once (ConcurrencyControl.h). No answer, 502 and 504 are tried again from the
// read, after an exponential back-off with jitter, up to Retries times; then
// the mailbox has failed and the run goes on. Its read just before adding
// keeps anything from being added twice.
//
// Nothing is kept of a finished mailbox but the run's counters and the line
// the journal and the progress are given, so memory stays the same whatever
// the number of mailboxes.

#include "deploy/ConcurrencyControl.h"
#include "deploy/DeployJournal.h"
#include "deploy/MailboxList.h"
#include "http/HttpClient.h"
#include "identity/AccessTokenSource.h"
#include "listfile/CategoryListFile.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

inline constexpr int kDefaultConcurrency = 16;
inline constexpr int kMaxConcurrency = 64;
inline constexpr int kTransientRetries = 5;

struct TDeployOptions {
    std::wstring GraphUrl;  // "https://graph.microsoft.com" or a stand-in's
    bool Colors = false;
    bool DryRun = false;    // reads every mailbox and changes nothing
    // A dry run with Colors that also names what each mailbox holds beyond
    // the list: what "audit" reports. Needs only MailboxSettings.Read.
    bool Audit = false;
    int Concurrency = kDefaultConcurrency;
    int Retries = kTransientRetries;
    DWORD FirstBackOffMs = 1000;  // doubled for each retry
    TConcurrencyRules Pace;
};

struct TMailboxOutcome {
    TMailbox Mailbox;
    EMailboxResult Result = EMailboxResult::Unchanged;
    std::vector<std::wstring> Added;       // in a dry run: what would be
    std::vector<std::wstring> Recoloured;  // as the mailbox spells them
    std::vector<std::wstring> Extra;       // in an audit: held, not in the list
    std::wstring Error;                    // why it failed
};

struct TDeployCounts {
    std::size_t Skipped = 0;  // finished by an earlier run, as its journal says
    std::size_t Unchanged = 0;
    std::size_t Changed = 0;
    std::size_t Failed = 0;
    std::size_t NamesAdded = 0;
    std::size_t Recoloured = 0;
    // In an audit, of the mailboxes read: those lacking names, those with a
    // colour that differs, those holding names beyond the list.
    std::size_t Lacking = 0;
    std::size_t ColorDiffers = 0;
    std::size_t WithExtra = 0;
    // Every mailbox of the run, the skipped ones included, once it is known.
    std::optional<std::size_t> Total;
    double Seconds = 0;

    std::size_t Done() const { return Unchanged + Changed + Failed; }
};

// What the front end shows. Its calls come one at a time, from any thread.
class IDeployProgress {
public:
    virtual ~IDeployProgress() = default;
    virtual void Skipped(const TMailbox& mailbox, const TDeployCounts& counts) = 0;
    virtual void Finished(const TMailboxOutcome& outcome, const TDeployCounts& counts) = 0;
    // A few times a second while the run goes on.
    virtual void Tick(const TDeployCounts& counts) = 0;
};

struct TDeployResult {
    TDeployCounts Counts;
    std::uint64_t Requests = 0;  // HTTP requests sent during the run, token requests included
    int LowestConcurrency = 0;
    // Why the run ended before every mailbox was done; nothing when it did not.
    std::optional<std::wstring> Stopped;
};

// total: the number of mailboxes when the source knows it beforehand.
// journal: may be null; finished mailboxes are skipped and each one done is
// appended. Not written in a dry run.
//
// The first mailbox to do is worked on alone, so that a missing permission
// shows before anything is changed: then EConsentMissing raises. So does
// ECredentialError when the app's sign-in fails while nothing was changed;
// after a change the run stops instead, and Stopped says why.
TDeployResult RunDeployment(const THttpClient& http, IAccessTokenSource& tokens,
                            const std::vector<TListFileEntry>& list, IMailboxSource& mailboxes,
                            std::optional<std::size_t> total, TDeployJournal* journal, const TDeployOptions& options,
                            IDeployProgress& progress);

// 502 and 504, which Graph's gateways answer when a mailbox's server was slow
// or away: worth another try.
bool IsTransientStatus(DWORD status);
