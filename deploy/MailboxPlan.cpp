#include "deploy/MailboxPlan.h"

#include "categories/CategorySet.h"

#include <map>

namespace {

struct TNameLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const { return CompareCategoryNames(a, b) < 0; }
};

}  // namespace

TMailboxPlan PlanMailbox(const std::vector<TListFileEntry>& list, const std::vector<TGraphCategory>& mailbox,
                         bool colors)
{
    // The first of two names Graph holds as one stays, as in a category set.
    std::map<std::wstring, const TGraphCategory*, TNameLess> held;
    for (const TGraphCategory& category : mailbox)
        held.emplace(category.DisplayName, &category);

    TMailboxPlan plan;
    for (const TListFileEntry& entry : list) {
        const auto found = held.find(entry.Name);
        if (found == held.end()) {
            plan.Add.push_back({entry.Name, entry.Color});
            continue;
        }
        // A colour Graph may name later, which this program cannot read, is
        // another colour than the file's too.
        const TGraphCategory& category = *found->second;
        if (colors && entry.Color && entry.Color->GraphName() && category.OutlookColor() != entry.Color) {
            plan.Recolour.push_back({category.Id, *entry.Color});
            plan.RecolourNames.push_back(category.DisplayName);
        }
    }
    return plan;
}
