#pragma once
// What one mailbox gains from the list file, as every target of a list file
// gains (listfile/ListGains.h): each name it lacks, with the file's colour,
// and with --colors the colour of each name it holds where the file gives
// another, in the terms of Graph's batches.

#include "graph/GraphCategories.h"
#include "listfile/CategoryListFile.h"

#include <string>
#include <vector>

struct TMailboxPlan {
    std::vector<TNewCategory> Add;  // in the file's order
    std::vector<TColorChange> Recolour;
    std::vector<std::wstring> RecolourNames;  // as the mailbox spells them, one per Recolour

    bool Empty() const { return Add.empty() && Recolour.empty(); }
};

// The names the mailbox holds that the list does not, as the mailbox spells
// them and in its order: an audit reports them, nothing ever removes them.
std::vector<std::wstring> NamesNotInList(const std::vector<TListFileEntry>& list,
                                         const std::vector<TGraphCategory>& mailbox);

TMailboxPlan PlanMailbox(const std::vector<TListFileEntry>& list, const std::vector<TGraphCategory>& mailbox,
                         bool colors);
