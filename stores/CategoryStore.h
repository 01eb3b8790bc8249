#pragma once
// A category list that can be read and added to: a store of an Outlook
// profile, a Microsoft 365 mailbox. The commands know every kind of store only
// through this; each kind lives in a folder of its own.
//
// What a new kind of store must provide: its key, its name, whether it is the
// default, why its list could not be read (if it could not), its names, a
// name's colour, a re-read and Add. AddMany and SetColor have answers every
// store can give; a kind overrides them where it can do better. What a store
// keeps for one copy alone is its source's to let go (IStoreSource::EndCopy).

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
    // account's object id. Two keys name one store when they are equal: a kind
    // whose ids change form from one read to the next (Outlook's StoreIDs are
    // hex whose letter case it does not keep) gives them in one form.
    virtual std::wstring Key() const = 0;
    // The name the store gives itself; absent where it was not asked.
    virtual std::optional<std::wstring> DisplayName() const = 0;
    virtual bool IsDefault() const = 0;
    // Why the list could not be read; absent while it can be.
    virtual std::optional<std::wstring> ReadFailure() const = 0;

    bool Readable() const { return !ReadFailure(); }
    // Why the list could not be read; empty while it is readable.
    std::wstring Error() const { return ReadFailure().value_or(std::wstring()); }

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
};
