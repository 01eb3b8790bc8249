#pragma once
// Files read whole and replaced whole: the one place the program opens a file
// by its name to read it all or to put new contents in its place.

#include "base/Errors.h"
#include "base/UniqueHandle.h"

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

// A file the system would not open, read or replace. Message() is the
// system's text for Code(): callers put it after the file's name, in their
// own words.
class EFileError : public EException {
public:
    explicit EFileError(DWORD code);
    DWORD Code() const noexcept { return code_; }

private:
    DWORD code_;
};

// CreateFile fails with INVALID_HANDLE_VALUE, where the owner's empty value is null.
UniqueKernelHandle OwnedFile(HANDLE handle) noexcept;

// Shared with every other reader and writer: a file a spreadsheet holds open
// still reads, and reading it takes nothing from the spreadsheet. Raises EFileError.
UniqueKernelHandle OpenFileForReading(const std::wstring& path);

// All of a file just opened. A file larger than maxBytes is refused before
// any of it is read, with ERROR_FILE_TOO_LARGE, so that a huge file costs
// nothing; one that shrinks while it is read ends where it ends. Raises EFileError.
std::string ReadWholeFile(HANDLE file, std::size_t maxBytes);
std::string ReadWholeFile(const std::wstring& path, std::size_t maxBytes);

// path made absolute against the current folder. Raises EFileError.
std::wstring FullPath(const std::wstring& path);

// Writes bytes to a new file beside path, flushed to disk, then puts it in
// path's place with one rename on that volume: a reader, or a run killed
// halfway, sees the old file or the new one whole, never a part of either.
// Raises EFileError; path is then as it was, and the new file is gone.
void ReplaceWholeFile(const std::wstring& path, std::string_view bytes);
