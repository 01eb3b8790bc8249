#pragma once
// A category list that can be read and added to: a store of an Outlook
// profile, a Microsoft 365 mailbox, a list file. The commands know every kind
// of store only through this; each kind lives in a folder of its own.

#include "categories/CategoryColor.h"
#include "categories/CategorySet.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What became of one Add. A store that turns one name away (Outlook raising
// about that name, Graph answering 4xx for it) answers Refused with its own
// reason; every other failure raises, and stops the copy.
struct TAddOutcome {
    bool Added = false;
    std::wstring Refusal;  // the store's reason, when not added
};

// What became of one SetColor: changed, or turned away with the store's reason
// (the category is gone, the store does not let it be changed). Every other
// failure raises, as for Add.
struct TColorOutcome {
    bool Changed = false;
    std::wstring Refusal;
};

class ICategoryStore {
public:
    virtual ~ICategoryStore() = default;

    // Names this store across reads: Outlook's StoreID, "m365:" and the
    // account's object id.
    virtual std::wstring Key() const = 0;
    // Whether key names this store, compared as the store's own kind compares
    // keys (Outlook's StoreIDs are hex whose letter case it does not keep).
    virtual bool HasKey(std::wstring_view key) const = 0;
    // The name the store gives itself; absent where it was not asked.
    virtual std::optional<std::wstring> DisplayName() const = 0;
    virtual bool IsDefault() const = 0;
    virtual bool Readable() const = 0;
    // Why the list could not be read; empty while it is readable.
    virtual std::wstring Error() const = 0;

    // The names as the last read left them, with each name added since.
    virtual const TCategorySet& Names() const = 0;
    // The colour the store gives a name now; nothing once it no longer holds
    // it. Asked only when a colour is needed: it may cost a request per name.
    virtual std::optional<TCategoryColor> ColorOf(const std::wstring& name) = 0;
    // Reads the names again, just before adding: another program, or another
    // store sharing this list, may have added some since. Raises on failure.
    virtual void ReRead() = 0;
    // Adds a name, with a colour or with the one the store picks. An added
    // name joins Names().
    virtual TAddOutcome Add(const std::wstring& name, std::optional<TCategoryColor> color) = 0;
    // Adds several names in order: colorOf(i) gives the i-th name's colour,
    // asked just before that name is sent; added(i, outcome) is told of each
    // name as its fate becomes known, so that what was done is known even when
    // a later name raises. A store that can send many names at once (Graph's
    // batches) does so; one by one is what every store can do.
    virtual void AddMany(const std::vector<std::wstring>& names,
                         const std::function<std::optional<TCategoryColor>(std::size_t)>& colorOf,
                         const std::function<void(std::size_t, const TAddOutcome&)>& added)
    {
        for (std::size_t i = 0; i < names.size(); ++i)
            added(i, Add(names[i], colorOf(i)));
    }
    // Gives a category the store holds a colour; its name is never touched. A
    // kind of store that cannot change colours refuses every change.
    virtual TColorOutcome SetColor(const std::wstring& name, TCategoryColor color)
    {
        (void)name;
        (void)color;
        return {false, L"This store cannot change the colour of a category."};
    }
    // The copy that re-read this store, added to it or asked it for colours
    // has ended, however it ended: what the store kept for that copy alone (an
    // Outlook store: the collections it fetched) is let go now.
    virtual void EndCopy() {}
};
