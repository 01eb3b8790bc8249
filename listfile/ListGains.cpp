#include "listfile/ListGains.h"

#include "categories/CategorySet.h"

#include <map>

namespace {

struct TNameLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const { return CompareCategoryNames(a, b) < 0; }
};

// Only a colour both Outlook and Graph can name is ever asked for: a file
// cannot give another, and a mailbox could not take it.
bool DiffersFrom(const THeldCategory& held, TCategoryColor fileColor)
{
    if (!fileColor.IsNamed())
        return false;
    if (held.UnreadableColor)
        return true;
    return held.Color && *held.Color != fileColor;
}

}  // namespace

TListGains ListGains(const std::vector<TListFileEntry>& list, const std::vector<THeldCategory>& held)
{
    std::map<std::wstring, std::size_t, TNameLess> places;
    for (std::size_t i = 0; i < held.size(); ++i)
        places.emplace(held[i].Name, i);

    TListGains gains;
    TCategorySet lacked;
    for (const TListFileEntry& entry : list) {
        const auto found = places.find(entry.Name);
        if (found == places.end()) {
            // A file names each once; should one not, the target gains it once.
            if (lacked.IndexOf(entry.Name) == -1) {
                lacked.Add(entry.Name);
                gains.Lacks.push_back(entry);
            }
            continue;
        }
        if (entry.Color && DiffersFrom(held[found->second], *entry.Color))
            gains.ColorDiffers.push_back({found->second, *entry.Color});
    }
    return gains;
}
