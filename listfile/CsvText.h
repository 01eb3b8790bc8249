#pragma once
// Text files as Windows tools write them, and the CSV records in them: what
// the category list file and a deployment's list of mailboxes both read.
//
// Text is UTF-8, with or without its byte-order mark, or UTF-16 with its mark
// (Windows PowerShell's "Unicode", Excel's "Unicode Text"). Records are RFC
// 4180's, their fields separated by ",", or by ";" or a tab where the header
// says so (Excel writes the list separator of the user's region).

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class TByteOrderMark { None, Utf8, Utf16Le, Utf16Be };
TByteOrderMark ByteOrderMarkOf(std::string_view bytes);
std::size_t ByteOrderMarkSize(TByteOrderMark mark);
// The UTF-16 units of bytes past their mark, in the mark's byte order.
std::wstring Utf16Units(std::string_view bytes, bool bigEndian);

enum class TTextFault { None, NotText, EmbeddedNul };

struct TDecodedText {
    std::wstring Text;
    TByteOrderMark Mark = TByteOrderMark::None;
    // Only 7-bit bytes: what an export in ASCII writes, whatever it was given.
    bool Ascii = false;
    TTextFault Fault = TTextFault::None;
    int FaultLine = 0;  // where the fault is, for a Fault
};

// The file's text; a fault names the first line that is not text, or that
// holds U+0000.
TDecodedText DecodeText(std::string_view bytes);

// Where the records of a CSV text start: after Windows PowerShell's "#TYPE"
// line, which Export-Csv writes before the header.
struct TCsvStart {
    std::size_t Position = 0;
    int Line = 1;
    bool TypeLine = false;
};
TCsvStart CsvStartOf(std::wstring_view text);

// The records of a CSV text from a position on. A line break is LF or CR LF.
// Lenient where Excel is: a quote inside an unquoted field, and text after a
// closing quote, are kept as they are.
class TCsvReader {
public:
    TCsvReader(std::wstring_view text, const TCsvStart& start, wchar_t separator = L',');

    enum class TResult { Record, End, UnclosedQuote };
    // The next record's fields and the line it starts on. For UnclosedQuote,
    // line is the one the quote opened on.
    TResult Next(std::vector<std::wstring>& fields, int& line);

    std::size_t Position() const { return position_; }
    int Line() const { return line_; }

private:
    bool At(wchar_t c) const { return position_ < text_.size() && text_[position_] == c; }
    bool ReadQuoted(std::wstring& field);

    std::wstring_view text_;
    std::size_t position_;
    int line_;
    wchar_t separator_;
};

// The field without the spaces and tabs around it.
std::wstring_view TrimmedField(std::wstring_view field);
// The first of ",", ";" and tab that splits the record at start into fields,
// one of which is one of columns (spaces around and letter case ignored).
std::optional<wchar_t> CsvSeparatorOf(std::wstring_view text, const TCsvStart& start,
                                      std::initializer_list<std::wstring_view> columns);
bool IsEmptyCsvRecord(const std::vector<std::wstring>& fields);
