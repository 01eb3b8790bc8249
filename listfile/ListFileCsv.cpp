// The list file as CSV (RFC 4180), as Export-Csv, Excel and Graph PowerShell's
// Import-Csv know it.
#include "listfile/ListFileParts.h"

#include "base/Errors.h"
#include "base/Platform.h"

#include <optional>

namespace {

constexpr std::wstring_view kNotText =
    L"not a CSV file: its text is neither UTF-8 nor UTF-16 with a byte-order mark; save it in Excel as "
    L"\"CSV UTF-8 (Comma delimited)\", or in Notepad with the UTF-8 encoding";
constexpr std::wstring_view kNoDisplayName = L"no DisplayName column";
// Get-MgUserOutlookMasterCategory's objects carry these too; Export-Csv
// writes them all, and they are no one's mistake.
constexpr std::wstring_view kQuietColumns[] = {L"DisplayName", L"Color", L"Id", L"AdditionalProperties"};
constexpr std::wstring_view kHeader = L"DisplayName,Color";

bool IsFormulaStart(wchar_t c)
{
    return c == L'=' || c == L'+' || c == L'-' || c == L'@' || c == L'\t' || c == L'\r';
}

// A spreadsheet opening the file runs a field starting with one of these as a
// formula; one "'" in front makes it text. A name that already is "'" and
// such a start gets one more, so that taking one off on reading gives every
// name back as it was.
bool NeedsFormulaGuard(std::wstring_view name)
{
    const std::size_t start = name.find_first_not_of(L'\'');
    return start != std::wstring_view::npos && IsFormulaStart(name[start]);
}

bool HasFormulaGuard(std::wstring_view field)
{
    return field.starts_with(L'\'') && NeedsFormulaGuard(field);
}

std::optional<std::size_t> ColumnOf(const std::vector<std::wstring>& header, std::wstring_view name)
{
    for (std::size_t i = 0; i < header.size(); ++i)
        if (SameTextIgnoringCase(TrimmedField(header[i]), name))
            return i;
    return std::nullopt;
}

void RemarkUnknownColumns(const std::vector<std::wstring>& header, int line, TListCollector& collector)
{
    for (const std::wstring& column : header) {
        const std::wstring_view name = TrimmedField(column);
        // A separator at the end of the line, as a spreadsheet leaves one.
        if (name.empty())
            continue;
        bool known = false;
        for (const std::wstring_view quiet : kQuietColumns)
            known = known || SameTextIgnoringCase(name, quiet);
        if (!known)
            collector.Remark(line, L"the column \"" + std::wstring(name) +
                                       L"\" is ignored: only DisplayName and Color are read");
    }
}

// Windows PowerShell 5.1's Export-Csv writes ASCII unless told otherwise, and
// puts "?" for every letter ASCII lacks; nothing in the file tells "B?ro"
// from a name that holds a "?". Its mark is the "#TYPE" line without a
// byte-order mark: PowerShell 7 writes no "#TYPE", and 5.1 writes a mark with
// any encoding that holds every letter.
constexpr std::wstring_view kAsciiExport =
    L"\" holds \"?\" where Windows PowerShell 5.1's Export-Csv, in its default ASCII encoding, wrote each letter "
    L"that ASCII lacks; the file is not imported. Export the list again with Export-Csv -Encoding UTF8, or with "
    L"PowerShell 7";

void AppendField(std::wstring& text, std::wstring_view field)
{
    // Spaces at either end are quoted too, for readers that trim bare fields.
    const bool quoted = field.find_first_of(L",\"\r\n") != std::wstring_view::npos ||
                        (!field.empty() && (field.front() == L' ' || field.back() == L' ' ||
                                            field.front() == L'\t' || field.back() == L'\t'));
    if (!quoted) {
        text += field;
        return;
    }
    text += L'"';
    for (const wchar_t c : field) {
        if (c == L'"')
            text += L'"';
        text += c;
    }
    text += L'"';
}

}  // namespace

void ReadCsvList(std::string_view bytes, TListCollector& collector)
{
    const TDecodedText decoded = DecodeText(bytes);
    if (decoded.Fault != TTextFault::None)
        collector.Fail(decoded.FaultLine, decoded.Fault == TTextFault::NotText ? kNotText : kEmbeddedNul);
    const std::wstring_view text = decoded.Text;
    TCsvStart header = CsvStartOf(text);
    const bool asciiExport = header.TypeLine && decoded.Mark == TByteOrderMark::None && decoded.Ascii;

    std::vector<std::wstring> fields;
    int line = header.Line;
    TCsvReader::TResult read = TCsvReader::TResult::End;
    for (TCsvReader blanks(text, header);;) {
        header = {blanks.Position(), blanks.Line(), header.TypeLine};
        read = blanks.Next(fields, line);
        if (read != TCsvReader::TResult::Record || !IsEmptyCsvRecord(fields))
            break;
    }
    if (read == TCsvReader::TResult::UnclosedQuote)
        collector.Fail(line, L"an unclosed quote");
    const wchar_t separator = CsvSeparatorOf(text, header, {L"DisplayName"}).value_or(L',');
    TCsvReader reader(text, header, separator);
    const bool more = reader.Next(fields, line) == TCsvReader::TResult::Record;
    const std::optional<std::size_t> nameColumn = more ? ColumnOf(fields, L"DisplayName") : std::nullopt;
    if (!nameColumn)
        collector.Fail(more ? line : reader.Line(), kNoDisplayName);
    const std::optional<std::size_t> colorColumn = ColumnOf(fields, L"Color");
    RemarkUnknownColumns(fields, line, collector);

    for (;;) {
        read = reader.Next(fields, line);
        if (read == TCsvReader::TResult::UnclosedQuote)
            collector.Fail(line, L"an unclosed quote");
        if (read == TCsvReader::TResult::End)
            break;
        if (IsEmptyCsvRecord(fields))
            continue;
        std::wstring name = *nameColumn < fields.size() ? std::move(fields[*nameColumn]) : std::wstring();
        if (asciiExport && name.find(L'?') != std::wstring::npos)
            collector.Fail(line, L"\"" + name + std::wstring(kAsciiExport));
        if (HasFormulaGuard(name))
            name.erase(0, 1);
        const std::wstring_view color =
            colorColumn && *colorColumn < fields.size() ? std::wstring_view(fields[*colorColumn]) : std::wstring_view();
        collector.Add(line, std::move(name), color);
    }
}

std::wstring SpreadsheetSafeCsvField(std::wstring_view text)
{
    std::wstring field;
    AppendField(field, NeedsFormulaGuard(text) ? L"'" + std::wstring(text) : std::wstring(text));
    return field;
}

std::string FormatCsvList(const std::vector<TListFileEntry>& entries)
{
    std::wstring text = L"\xFEFF";
    text += kHeader;
    text += L"\r\n";
    for (const TListFileEntry& entry : entries) {
        text += SpreadsheetSafeCsvField(entry.Name);
        text += L',';
        if (entry.Color)
            if (const auto name = entry.Color->GraphName())
                text += *name;
        text += L"\r\n";
    }
    return ToUtf8(text);
}
