#pragma once
// Category stores in memory, for the copy logic in-process: a source yields
// them as a profile would, each showing a list that another store may share,
// and every call the commands make of them is logged. A store can refuse a
// name, fail its read or its re-read, and its list can change between the
// Refresh and the copy, as another program would change it.

#include "stores/StoreSource.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One category list, in the order its names were added.
struct TFakeList {
    std::vector<std::wstring> Names;
    // One per name; none where the store picked the colour (Add without one).
    std::vector<std::optional<TCategoryColor>> Colors;

    TFakeList() = default;
    explicit TFakeList(std::vector<std::wstring> names);
    // The name's place, letter case ignored as a store ignores it; -1 when missing.
    int Find(const std::wstring& name) const;
};

// A store as the source yields it. Changes show from the next read on, but
// the list, the refusals and the faults act at once.
struct TFakeStoreSetup {
    std::wstring Key;
    std::optional<std::wstring> DisplayName;
    std::shared_ptr<TFakeList> List = std::make_shared<TFakeList>();
    std::wstring Unreadable;  // why it cannot be read; empty while it can
    std::map<std::wstring, std::wstring> Refusals;  // name (exactly) -> the store's reason
    std::map<std::wstring, std::wstring> ColorRefusals;  // the same for SetColor
    std::wstring ReReadFault;  // a re-read raises EException with it
    std::wstring AddFault;     // every Add raises EException with it
    // Colours as the last read left them, as a mailbox keeps them, rather
    // than as the list holds them now.
    bool ColorsAsRead = false;
    // Adds every name without a colour ("none"), whatever it is given.
    bool DropsColors = false;
};

class TFakeSource final : public IStoreSource {
public:
    // The default store first. Keys compare ignoring letter case, as StoreIDs do.
    std::vector<std::shared_ptr<TFakeStoreSetup>> Stores;
    std::wstring ReadFault;  // ReadStores raises EException with it
    // Runs as each read starts: a profile that changes under the program.
    std::function<void(TFakeSource&)> BeforeRead;
    // "read", "reconnect"; then per store "reread KEY", "color KEY NAME",
    // "add KEY NAME", "recolour KEY NAME VALUE", "end KEY".
    std::vector<std::wstring> Log;
    // The first store is the default one.
    TFakeStoreSetup& AddStore(std::wstring key, std::optional<std::wstring> displayName,
                             std::shared_ptr<TFakeList> list = std::make_shared<TFakeList>());

    std::vector<std::unique_ptr<ICategoryStore>> ReadStores() override;
    void Reconnect() override;
    // "end KEY" for each store of the last read.
    void EndCopy() override;

    // The log's entries that start with what, e.g. "add ".
    std::vector<std::wstring> Logged(const std::wstring& what) const;

private:
    std::vector<std::wstring> read_;
};
