#include "listfile/CsvText.h"

#include "base/Platform.h"

#include <windows.h>

#include <algorithm>

namespace {

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
    return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(position), L'\n'));
}

}  // namespace

TByteOrderMark ByteOrderMarkOf(std::string_view bytes)
{
    if (bytes.starts_with("\xEF\xBB\xBF"))
        return TByteOrderMark::Utf8;
    if (bytes.starts_with("\xFF\xFE"))
        return TByteOrderMark::Utf16Le;
    if (bytes.starts_with("\xFE\xFF"))
        return TByteOrderMark::Utf16Be;
    return TByteOrderMark::None;
}

std::size_t ByteOrderMarkSize(TByteOrderMark mark)
{
    switch (mark) {
    case TByteOrderMark::Utf8:
        return 3;
    case TByteOrderMark::Utf16Le:
    case TByteOrderMark::Utf16Be:
        return 2;
    case TByteOrderMark::None:
        break;
    }
    return 0;
}

std::wstring Utf16Units(std::string_view bytes, bool bigEndian)
{
    std::wstring units(bytes.size() / 2, L'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        const auto first = static_cast<unsigned char>(bytes[2 * i]);
        const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
        units[i] = static_cast<wchar_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    }
    return units;
}

TDecodedText DecodeText(std::string_view bytes)
{
    TDecodedText decoded;
    decoded.Mark = ByteOrderMarkOf(bytes);
    bytes.remove_prefix(ByteOrderMarkSize(decoded.Mark));
    const auto fault = [&](TTextFault kind, int line) {
        decoded.Text.clear();
        decoded.Fault = kind;
        decoded.FaultLine = line;
        return decoded;
    };
    if (decoded.Mark == TByteOrderMark::Utf16Le || decoded.Mark == TByteOrderMark::Utf16Be) {
        if (bytes.size() % 2 != 0)
            return fault(TTextFault::NotText, 1);
        decoded.Text = Utf16Units(bytes, decoded.Mark == TByteOrderMark::Utf16Be);
    } else {
        // UTF-16 without its mark: a zero byte in the first character, which
        // no text of names starts with.
        if (decoded.Mark == TByteOrderMark::None && bytes.size() >= 2 && (bytes[0] == '\0' || bytes[1] == '\0'))
            return fault(TTextFault::NotText, 1);
        if (!DecodeUtf8(bytes, decoded.Text)) {
            // A line break byte is never part of a longer UTF-8 sequence, so
            // each line decodes alone: the first that fails is the culprit.
            int line = 1;
            for (std::size_t start = 0;; ++line) {
                const std::size_t end = bytes.find('\n', start);
                std::wstring ignored;
                if (!DecodeUtf8(bytes.substr(start, end == std::string_view::npos ? end : end - start), ignored) ||
                    end == std::string_view::npos)
                    return fault(TTextFault::NotText, line);
                start = end + 1;
            }
        }
        decoded.Ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; });
    }
    if (const std::size_t nul = decoded.Text.find(L'\0'); nul != std::wstring::npos)
        return fault(TTextFault::EmbeddedNul, LineAt(decoded.Text, nul));
    return decoded;
}

TCsvStart CsvStartOf(std::wstring_view text)
{
    TCsvStart start;
    if (text.starts_with(L"#TYPE")) {
        const std::size_t end = text.find(L'\n');
        start.Position = end == std::wstring_view::npos ? text.size() : end + 1;
        start.Line = 2;
        start.TypeLine = true;
    }
    return start;
}

TCsvReader::TCsvReader(std::wstring_view text, const TCsvStart& start, wchar_t separator)
    : text_(text), position_(start.Position), line_(start.Line), separator_(separator)
{
}

TCsvReader::TResult TCsvReader::Next(std::vector<std::wstring>& fields, int& line)
{
    fields.clear();
    line = line_;
    if (position_ >= text_.size())
        return TResult::End;
    for (;;) {
        std::wstring& field = fields.emplace_back();
        if (At(L'"') && !ReadQuoted(field)) {
            line = line_;
            return TResult::UnclosedQuote;
        }
        const std::size_t unquoted = field.size();
        while (position_ < text_.size() && text_[position_] != separator_ && text_[position_] != L'\n')
            field += text_[position_++];
        // The CR of a CR LF ends the line; one inside quotes is the field's.
        if (field.size() > unquoted && field.back() == L'\r' && !At(separator_))
            field.pop_back();
        if (position_ >= text_.size())
            return TResult::Record;
        if (text_[position_++] == L'\n') {
            ++line_;
            return TResult::Record;
        }
    }
}

bool TCsvReader::ReadQuoted(std::wstring& field)
{
    const int opened = line_;
    ++position_;
    for (;;) {
        if (position_ >= text_.size()) {
            line_ = opened;
            return false;
        }
        const wchar_t c = text_[position_++];
        if (c == L'"') {
            if (!At(L'"'))
                return true;
            ++position_;
        }
        line_ += c == L'\n';
        field += c;
    }
}

std::wstring_view TrimmedField(std::wstring_view field)
{
    const std::size_t first = field.find_first_not_of(L" \t");
    if (first == std::wstring_view::npos)
        return {};
    return field.substr(first, field.find_last_not_of(L" \t") - first + 1);
}

std::optional<wchar_t> CsvSeparatorOf(std::wstring_view text, const TCsvStart& start,
                                      std::initializer_list<std::wstring_view> columns)
{
    std::vector<std::wstring> fields;
    for (const wchar_t separator : {L',', L';', L'\t'}) {
        TCsvReader reader(text, start, separator);
        int line = 0;
        if (reader.Next(fields, line) != TCsvReader::TResult::Record)
            continue;
        for (const std::wstring& field : fields)
            for (const std::wstring_view column : columns)
                if (SameTextIgnoringCase(TrimmedField(field), column))
                    return separator;
    }
    return std::nullopt;
}

bool IsEmptyCsvRecord(const std::vector<std::wstring>& fields)
{
    return fields.size() == 1 && fields[0].empty();
}
