#include "deploy/MailboxList.h"

#include "base/Files.h"
#include "base/Platform.h"
#include "http/Url.h"
#include "identity/Identifiers.h"
#include "listfile/CsvText.h"

#include <windows.h>

#include <optional>
#include <unordered_map>

namespace {

constexpr std::wstring_view kNotText =
    L"not a text or CSV file: its text is neither UTF-8 nor UTF-16 with a byte-order mark";
// The columns a list of users has, in the order one is chosen: an id or a
// user principal name is what Graph's /users/{...} takes; a mail address
// only where it is the user principal name too.
constexpr std::wstring_view kColumns[] = {L"UserPrincipalName", L"Id", L"Mail"};

bool EndsWithIgnoringCase(std::wstring_view text, std::wstring_view end)
{
    return text.size() >= end.size() && SameTextIgnoringCase(text.substr(text.size() - end.size()), end);
}

std::wstring_view Trimmed(std::wstring_view text)
{
    while (!text.empty() && (text.front() == L' ' || text.front() == L'\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\t' || text.back() == L'\r'))
        text.remove_suffix(1);
    return text;
}

std::wstring Key(std::wstring_view address)
{
    std::wstring key(address);
    if (!key.empty())
        CharLowerBuffW(key.data(), static_cast<DWORD>(key.size()));
    return key;
}

std::wstring Decode(std::string_view bytes, std::wstring_view file)
{
    TDecodedText decoded = DecodeText(bytes);
    if (decoded.Fault == TTextFault::NotText)
        throw EMailboxListError(file, decoded.FaultLine, kNotText);
    if (decoded.Fault == TTextFault::EmbeddedNul)
        throw EMailboxListError(file, decoded.FaultLine, L"an embedded U+0000");
    return std::move(decoded.Text);
}

// One CSV record from position on.
void ReadRecord(std::wstring_view text, wchar_t separator, std::size_t& position, int& line,
                std::vector<std::wstring>& fields, std::wstring_view file)
{
    TCsvReader reader(text, {position, line, false}, separator);
    int recordLine = 0;
    if (reader.Next(fields, recordLine) == TCsvReader::TResult::UnclosedQuote)
        throw EMailboxListError(file, recordLine, L"an unclosed quote");
    position = reader.Position();
    line = reader.Line();
}

// One line of a text list.
std::wstring_view ReadLine(std::wstring_view text, std::size_t& position, int& line)
{
    const std::size_t end = text.find(L'\n', position);
    const std::wstring_view whole = text.substr(position, end == std::wstring_view::npos ? end : end - position);
    position = end == std::wstring_view::npos ? text.size() : end + 1;
    ++line;
    return whole;
}

}  // namespace

EMailboxListError::EMailboxListError(std::wstring_view file, int line, std::wstring_view what)
    : EException(std::wstring(file) + L", line " + std::to_wstring(line) + L": " + std::wstring(what))
{
}

bool IsMailboxAddress(std::wstring_view text)
{
    if (IsGuidText(text))
        return true;
    const std::size_t at = text.find(L'@');
    if (at == 0 || at == std::wstring_view::npos || at + 1 == text.size() ||
        text.find(L'@', at + 1) != std::wstring_view::npos || text.size() > 1024)
        return false;
    // Never in a principal name, and each one changes what a Graph address
    // means: a path, a query, a parameter list.
    for (const wchar_t c : text) {
        if (c <= L' ' || c == 0x7F || std::wstring_view(L"/\\?\"<>,;:()[]{}|%*").find(c) != std::wstring_view::npos)
            return false;
    }
    return true;
}

std::wstring MasterCategoriesPath(std::wstring_view address)
{
    return L"/users/" + FromUtf8(PercentEncode(ToUtf8(address))) + L"/outlook/masterCategories";
}

TMailboxListFile TMailboxListFile::Read(const std::wstring& path)
{
    std::string bytes;
    try {
        bytes = ReadWholeFile(path, kMailboxListMaxBytes);
    } catch (const EFileError& e) {
        throw EMailboxListError(path, 1, e.Code() == ERROR_FILE_TOO_LARGE
                                             ? L"larger than 64 MB, the most a list of mailboxes may be"
                                             : e.Message());
    }
    return Parse(bytes, path);
}

TMailboxListFile TMailboxListFile::Parse(std::string_view bytes, std::wstring_view path)
{
    if (bytes.size() > kMailboxListMaxBytes)
        throw EMailboxListError(path, 1, L"larger than 64 MB, the most a list of mailboxes may be");
    TMailboxListFile list;
    list.text_ = Decode(bytes, path);
    list.Scan(path);
    return list;
}

