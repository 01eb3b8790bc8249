#pragma once
// What yields category stores: an Outlook profile, a Microsoft 365 mailbox.
// The commands read every source in the order the store chooser lists them,
// and keep the stores a read yields until the next read. What the chooser
// offers besides the stores (a sign-in) is the program state's, put there by
// whoever opened the sources.

#include "stores/CategoryStore.h"

#include <memory>
#include <vector>

class IStoreSource {
public:
    virtual ~IStoreSource() = default;

    // Every store afresh, the default one first. A store whose list cannot be
    // read is yielded all the same, marked unreadable with why; a failure that
    // is no one store's fault (Outlook closed or busy) raises.
    virtual std::vector<std::unique_ptr<ICategoryStore>> ReadStores() = 0;
    // Opens again what the stores are read through, after it was lost (Outlook
    // closed or crashed); raises when it cannot. Every store the source
    // yielded before is gone by then.
    virtual void Reconnect() {}

    // The copy that re-read the stores, added to them or asked them for
    // colours has ended, however it ended: what the stores kept for that copy
    // alone (an Outlook store: the collections it fetched) is let go now.
    virtual void EndCopy() {}
};
