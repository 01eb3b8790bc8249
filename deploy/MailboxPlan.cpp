#include "deploy/MailboxPlan.h"

#include "categories/CategorySet.h"
#include "listfile/ListGains.h"

std::vector<std::wstring> NamesNotInList(const std::vector<TListFileEntry>& list,
                                         const std::vector<TGraphCategory>& mailbox)
{
    // The comparison every list's names go by, so that a name audit calls
    // extra is never one deploy would add as lacking.
    TCategorySet listed;
    for (const TListFileEntry& entry : list)
        listed.Add(entry.Name);
    std::vector<std::wstring> extra;
    TCategorySet seen;
    for (const TGraphCategory& category : mailbox) {
        if (listed.IndexOf(category.DisplayName) == -1 && seen.IndexOf(category.DisplayName) == -1) {
            seen.Add(category.DisplayName);
            extra.push_back(category.DisplayName);
        }
    }
    return extra;
}

TMailboxPlan PlanMailbox(const std::vector<TListFileEntry>& list, const std::vector<TGraphCategory>& mailbox,
                         bool colors)
{
    std::vector<THeldCategory> held;
    held.reserve(mailbox.size());
    for (const TGraphCategory& category : mailbox) {
        const std::optional<TCategoryColor> color = category.OutlookColor();
        held.push_back({category.DisplayName, color, !color});
    }
    const TListGains gains = ListGains(list, held);

    TMailboxPlan plan;
    for (const TListFileEntry& entry : gains.Lacks)
        plan.Add.push_back({entry.Name, entry.Color});
    if (colors) {
        for (const TColorDiffers& differs : gains.ColorDiffers) {
            plan.Recolour.push_back({mailbox[differs.Held].Id, differs.FileColor});
            plan.RecolourNames.push_back(mailbox[differs.Held].DisplayName);
        }
    }
    return plan;
}
