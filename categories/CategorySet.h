#pragma once
// A sorted list of category names that ignores a name equal to one it holds.
// Equality and order come from one case-insensitive comparison in the user's
// locale; blanks count. When equal names are added, the first one stays.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The set's comparison: CompareIgnoringCaseInUserLocale. Negative, zero or
// positive; a failing platform call counts as -2 (less).
int CompareCategoryNames(std::wstring_view a, std::wstring_view b);

class TCategorySet {
public:
    void Clear();
    void Add(std::wstring_view name);
    int IndexOf(std::wstring_view name) const;
    int Count() const { return static_cast<int>(count_); }
    // Raises EStringListError "List index out of bounds (%d)" outside 0..Count-1.
    const std::wstring& Get(int index) const;

private:
    // Entries live in blocks so that inserting into a large set stays cheap;
    // the search itself sees one flat, indexed sequence.
    static constexpr std::size_t kBlockSize = 256;

    struct SearchResult {
        bool found;
        std::size_t position;
    };
    SearchResult Search(std::wstring_view name) const;
    const std::wstring& At(std::size_t index) const;
    void InsertAt(std::size_t index, std::wstring_view name);

    std::vector<std::vector<std::wstring>> blocks_;
    std::vector<std::size_t> blockStart_;
    std::size_t count_ = 0;
};

// Memo texts: each name as ShownInMemo shows it, followed by CR LF. The
// registry memo shows a name only up to its first U+0000.
std::wstring RegistryDisplayText(const TCategorySet& set);
std::wstring StoreDisplayText(const TCategorySet& set);
