#include "deploy/MailboxPlan.h"

#include "listfile/ListGains.h"

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
