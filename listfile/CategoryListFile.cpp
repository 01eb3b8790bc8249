#include "listfile/CategoryListFile.h"

#include "base/Files.h"
#include "base/Platform.h"
#include "listfile/ListFileParts.h"

#include <windows.h>

#include <algorithm>
#include <iterator>

namespace {

// No CSV header starts with a brace or a bracket; JSON always does.
bool LooksLikeJson(std::string_view bytes)
{
    const TByteOrderMark mark = ByteOrderMarkOf(bytes);
    bytes.remove_prefix(ByteOrderMarkSize(mark));
    const bool utf16 = mark == TByteOrderMark::Utf16Le || mark == TByteOrderMark::Utf16Be;
    bytes = bytes.substr(0, 64);
    const std::wstring start =
        utf16 ? Utf16Units(bytes, mark == TByteOrderMark::Utf16Be) : std::wstring(bytes.begin(), bytes.end());
    const std::size_t first = start.find_first_not_of(L" \t\r\n");
    return first != std::wstring::npos && (start[first] == L'{' || start[first] == L'[');
}

constexpr std::wstring_view kTooLarge = L"the file is larger than 10 MB, the most a category list may have";

}  // namespace

EListFileWriteError::EListFileWriteError(std::wstring_view file, std::wstring_view what)
    : EException(std::wstring(file) + L": " + std::wstring(what))
{
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
    if (format == TListFileFormat::Json || LooksLikeJson(bytes))
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
