#include "CategorySet.h"

#include "base/Errors.h"
#include "base/Platform.h"
#include "categories/ShownText.h"

#include <windows.h>

#include <algorithm>
#include <climits>

int CompareCategoryNames(std::wstring_view a, std::wstring_view b)
{
    return CompareIgnoringCaseInUserLocale(a, b);
}

void TCategorySet::Clear()
{
    blocks_.clear();
    blockStart_.clear();
    count_ = 0;
}

const std::wstring& TCategorySet::At(std::size_t index) const
{
    const auto next = std::upper_bound(blockStart_.begin(), blockStart_.end(), index);
    const auto block = static_cast<std::size_t>(next - blockStart_.begin()) - 1;
    return blocks_[block][index - blockStart_[block]];
}

TCategorySet::SearchResult TCategorySet::Search(std::wstring_view name) const
{
    // The exact search the stored data was always ordered by: on an equal entry
    // the search stops there, otherwise lo is where the name belongs.
    long long lo = 0;
    long long hi = static_cast<long long>(count_) - 1;
    bool found = false;
    while (lo <= hi) {
        const long long mid = (lo + hi) / 2;
        const int r = CompareCategoryNames(At(static_cast<std::size_t>(mid)), name);
        if (r < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
            if (r == 0) {
                found = true;
                lo = mid;
            }
        }
    }
    return {found, static_cast<std::size_t>(lo)};
}

void TCategorySet::InsertAt(std::size_t index, std::wstring_view name)
{
    if (blocks_.empty()) {
        blocks_.emplace_back();
        blockStart_.push_back(0);
    }
    std::size_t block;
    if (index == count_) {
        block = blocks_.size() - 1;
    } else {
        const auto next = std::upper_bound(blockStart_.begin(), blockStart_.end(), index);
        block = static_cast<std::size_t>(next - blockStart_.begin()) - 1;
    }
    auto& entries = blocks_[block];
    entries.emplace(entries.begin() + static_cast<std::ptrdiff_t>(index - blockStart_[block]), name);
    ++count_;

    if (entries.size() >= 2 * kBlockSize) {
        std::vector<std::wstring> upper(std::make_move_iterator(entries.begin() + kBlockSize),
                                        std::make_move_iterator(entries.end()));
        entries.resize(kBlockSize);
        blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(block) + 1, std::move(upper));
        blockStart_.insert(blockStart_.begin() + static_cast<std::ptrdiff_t>(block) + 1, 0);
    }
    for (std::size_t b = block + 1; b < blocks_.size(); ++b)
        blockStart_[b] = blockStart_[b - 1] + blocks_[b - 1].size();
}

void TCategorySet::Add(std::wstring_view name)
{
    const SearchResult r = Search(name);
    if (!r.found)
        InsertAt(r.position, name);
}

int TCategorySet::IndexOf(std::wstring_view name) const
{
    const SearchResult r = Search(name);
    return r.found ? static_cast<int>(r.position) : -1;
}

const std::wstring& TCategorySet::Get(int index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= count_)
        throw EStringListError(L"List index out of bounds (" + std::to_wstring(index) + L")");
    return At(static_cast<std::size_t>(index));
}

namespace {

std::wstring DisplayText(const TCategorySet& set, bool cutAtFirstNul)
{
    std::wstring text;
    const int count = set.Count();
    for (int i = 0; i < count; ++i) {
        const std::wstring& entry = set.Get(i);
        text += ShownInMemo(cutAtFirstNul ? std::wstring_view(entry.c_str()) : std::wstring_view(entry));
        text += L"\r\n";
    }
    return text;
}

}  // namespace

std::wstring RegistryDisplayText(const TCategorySet& set)
{
    return DisplayText(set, true);
}

std::wstring StoreDisplayText(const TCategorySet& set)
{
    return DisplayText(set, false);
}