void TMailboxListFile::Scan(std::wstring_view file)
{
    const std::wstring_view text = text_;
    const TCsvStart start = CsvStartOf(text);
    std::size_t position = start.Position;
    int line = start.Line;
    std::vector<std::wstring> header;
    std::size_t first = position;
    int firstLine = line;
    while (position < text.size()) {
        first = position;
        firstLine = line;
        ReadRecord(text, L',', position, line, header, file);
        if (!(header.size() == 1 && Trimmed(header[0]).empty()))
            break;
        header.clear();
    }
    // Excel writes the list separator of the user's region: ";" in most of Europe.
    const auto separator = CsvSeparatorOf(text, {first, firstLine, false}, {kColumns[0], kColumns[1], kColumns[2]});
    if (separator && *separator != L',') {
        separator_ = *separator;
        position = first;
        line = firstLine;
        ReadRecord(text, separator_, position, line, header, file);
    }
    bool csv = false;
    for (int c = 0; c < 3; ++c) {
        for (std::size_t i = 0; i < header.size(); ++i) {
            if (column_[c] < 0 && SameTextIgnoringCase(Trimmed(header[i]), kColumns[c])) {
                column_[c] = static_cast<int>(i);
                csv = true;
            }
        }
    }
    if (csv) {
        start_ = position;
        startLine_ = line;
    } else if (EndsWithIgnoringCase(file, L".csv")) {
        throw EMailboxListError(file, firstLine, L"no UserPrincipalName, Mail or Id column");
    } else {
        start_ = first;
        startLine_ = firstLine;
    }

    // Kept only while the file is checked: which line named each mailbox first.
    std::unordered_map<std::wstring, int> firstLines;
    position = start_;
    line = startLine_;
    TMailbox mailbox;
    while (NextRow(position, line, mailbox, file)) {
        bool skip = false;
        if (mailbox.Address.empty()) {
            warnings_.push_back({mailbox.Line, L"skipped: no user principal name, id or mail"});
            skip = true;
        } else if (!IsMailboxAddress(mailbox.Address)) {
            throw EMailboxListError(file, mailbox.Line,
                                    L"\"" + mailbox.Address + L"\" is neither a user principal name nor an object id");
        } else if (const auto [at, added] = firstLines.emplace(Key(mailbox.Address), mailbox.Line); !added) {
            warnings_.push_back({mailbox.Line, L"skipped: " + mailbox.Address + L" is listed again (first on line " +
                                                   std::to_wstring(at->second) + L")"});
            skip = true;
        }
        skipped_.push_back(skip);
        count_ += skip ? 0 : 1;
    }
    Rewind();
}

bool TMailboxListFile::NextRow(std::size_t& position, int& line, TMailbox& mailbox, std::wstring_view file) const
{
    const std::wstring_view text = text_;
    const bool csv = column_[0] >= 0 || column_[1] >= 0 || column_[2] >= 0;
    std::vector<std::wstring> fields;
    while (position < text.size()) {
        mailbox = {};
        mailbox.Line = line;
        if (!csv) {
            mailbox.Address = Trimmed(ReadLine(text, position, line));
            if (mailbox.Address.empty())
                continue;
            mailbox.Name = mailbox.Address;
            return true;
        }
        ReadRecord(text, separator_, position, line, fields, file);
        if (fields.size() == 1 && Trimmed(fields[0]).empty())
            continue;
        std::wstring_view values[3];
        for (int c = 0; c < 3; ++c) {
            if (column_[c] >= 0 && static_cast<std::size_t>(column_[c]) < fields.size())
                values[c] = Trimmed(fields[static_cast<std::size_t>(column_[c])]);
        }
        for (const std::wstring_view value : values) {
            if (!value.empty()) {
                mailbox.Address = value;
                break;
            }
        }
        mailbox.Name = !values[0].empty() ? values[0] : !values[2].empty() ? values[2] : mailbox.Address;
        return true;
    }
    return false;
}

bool TMailboxListFile::Next(TMailbox& mailbox)
{
    while (NextRow(position_, line_, mailbox, L"")) {
        if (!skipped_[row_++])
            return true;
    }
    return false;
}

void TMailboxListFile::Rewind()
{
    position_ = start_;
    line_ = startLine_;
    row_ = 0;
}
