#pragma once
// What the CSV and JSON halves of the list file share: the checks every entry
// passes whatever the format (ListFileChecks.cpp), and the text both read.

#include "listfile/CategoryListFile.h"
#include "listfile/CsvText.h"

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::wstring_view kEmbeddedNul = L"an embedded U+0000";

// "FILE, line N: ", which every message about a place in the file starts with.
std::wstring ListFileLineText(std::wstring_view file, int line);

// Gathers a file's entries in file order. Raises EListFileError for a bad
// entry, and collects a warning for one it skips.
class TListCollector {
public:
    explicit TListCollector(std::wstring_view file) : file_(file) {}

    [[noreturn]] void Fail(int line, std::wstring_view what) const;
    // One row or entry, its colour as the file spells it (empty: none asked).
    void Add(int line, std::wstring name, std::wstring_view colorText);
    // Something about the file as a whole the user should hear of.
    void Remark(int line, std::wstring_view what);
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

void ReadCsvList(std::string_view bytes, TListCollector& collector);
void ReadJsonList(std::string_view bytes, TListCollector& collector);
std::string FormatCsvList(const std::vector<TListFileEntry>& entries);
std::string FormatJsonList(const std::vector<TListFileEntry>& entries);
