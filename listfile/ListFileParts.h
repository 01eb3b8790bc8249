#pragma once
// What the CSV and JSON halves of the list file share: the checks every entry
// passes whatever the format, and the byte-order marks both read.

#include "listfile/CategoryListFile.h"

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::wstring_view kEmbeddedNul = L"an embedded U+0000";

// Gathers a file's entries in file order. Raises EListFileError for a bad
// entry, and collects a warning for one it skips.
class TListCollector {
public:
    explicit TListCollector(std::wstring_view file) : file_(file) {}

    [[noreturn]] void Fail(int line, std::wstring_view what) const;
    // One row or entry, its colour as the file spells it (empty: none asked).
    void Add(int line, std::wstring name, std::wstring_view colorText);
    TCategoryListFile Take() { return std::move(list_); }

private:
    void Warn(int line, std::wstring_view what);

    // The program's one comparison of names, letter case ignored in the
    // user's locale, so the file's duplicates are the stores' duplicates.
    struct TNameLess {
        bool operator()(const std::wstring& a, const std::wstring& b) const;
    };

    std::wstring file_;
    TCategoryListFile list_;
    std::map<std::wstring, int, TNameLess> firstLines_;
    std::size_t rows_ = 0;
};

enum class TByteOrderMark { None, Utf8, Utf16Le, Utf16Be };
TByteOrderMark ByteOrderMarkOf(std::string_view bytes);
std::size_t ByteOrderMarkSize(TByteOrderMark mark);
// The UTF-16 units of bytes past their mark, in the mark's byte order.
std::wstring Utf16Units(std::string_view bytes, bool bigEndian);

void ReadCsvList(std::string_view bytes, TListCollector& collector);
void ReadJsonList(std::string_view bytes, TListCollector& collector);
std::string FormatCsvList(const std::vector<TListFileEntry>& entries);
std::string FormatJsonList(const std::vector<TListFileEntry>& entries);
