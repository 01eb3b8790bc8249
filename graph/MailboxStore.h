#pragma once
// The signed-in user's Microsoft 365 mailbox as one more category store: the
// list the new Outlook, Outlook on the web and Outlook for Mac show, read and
// added to through Graph. Its key is "m365:" and the account's object id.

#include "graph/GraphCategories.h"
#include "stores/CategoryStore.h"

#include <map>
#include <memory>
#include <vector>

class TMailboxStore : public ICategoryStore {
public:
    static constexpr std::wstring_view kKeyPrefix = L"m365:";

    // Reads the list at once. A failed read marks the store unreadable with
    // its reason, except a lost sign-in: ESignInRequired goes to the caller,
    // which offers the sign-in instead of the store.
    TMailboxStore(std::shared_ptr<IAccessTokenSource> tokens, const THttpClient& http, std::wstring graphUrl,
                  std::wstring account, std::wstring objectId);

    // "Microsoft 365 (" + account + ")".
    static std::wstring EntryName(std::wstring_view account);

    // Compared exactly: an object id is a GUID in the letter case Microsoft gives it.
    std::wstring Key() const override;
    std::optional<std::wstring> DisplayName() const override;
    bool IsDefault() const override { return false; }
    std::optional<std::wstring> ReadFailure() const override { return readFailure_; }
    const TCategorySet& Names() const override { return names_; }
    // From the last read and the adds since: no request.
    std::optional<TCategoryColor> ColorOf(const std::wstring& name) override;
    void ReRead() override;
    // One name: a batch of one.
    TAddOutcome Add(const std::wstring& name, std::optional<TCategoryColor> color) override;

    // Graph's PATCH of the category's colour; a 4xx answer (the category is
    // gone, say) is a refusal, as for Add.
    TColorOutcome SetColor(const std::wstring& name, TCategoryColor color) override;

    // Many names in batches of 20: ceil(n / 20) requests where Graph does not
    // throttle. A batch's colours are asked just before it is sent; the names
    // added join Names() as they come, even when a later failure raises.
    void AddMany(const std::vector<std::wstring>& names,
                 const std::function<std::optional<TCategoryColor>(std::size_t)>& colorOf,
                 const std::function<void(std::size_t, const TAddOutcome&)>& added) override;

    // Graph's own record of a name from the last read or add, for recolouring.
    std::optional<TGraphCategory> Find(const std::wstring& name) const;
    TGraphCategories& Graph() { return graph_; }

private:
    // One call of Graph's batched add: the outcomes go to told by index.
    void AddBatch(const std::vector<TNewCategory>& categories,
                  const std::function<void(std::size_t, const TAddOutcome&)>& told);

    struct TNameOrder {
        bool operator()(const std::wstring& a, const std::wstring& b) const;
    };
    void Take(std::vector<TGraphCategory> categories);
    void Keep(const TGraphCategory& category);

    std::shared_ptr<IAccessTokenSource> tokens_;
    TGraphCategories graph_;
    std::wstring account_;
    std::wstring objectId_;
    std::optional<std::wstring> readFailure_;
    TCategorySet names_;
    std::map<std::wstring, TGraphCategory, TNameOrder> categories_;
};
