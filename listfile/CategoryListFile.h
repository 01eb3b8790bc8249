#pragma once
// A category list file: names with their colours, as people already make and
// read them. CSV as Microsoft's own tools write it (PowerShell's Export-Csv,
// Excel), or, for a name ending in ".json", the shape Microsoft Graph returns:
// {"value":[{"displayName":"...","color":"preset3"}]}.
//
// A file is read and checked whole before anything is returned, so that a bad
// file changes nothing. It is written whole or not at all.

#include "base/Errors.h"
#include "categories/CategoryColor.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The most a list file may hold. Beyond these the file is refused rather than
// read partly: a list this long is not a category list.
inline constexpr std::size_t kListFileMaxBytes = 10 * 1024 * 1024;
inline constexpr std::size_t kListFileMaxRows = 100000;

struct TListFileEntry {
    std::wstring Name;
    // Nothing when the file asks for no colour: the store then picks one.
    std::optional<TCategoryColor> Color;
    // The file's line where the entry starts (a CSV row, a JSON entry's "{");
    // 0 for an entry that was not read from a file.
    int Line = 0;
};

// Something the reader skipped and the user should hear about, as
// "FILE, line N: skipped: ...". It carries the file's own text.
struct TListFileWarning {
    int Line = 0;
    std::wstring Message;
};

struct TCategoryListFile {
    std::vector<TListFileEntry> Entries;  // in file order, each name once
    std::vector<TListFileWarning> Warnings;
    // What the user should know about the file as a whole, as
    // "FILE, line N: ...": a column it has that nothing reads (a misspelt
    // "Colour" would otherwise go unseen), a list that may go on elsewhere.
    std::vector<TListFileWarning> Remarks;
};

// A file that cannot be read as a category list: "FILE, line N: WHAT". WHAT may
// quote the file's own text (a colour, a name) unchanged. Errors about the file
// as a whole (it cannot be opened, it is too large, it is not text) name line 1.
class EListFileError : public EException {
public:
    EListFileError(std::wstring_view file, int line, std::wstring_view what);

    const std::wstring& File() const noexcept { return file_; }
    int Line() const noexcept { return line_; }
    const std::wstring& What() const noexcept { return what_; }

private:
    std::wstring file_;
    int line_;
    std::wstring what_;
};

// A list file that could not be written: "FILE: WHAT", with the system's text.
// The file is then as it was before.
class EListFileWriteError : public EException {
public:
    EListFileWriteError(std::wstring_view file, std::wstring_view what);
};

enum class TListFileFormat { Csv, Json };

// Json for a name ending in ".json" (letter case ignored), else Csv.
TListFileFormat ListFileFormatOf(std::wstring_view path);

// Reads and checks the whole file. Raises EListFileError.
TCategoryListFile ReadCategoryListFile(const std::wstring& path);
// The same for a file's bytes; file only names the file in messages. Raises
// EListFileError, also for more than kListFileMaxBytes. Text that starts with
// "{" or "[" is read as JSON whatever format says: Graph's answer saved under
// any name.
TCategoryListFile ParseCategoryList(std::string_view bytes, TListFileFormat format, std::wstring_view file);

// The bytes of a list file: CSV in UTF-8 with a byte-order mark, CR LF line
// ends and the header "DisplayName,Color"; JSON in UTF-8 in Graph's shape. A
// colour without Graph's name is written as none asked for. Lines are ignored.
std::string FormatCategoryList(const std::vector<TListFileEntry>& entries, TListFileFormat format);
// Writes a temporary file beside path, then puts it in path's place, replacing
// an existing file. Raises EListFileWriteError; the temporary file is gone then.
void WriteCategoryListFile(const std::wstring& path, const std::vector<TListFileEntry>& entries);

// One CSV field as the list file writes its names, for any CSV a spreadsheet
// may open: a text a spreadsheet would run as a formula (one starting with
// "=", "+", "-", "@", a tab or CR, after any "'") gets one "'" in front, and
// the field is quoted where it holds ",", a quote or a line break, or starts
// or ends with a space or a tab.
std::wstring SpreadsheetSafeCsvField(std::wstring_view text);

// A warning, "FILE, line N: ...", for each entry whose name is one of
// targetNames with letters turned into "?": what an export in an encoding
// that lacks those letters leaves (each UTF-16 unit outside ASCII one "?").
// Imported, such a name would sit beside the real one as a new category.
std::vector<std::wstring> MangledNameWarnings(std::wstring_view file, const std::vector<TListFileEntry>& entries,
                                              const std::vector<std::wstring>& targetNames);
