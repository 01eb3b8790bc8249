#pragma once
// The mailboxes a deployment goes to. Either a file (--mailboxes LIST): text
// with one user principal name or object id a line, or CSV with a column
// UserPrincipalName, Mail or Id (letter case ignored), as Export-Csv writes
// Get-MgUser's users, its fields separated by ",", ";" or a tab; or every enabled user of the tenant with a mailbox
// (--all-mailboxes), read from Graph page by page.
//
// Both hand out one mailbox at a time: a run keeps nothing of a mailbox it
// has finished.

#include "base/Errors.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct TMailbox {
    // What Graph's /users/{id | userPrincipalName} is given, and what the
    // journal keeps.
    std::wstring Address;
    // What the output names it by: its user principal name where known.
    std::wstring Name;
    int Line = 0;  // of the list file; 0 for a mailbox from Graph
};

// The next mailbox, one at a time.
class IMailboxSource {
public:
    virtual ~IMailboxSource() = default;
    virtual bool Next(TMailbox& mailbox) = 0;
};

// A list file that cannot be used: "LIST, line N: WHAT". Nothing is changed.
class EMailboxListError : public EException {
public:
    EMailboxListError(std::wstring_view file, int line, std::wstring_view what);
};

struct TMailboxListWarning {
    int Line = 0;
    std::wstring Message;  // "skipped: ..."
};

// The largest list file read: two million mailboxes of UPNs.
inline constexpr std::size_t kMailboxListMaxBytes = 64u << 20;

class TMailboxListFile : public IMailboxSource {
public:
    // Reads and checks the whole file. Raises EMailboxListError.
    static TMailboxListFile Read(const std::wstring& path);
    // The same for a file's bytes; path names the file in messages.
    static TMailboxListFile Parse(std::string_view bytes, std::wstring_view path);

    // Mailboxes it names, each once (letter case ignored).
    std::size_t Count() const { return count_; }
    const std::vector<TMailboxListWarning>& Warnings() const { return warnings_; }

    bool Next(TMailbox& mailbox) override;
    // Starts handing out from the first mailbox again.
    void Rewind();

private:
    TMailboxListFile() = default;
    void Scan(std::wstring_view file);
    // The next data row's mailbox, blank rows passed over; false at the end.
    bool NextRow(std::size_t& position, int& line, TMailbox& mailbox, std::wstring_view file) const;

    std::wstring text_;            // the decoded file, which the mailboxes are read from
    std::size_t start_ = 0;        // where the first data row starts
    int startLine_ = 1;
    int column_[3] = {-1, -1, -1}; // UserPrincipalName, Id, Mail; all -1 for a text file
    wchar_t separator_ = L',';
    std::vector<bool> skipped_;    // by data row: listed before, or naming no mailbox
    std::size_t count_ = 0;
    std::vector<TMailboxListWarning> warnings_;
    // Where Next reads on.
    std::size_t position_ = 0;
    int line_ = 1;
    std::size_t row_ = 0;
};

// A user principal name (one "@", nothing a principal name cannot hold) or
// an object id (a GUID).
bool IsMailboxAddress(std::wstring_view text);
// The Graph path of a mailbox's category list, its address percent-encoded:
// "/users/{address}/outlook/masterCategories".
std::wstring MasterCategoriesPath(std::wstring_view address);
