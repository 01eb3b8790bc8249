#include "base/Files.h"

#include "base/SystemErrorText.h"

#include <algorithm>

namespace {

// ERROR_SUCCESS, or why the bytes could not all be written and flushed.
DWORD WriteAllAndFlush(HANDLE file, std::string_view bytes)
{
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr))
            return GetLastError();
        if (written == 0)
            return ERROR_WRITE_FAULT;
        bytes.remove_prefix(written);
    }
    return FlushFileBuffers(file) ? ERROR_SUCCESS : GetLastError();
}

}  // namespace

EFileError::EFileError(DWORD code) : EException(SystemErrorText(code)), code_(code) {}

UniqueKernelHandle OwnedFile(HANDLE handle) noexcept
{
    return UniqueKernelHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

UniqueKernelHandle OpenFileForReading(const std::wstring& path)
{
    UniqueKernelHandle file =
        OwnedFile(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        throw EFileError(GetLastError());
    return file;
}

std::string ReadWholeFile(HANDLE file, std::size_t maxBytes)
{
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size))
        throw EFileError(GetLastError());
    if (static_cast<unsigned long long>(size.QuadPart) > maxBytes)
        throw EFileError(ERROR_FILE_TOO_LARGE);
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD read = 0;
        if (!ReadFile(file, bytes.data() + done, chunk, &read, nullptr))
            throw EFileError(GetLastError());
        if (read == 0)
            break;
        done += read;
    }
    bytes.resize(done);
    return bytes;
}

std::string ReadWholeFile(const std::wstring& path, std::size_t maxBytes)
{
    return ReadWholeFile(OpenFileForReading(path).get(), maxBytes);
}

std::wstring FullPath(const std::wstring& path)
{
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0)
            throw EFileError(GetLastError());
        if (length < full.size()) {
            full.resize(length);
            return full;
        }
        // Too small: length is the size it needs, its terminating zero included.
        full.resize(length);
    }
}

void ReplaceWholeFile(const std::wstring& path, std::string_view bytes)
{
    const std::wstring full = FullPath(path);
    // In the target's own folder, so that putting it in place is a rename on
    // one volume, never a copy that could stop halfway.
    const std::size_t slash = full.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? std::wstring(L".") : full.substr(0, slash + 1);
    wchar_t temporary[MAX_PATH + 16];
    if (!GetTempFileNameW(folder.c_str(), L"pel", 0, temporary))
        throw EFileError(GetLastError());

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
        throw EFileError(failure);
    }
}
