#include "deploy/DeployJournal.h"

#include "base/Files.h"
#include "base/Platform.h"
#include "base/SystemErrorText.h"

#include <nlohmann/json.hpp>

#include <windows.h>

namespace {

constexpr char kJournalName[] = "PellorinSync deploy";
constexpr int kJournalVersion = 1;
// How every header starts, whatever the run: a first line cut short before
// its end that is a piece of this is a header a killed run was writing.
constexpr std::string_view kHeaderStart = R"({"journal":"PellorinSync deploy")";

std::wstring MailboxKey(std::wstring_view mailbox)
{
    std::wstring key(mailbox);
    if (!key.empty())
        CharLowerBuffW(key.data(), static_cast<DWORD>(key.size()));
    return key;
}

std::string HeaderLine(const TJournalHeader& header)
{
    nlohmann::ordered_json line;
    line["journal"] = kJournalName;
    line["version"] = kJournalVersion;
    line["fileSha256"] = header.FileSha256;
    line["tenant"] = ToUtf8(header.Tenant);
    line["colors"] = header.Colors;
    return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\r\n";
}

nlohmann::json Strings(const std::vector<std::wstring>& texts)
{
    nlohmann::json array = nlohmann::json::array();
    for (const std::wstring& text : texts)
        array.push_back(ToUtf8(text));
    return array;
}

std::string_view WithoutCr(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

// A journal holds a line for each mailbox of a run, a few hundred bytes each:
// far below this for any tenant.
constexpr std::size_t kJournalMaxBytes = 256u << 20;

}  // namespace

std::wstring MailboxResultName(EMailboxResult result)
{
    switch (result) {
    case EMailboxResult::Unchanged:
        return L"unchanged";
    case EMailboxResult::Changed:
        return L"changed";
    case EMailboxResult::Failed:
        return L"failed";
    }
    return L"failed";
}

TDeployJournal::TDeployJournal(const std::wstring& path, const TJournalHeader& header) : path_(path)
{
    // Shared for reading only: a second run given the same journal stops
    // here instead of interleaving its lines with ours.
    file_ = OwnedFile(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) {
        const DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION)
            throw EJournalRefused(L"The journal " + path + L" is in use by another run.");
        throw EJournalRefused(L"Cannot open the journal " + path + L": " + SystemErrorText(error));
    }
    const HANDLE file = file_.get();
    std::string content;
    try {
        content = ReadWholeFile(file, kJournalMaxBytes);
    } catch (const EFileError& e) {
        if (e.Code() == ERROR_FILE_TOO_LARGE)
            throw EJournalRefused(path + L" is not a journal of PellorinSync deploy.");
        throw EJournalRefused(L"Cannot read the journal " + path + L": " + e.Message());
    }

    const size_t headerEnd = content.find('\n');
    const std::string_view start(content.data(), std::min(content.size(), kHeaderStart.size()));
    size_t keep = 0;
    if (headerEnd == std::string::npos) {
        if (start != kHeaderStart.substr(0, start.size()))
            throw EJournalRefused(path + L" is not a journal of PellorinSync deploy.");
        // Empty, or a header cut short: this run starts it afresh.
    } else {
        const auto first = nlohmann::json::parse(WithoutCr(std::string_view(content).substr(0, headerEnd)),
                                                 nullptr, false);
        if (first.is_discarded() || !first.is_object() || first.value("journal", "") != kJournalName ||
            first.value("version", 0) != kJournalVersion)
            throw EJournalRefused(path + L" is not a journal of PellorinSync deploy.");
        std::vector<std::wstring> differences;
        if (first.value("fileSha256", "") != header.FileSha256)
            differences.push_back(L"it was made for another list file");
        const std::wstring tenant = FromUtf8(first.value("tenant", ""));
        if (!SameTextIgnoringCase(tenant, header.Tenant))
            differences.push_back(L"its tenant is \"" + tenant + L"\"");
        if (first.value("colors", false) != header.Colors)
            differences.push_back(header.Colors ? L"it was made without --colors" : L"it was made with --colors");
        if (!differences.empty()) {
            std::wstring why;
            for (const std::wstring& difference : differences)
                why += (why.empty() ? L"" : L"; ") + difference;
            throw EJournalRefused(L"The journal " + path + L" belongs to another deployment (" + why +
                                  L"). Give another --journal, or delete this one to start again.");
        }
        keep = content.rfind('\n') + 1;
        // Only whole lines, each ended by its own line end before keep.
        for (size_t at = headerEnd + 1, end = 0;
             at < keep && (end = content.find('\n', at)) != std::string::npos && end < keep;) {
            const auto line = nlohmann::json::parse(WithoutCr(std::string_view(content).substr(at, end - at)),
                                                    nullptr, false);
            at = end + 1;
            // A line that does not read (a disk that lost it) only means
            // that mailbox is done again.
            if (line.is_discarded() || !line.is_object() || !line.contains("mailbox") ||
                !line["mailbox"].is_string() || !line.contains("result") || !line["result"].is_string())
                continue;
            const std::string result = line["result"].get<std::string>();
            if (result == "changed" || result == "unchanged")
                finished_.insert(MailboxKey(FromUtf8(line["mailbox"].get<std::string>())));
        }
    }
    LARGE_INTEGER cut{};
    cut.QuadPart = static_cast<LONGLONG>(keep);
    if (keep < content.size() &&
        (!SetFilePointerEx(file, cut, nullptr, FILE_BEGIN) || !SetEndOfFile(file)))
        throw EJournalRefused(L"Cannot write the journal " + path + L": " + SystemErrorText(GetLastError()));
    if (keep == 0) {
        const std::string line = HeaderLine(header);
        DWORD written = 0;
        if (!WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
            written != line.size() || !FlushFileBuffers(file))
            throw EJournalRefused(L"Cannot write the journal " + path + L": " +
                                  SystemErrorText(GetLastError()));
    }
}

bool TDeployJournal::IsFinished(std::wstring_view mailbox) const
{
    return finished_.count(MailboxKey(mailbox)) != 0;
}

void TDeployJournal::Append(const TJournalRecord& record)
{
    nlohmann::ordered_json line;
    line["mailbox"] = ToUtf8(record.Mailbox);
    line["result"] = ToUtf8(MailboxResultName(record.Result));
    line["added"] = Strings(record.Added);
    line["recoloured"] = Strings(record.Recoloured);
    if (record.Result == EMailboxResult::Failed)
        line["error"] = ToUtf8(record.Error);
    const std::string text = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\r\n";

    const std::lock_guard lock(writing_);
    const HANDLE file = file_.get();
    LARGE_INTEGER end{};
    DWORD written = 0;
    // One write of the whole line: a kill leaves at most this line short of
    // its end, which the next run cuts off.
    if (!SetFilePointerEx(file, end, nullptr, FILE_END) ||
        !WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size() || !FlushFileBuffers(file))
        throw EException(L"Cannot write the journal " + path_ + L": " + SystemErrorText(GetLastError()));
}
