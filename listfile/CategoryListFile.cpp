#include "listfile/CategoryListFile.h"

#include "base/Platform.h"
#include "base/UserMutex.h"
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
