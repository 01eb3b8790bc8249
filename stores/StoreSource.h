#pragma once
// What yields category stores: an Outlook profile, a Microsoft 365 mailbox.
// The commands read every source in the order the store chooser lists them,
// and keep the stores a read yields until the next read.

#include "stores/CategoryStore.h"

#include <memory>
#include <optional>
#include <string>
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

    // An entry the store chooser offers in place of the stores this source
    // cannot yield yet (Microsoft 365 before anyone signed in); what choosing
    // it does is the front end's business. After every store in chooser order.
    virtual std::optional<std::wstring> PendingEntry() const { return std::nullopt; }
    // A source the user set up, such as a configured Microsoft 365, wants the
    // chooser shown even where the stores alone would not call for it.
    virtual bool WantsChooser() const { return false; }
};
