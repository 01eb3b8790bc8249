#pragma once
// Every store of the Outlook profile and its own category list (Outlook 2010
// and later), or the one list Namespace.Categories gives where that is all;
// each as a category store the commands can read and add to.

#include "outlook/OutlookConnection.h"
#include "stores/StoreSource.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Whether the only store of a profile is asked for its name: the window has no
// use for it, a script that chooses a store by name has.
enum class TOnlyStoreNaming { Unnamed, Named };

// StoreIDs are hex, whose letter case Outlook does not keep from one object to
// the next: equal ignoring case is the same store.
bool SameStoreId(std::wstring_view a, std::wstring_view b);
// Where the default store stands among the stores read, by the StoreID that
// Namespace.DefaultStore answers: the first store with that id, else the first.
std::size_t DefaultStorePosition(const std::vector<std::wstring>& storeIds, std::wstring_view defaultId);

// What an Outlook store keeps for one copy: the collections it fetched, held
// from the copy's re-read, or its first colour, to the copy's end.
struct TOutlookCopyCollections {
    TAutomationValue List;
    TAutomationValue ColorList;

    void Clear()
    {
        List.Clear();
        ColorList.Clear();
    }
};

// A store of the profile, as the last read found it. It asks Outlook through
// the connection it was read through, which must outlive it. Its key is the
// StoreID in capitals, empty for the store read through the namespace.
class TOutlookStore final : public ICategoryStore {
public:
    // storeObject is the Store, or empty for the namespace's list.
    TOutlookStore(TOutlookConnection& connection, TAutomationValue storeObject,
                  std::optional<std::wstring> displayName, std::wstring storeId);

    std::wstring Key() const override;
    std::optional<std::wstring> DisplayName() const override { return displayName_; }
    bool IsDefault() const override { return isDefault_; }
    std::optional<std::wstring> ReadFailure() const override { return readFailure_; }
    const TCategorySet& Names() const override { return names_; }
    // One request for the list, once a copy, then two per name.
    std::optional<TCategoryColor> ColorOf(const std::wstring& name) override;
    // The list fetched afresh and read; the Adds that follow go to it. On
    // failure the names read before stay as they were.
    void ReRead() override;
    // What Outlook raises about the name (DISP_E_EXCEPTION) is a refusal. An
    // Outlook closed during the call raises its code with a message that says
    // the name's fate is unknown.
    TAddOutcome Add(const std::wstring& name, std::optional<TCategoryColor> color) override;
    // Through the collection a copy's colours are read from; what Outlook
    // raises about the category is a refusal, as for Add.
    TColorOutcome SetColor(const std::wstring& name, TCategoryColor color) override;
    // Lets go of what the copy kept; the profile does this for every store it yielded.
    void EndCopy();
    std::weak_ptr<TOutlookCopyCollections> CopyCollections() const { return copy_; }

private:
    // The profile's read, which alone sets what the store is.
    friend class TOutlookStoreReader;

    TOutlookConnection& connection_;
    TAutomationValue object_;
    std::optional<std::wstring> displayName_;
    std::wstring storeId_;
    bool isDefault_ = false;
    std::optional<std::wstring> readFailure_;
    TCategorySet names_;
    std::shared_ptr<TOutlookCopyCollections> copy_ = std::make_shared<TOutlookCopyCollections>();
};

// The default store first, then the others in Namespace.Stores order. With
// Outlook 2010 or later and two or more stores, each store's own list; a store
// whose list cannot be read is kept, marked unreadable with the error's text.
// Otherwise one store, the default, read through Namespace.Categories. A
// failure of the default store's read (or of asking for the stores one by one)
// is raised, as a failed read always was.
std::vector<std::unique_ptr<TOutlookStore>> ReadOutlookStores(TOutlookConnection& connection,
                                                              TOnlyStoreNaming naming = TOnlyStoreNaming::Unnamed);

// The profile of one Outlook connection as a source of stores. The front end
// owns the connection; the profile opens it, and opens it again after Outlook
// was closed.
class TOutlookProfile final : public IStoreSource {
public:
    // Tests pass a ProgID of their own so that they never reach a real Outlook.
    TOutlookProfile(TOutlookConnection& connection, TOnlyStoreNaming naming,
                    std::wstring progId = L"Outlook.Application");

    void Open();
    std::vector<std::unique_ptr<ICategoryStore>> ReadStores() override;
    void Reconnect() override;
    // Every store of the last read that still stands lets go of what the copy kept.
    void EndCopy() override;

private:
    TOutlookConnection& connection_;
    TOnlyStoreNaming naming_;
    std::wstring progId_;
    std::vector<std::weak_ptr<TOutlookCopyCollections>> yielded_;
};
