#pragma once
// The journal of a deployment to many mailboxes: a header that names the run
// (the list file's SHA-256, the tenant, the colour mode), then one line per
// finished mailbox, each written whole and flushed to disk before the next.
// Run again with the same journal, and the mailboxes it holds as done are
// skipped; a mailbox that failed is tried again.
//
// Each line is one JSON object ended by CR LF. A line without its line end
// is one a killed run was writing: it counts for nothing, and is cut off
// before the next line is appended.

#include "base/Errors.h"
#include "base/UniqueHandle.h"

#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

struct TJournalHeader {
    std::string FileSha256;  // lower-case hex of the list file's bytes
    std::wstring Tenant;
    bool Colors = false;
};

enum class EMailboxResult { Unchanged, Changed, Failed };

struct TJournalRecord {
    std::wstring Mailbox;  // as the run addressed it: an object id or a user principal name
    EMailboxResult Result = EMailboxResult::Unchanged;
    std::vector<std::wstring> Added;
    std::vector<std::wstring> Recoloured;
    std::wstring Error;  // why it failed
};

// A journal that belongs to another run, or a file that is no journal: the
// run stops before it changes anything.
class EJournalRefused : public EException {
public:
    using EException::EException;
};

class TDeployJournal {
public:
    // Opens the journal at path, or makes it with header. Raises
    // EJournalRefused when its header names another run, when it is no
    // journal, or when another run has it open.
    TDeployJournal(const std::wstring& path, const TJournalHeader& header);
    TDeployJournal(const TDeployJournal&) = delete;
    TDeployJournal& operator=(const TDeployJournal&) = delete;

    // Done by an earlier run that wrote this journal; letter case ignored.
    bool IsFinished(std::wstring_view mailbox) const;
    std::size_t FinishedCount() const { return finished_.size(); }

    // Writes the line and flushes it to disk before it returns; may be called
    // from several threads. Raises EException when the disk refuses it.
    void Append(const TJournalRecord& record);

private:
    std::wstring path_;
    UniqueKernelHandle file_;
    std::unordered_set<std::wstring> finished_;
    std::mutex writing_;
};

std::wstring MailboxResultName(EMailboxResult result);
