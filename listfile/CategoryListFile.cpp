#include "listfile/CategoryListFile.h"

#include "base/Files.h"
#include "base/Platform.h"
#include "categories/CategorySet.h"
#include "categories/MasterListText.h"
#include "listfile/ListFileParts.h"

#include <windows.h>

#include <algorithm>
#include <iterator>

namespace {

bool IsOutlookColorNumber(std::wstring_view text, std::int32_t& value)
{
    // "7" and "25", never "07" or "+7": the numbers as Outlook's object model
    // and a script print them.
    if (text.empty() || text.size() > 2 || (text.size() == 2 && text[0] == L'0'))
        return false;
    value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9')
            return false;
        value = value * 10 + (c - L'0');
    }
    return value <= TCategoryColor::kLastValue;
}

// Graph's spelling or Outlook's number; false for anything else.
bool ParseColor(std::wstring_view text, std::optional<TCategoryColor>& color)
{
    const std::wstring trimmed = TrimBlanksW(text);
    color.reset();
    if (trimmed.empty())
        return true;
    if ((color = TCategoryColor::FromGraphName(trimmed)))
        return true;
    std::int32_t value = 0;
    if (IsOutlookColorNumber(trimmed, value))
        color = TCategoryColor::FromOutlook(value);
    return color.has_value();
}

std::wstring LineText(std::wstring_view file, int line)
{
    return std::wstring(file) + L", line " + std::to_wstring(line) + L": ";
}

constexpr std::wstring_view kTooLarge = L"the file is larger than 10 MB, the most a category list may have";

}  // namespace

EListFileError::EListFileError(std::wstring_view file, int line, std::wstring_view what)
    : EException(LineText(file, line) + std::wstring(what)), file_(file), line_(line), what_(what)
{
}

EListFileWriteError::EListFileWriteError(std::wstring_view file, std::wstring_view what)
    : EException(std::wstring(file) + L": " + std::wstring(what))
{
}

void TListCollector::Fail(int line, std::wstring_view what) const
{
    throw EListFileError(file_, line, what);
}

void TListCollector::Warn(int line, std::wstring_view what)
{
    list_.Warnings.push_back({line, LineText(file_, line) + L"skipped: " + std::wstring(what)});
}

bool TListCollector::TNameLess::operator()(const std::wstring& a, const std::wstring& b) const
{
    return CompareCategoryNames(a, b) < 0;
}

void TListCollector::Add(int line, std::wstring name, std::wstring_view colorText)
{
    if (++rows_ > kListFileMaxRows)
        Fail(line, L"the file has more than 100,000 rows, the most a category list may have");
    if (name.find(L'\0') != std::wstring::npos || colorText.find(L'\0') != std::wstring_view::npos)
        Fail(line, kEmbeddedNul);
    std::optional<TCategoryColor> color;
    if (!ParseColor(colorText, color))
        Fail(line, L"unknown colour \"" + std::wstring(colorText) +
                       L"\" (a colour is none, preset0 to preset24, or a number from 0 to 25)");
    if (TrimBlanksW(name).empty()) {
        Warn(line, L"the name is blank");
        return;
    }
    const auto [first, inserted] = firstLines_.try_emplace(name, line);
    if (!inserted) {
        Warn(line, L"\"" + name + L"\" is already on line " + std::to_wstring(first->second));
        return;
    }
    list_.Entries.push_back({std::move(name), color, line});
}

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

TListFileFormat ListFileFormatOf(std::wstring_view path)
{
    constexpr std::wstring_view kJson = L".json";
    return path.size() >= kJson.size() && SameTextIgnoringCase(path.substr(path.size() - kJson.size()), kJson)
               ? TListFileFormat::Json
               : TListFileFormat::Csv;
}

TCategoryListFile ParseCategoryList(std::string_view bytes, TListFileFormat format, std::wstring_view file)
{
    TListCollector collector(file);
    if (bytes.size() > kListFileMaxBytes)
        collector.Fail(1, kTooLarge);
    if (format == TListFileFormat::Json)
        ReadJsonList(bytes, collector);
    else
        ReadCsvList(bytes, collector);
    return collector.Take();
}

TCategoryListFile ReadCategoryListFile(const std::wstring& path)
{
    std::string bytes;
    try {
        bytes = ReadWholeFile(path, kListFileMaxBytes);
    } catch (const EFileError& e) {
        throw EListFileError(path, 1, e.Code() == ERROR_FILE_TOO_LARGE ? kTooLarge : e.Message());
    }
    return ParseCategoryList(bytes, ListFileFormatOf(path), path);
}

std::string FormatCategoryList(const std::vector<TListFileEntry>& entries, TListFileFormat format)
{
    return format == TListFileFormat::Json ? FormatJsonList(entries) : FormatCsvList(entries);
}

void WriteCategoryListFile(const std::wstring& path, const std::vector<TListFileEntry>& entries)
{
    const std::string bytes = FormatCategoryList(entries, ListFileFormatOf(path));
    try {
        ReplaceWholeFile(path, bytes);
    } catch (const EFileError& e) {
        throw EListFileWriteError(path, e.Message());
    }
}
