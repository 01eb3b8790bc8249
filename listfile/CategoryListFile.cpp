#include "listfile/CategoryListFile.h"

#include "base/Platform.h"
#include "base/UserMutex.h"
#include "categories/CategorySet.h"
#include "categories/MasterListText.h"
#include "listfile/ListFileParts.h"

#include <windows.h>

#include <algorithm>
#include <iterator>

namespace {

// The system's text for an error code, without the line break and "." it
// ends in: the messages put it after "FILE: " and the front end adds ".".
std::wstring SystemErrorText(DWORD code)
{
    wchar_t buffer[512];
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                        0, buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
    std::wstring text(buffer, length);
    while (!text.empty() && (text.back() <= L' ' || text.back() == L'.'))
        text.pop_back();
    return text.empty() ? L"Error Code: " + std::to_wstring(code) : text;
}

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

// CreateFileW's failure is INVALID_HANDLE_VALUE, the owner's empty value is null.
UniqueKernelHandle OwnedFile(HANDLE handle)
{
    return UniqueKernelHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

// ERROR_SUCCESS, or why the bytes could not all be written and flushed.
DWORD WriteAllAndFlush(HANDLE file, std::string_view bytes)
{
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr))
            return GetLastError();
        bytes.remove_prefix(written);
    }
    return FlushFileBuffers(file) ? ERROR_SUCCESS : GetLastError();
}

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
    // Others may keep the file open (a spreadsheet showing it): reading it
    // takes nothing from them.
    const UniqueKernelHandle file = OwnedFile(CreateFileW(path.c_str(), GENERIC_READ,
                                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                          nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        throw EListFileError(path, 1, SystemErrorText(GetLastError()));
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size))
        throw EListFileError(path, 1, SystemErrorText(GetLastError()));
    // Refused before reading, so that a huge file costs nothing.
    if (static_cast<unsigned long long>(size.QuadPart) > kListFileMaxBytes)
        throw EListFileError(path, 1, kTooLarge);
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        if (!ReadFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &read, nullptr))
            throw EListFileError(path, 1, SystemErrorText(GetLastError()));
        if (read == 0)
            break;  // the file shrank while it was read
        done += read;
    }
    bytes.resize(done);
    return ParseCategoryList(bytes, ListFileFormatOf(path), path);
}

std::string FormatCategoryList(const std::vector<TListFileEntry>& entries, TListFileFormat format)
{
    return format == TListFileFormat::Json ? FormatJsonList(entries) : FormatCsvList(entries);
}

void WriteCategoryListFile(const std::wstring& path, const std::vector<TListFileEntry>& entries)
{
    const std::string bytes = FormatCategoryList(entries, ListFileFormatOf(path));

    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0)
            throw EListFileWriteError(path, SystemErrorText(GetLastError()));
        if (length < full.size()) {
            full.resize(length);
            break;
        }
        full.resize(length);
    }
    // The temporary file lives in the target's own folder, so that putting it
    // in place is a rename on one volume, never a copy that could stop halfway.
    const std::size_t slash = full.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? std::wstring(L".") : full.substr(0, slash + 1);
    wchar_t temporary[MAX_PATH + 16];
    if (!GetTempFileNameW(folder.c_str(), L"pel", 0, temporary))
        throw EListFileWriteError(path, SystemErrorText(GetLastError()));

    DWORD failure = ERROR_SUCCESS;
    {
        const UniqueKernelHandle file =
            OwnedFile(CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        failure = file ? WriteAllAndFlush(file.get(), bytes) : GetLastError();
    }
    if (failure == ERROR_SUCCESS &&
        !MoveFileExW(temporary, full.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        failure = GetLastError();
    if (failure != ERROR_SUCCESS) {
        DeleteFileW(temporary);
        throw EListFileWriteError(path, SystemErrorText(failure));
    }
}
