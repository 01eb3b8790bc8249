// The list file as CSV (RFC 4180), as Export-Csv, Excel and Graph PowerShell's
// Import-Csv know it.
#include "listfile/ListFileParts.h"

#include "base/Errors.h"
#include "base/Platform.h"

#include <windows.h>

#include <optional>

namespace {

constexpr std::wstring_view kNotText = L"not a CSV file: its text is neither UTF-8 nor UTF-16 with a byte-order mark";
constexpr std::wstring_view kNoDisplayName = L"no DisplayName column";
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

bool DecodeUtf8(std::string_view bytes, std::wstring& text)
{
    text.clear();
    if (bytes.empty())
        return true;
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                         nullptr, 0);
    if (size == 0)
        return false;
    text.resize(static_cast<std::size_t>(size));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), text.data(),
                        size);
    return true;
}

int LineAt(std::wstring_view text, std::size_t position)
{
    int line = 1;
    for (std::size_t i = 0; i < position; ++i)
        line += text[i] == L'\n';
    return line;
}

std::wstring DecodeCsvText(std::string_view bytes, const TListCollector& collector)
{
    const TByteOrderMark mark = ByteOrderMarkOf(bytes);
    bytes.remove_prefix(ByteOrderMarkSize(mark));
    std::wstring text;
    if (mark == TByteOrderMark::Utf16Le || mark == TByteOrderMark::Utf16Be) {
        if (bytes.size() % 2 != 0)
            collector.Fail(1, kNotText);
        text = Utf16Units(bytes, mark == TByteOrderMark::Utf16Be);
    } else {
        // UTF-16 without its mark: a zero byte in the first character, which
        // no text of names starts with.
        if (mark == TByteOrderMark::None && bytes.size() >= 2 && (bytes[0] == '\0' || bytes[1] == '\0'))
            collector.Fail(1, kNotText);
        if (!DecodeUtf8(bytes, text)) {
            // A line break byte is never part of a longer UTF-8 sequence, so
            // each line decodes alone: the first that fails is the culprit.
            int line = 1;
            for (std::size_t start = 0;; ++line) {
                const std::size_t end = bytes.find('\n', start);
                std::wstring ignored;
                if (!DecodeUtf8(bytes.substr(start, end == std::string_view::npos ? end : end - start), ignored) ||
                    end == std::string_view::npos)
                    collector.Fail(line, kNotText);
                start = end + 1;
            }
        }
    }
    if (const std::size_t nul = text.find(L'\0'); nul != std::wstring::npos)
        collector.Fail(LineAt(text, nul), kEmbeddedNul);
    return text;
}

// Records of RFC 4180 text; a line break is LF or CR LF. Lenient where Excel
// is: a quote inside an unquoted field, and text after a closing quote, are
// kept as they are.
class TCsvReader {
public:
    TCsvReader(std::wstring_view text, int firstLine, const TListCollector& collector)
        : text_(text), line_(firstLine), collector_(collector)
    {
    }

    int Line() const { return line_; }

    // The next record's fields and the line it starts on; false at the end.
    bool Next(std::vector<std::wstring>& fields, int& line)
    {
        fields.clear();
        line = line_;
        if (position_ >= text_.size())
            return false;
        for (;;) {
            std::wstring& field = fields.emplace_back();
            if (At(L'"'))
                ReadQuoted(field);
            const std::size_t unquoted = field.size();
            while (position_ < text_.size() && text_[position_] != L',' && text_[position_] != L'\n')
                field += text_[position_++];
            // The CR of a CR LF ends the line; one inside quotes is the name's.
            if (field.size() > unquoted && field.back() == L'\r' && !At(L','))
                field.pop_back();
            if (position_ >= text_.size())
                return true;
            if (text_[position_++] == L'\n') {
                ++line_;
                return true;
            }
        }
    }

private:
    bool At(wchar_t c) const { return position_ < text_.size() && text_[position_] == c; }

    void ReadQuoted(std::wstring& field)
    {
        const int opened = line_;
        ++position_;
        for (;;) {
            if (position_ >= text_.size())
                collector_.Fail(opened, L"an unclosed quote");
            const wchar_t c = text_[position_++];
            if (c == L'"') {
                if (!At(L'"'))
                    return;
                ++position_;
            }
            line_ += c == L'\n';
            field += c;
        }
    }

    std::wstring_view text_;
    std::size_t position_ = 0;
    int line_;
    const TListCollector& collector_;
};

bool IsEmptyLine(const std::vector<std::wstring>& fields)
{
    return fields.size() == 1 && fields[0].empty();
}

std::optional<std::size_t> ColumnOf(const std::vector<std::wstring>& header, std::wstring_view name)
{
    for (std::size_t i = 0; i < header.size(); ++i)
        if (SameTextIgnoringCase(header[i], name))
            return i;
    return std::nullopt;
}

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
    const std::wstring text = DecodeCsvText(bytes, collector);
    std::wstring_view rest = text;
    int firstLine = 1;
    // Windows PowerShell's Export-Csv writes "#TYPE" and the objects' type first.
    if (rest.starts_with(L"#TYPE")) {
        const std::size_t end = rest.find(L'\n');
        rest = end == std::wstring_view::npos ? std::wstring_view() : rest.substr(end + 1);
        firstLine = 2;
    }
    TCsvReader reader(rest, firstLine, collector);
    std::vector<std::wstring> fields;
    int line = firstLine;
    bool more = false;
    while ((more = reader.Next(fields, line)) && IsEmptyLine(fields)) {
    }
    const std::optional<std::size_t> nameColumn = more ? ColumnOf(fields, L"DisplayName") : std::nullopt;
    if (!nameColumn)
        collector.Fail(more ? line : reader.Line(), kNoDisplayName);
    const std::optional<std::size_t> colorColumn = ColumnOf(fields, L"Color");

    while (reader.Next(fields, line)) {
        if (IsEmptyLine(fields))
            continue;
        std::wstring name = *nameColumn < fields.size() ? std::move(fields[*nameColumn]) : std::wstring();
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
