#pragma once
// What a category list (an Outlook store, a mailbox) gains from a list file:
// every name it lacks, in the file's order with the file's colour, and every
// name it holds whose colour is not the one the file gives. Import and deploy
// both decide by this, so that a store and a mailbox holding the same list
// gain the same from the same file. Names compare as everywhere in the
// program (letter case ignored in the user's locale); nothing is ever removed
// or renamed.

#include "listfile/CategoryListFile.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// One category the target holds.
struct THeldCategory {
    std::wstring Name;  // as the target spells it
    // Nothing where the target was not asked, or could not say.
    std::optional<TCategoryColor> Color;
    // The target named a colour this program cannot read (one Graph may add
    // later): not the file's colour, whichever that is.
    bool UnreadableColor = false;
};

struct TColorDiffers {
    std::size_t Held;  // the target's category, by its place among those given
    TCategoryColor FileColor;
};

struct TListGains {
    std::vector<TListFileEntry> Lacks;  // the file's order and colours
    // Held names the file gives another colour, in the file's order.
    std::vector<TColorDiffers> ColorDiffers;

    bool Empty() const { return Lacks.empty() && ColorDiffers.empty(); }
};

// Of two held names that compare equal the first stands, as in a category set.
TListGains ListGains(const std::vector<TListFileEntry>& list, const std::vector<THeldCategory>& held);
