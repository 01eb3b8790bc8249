#include "graph/MailboxStore.h"

#include "identity/SignInErrors.h"

#include <algorithm>

bool TMailboxStore::TNameOrder::operator()(const std::wstring& a, const std::wstring& b) const
{
    // The category set's own comparison, so that a name the set holds is found here too.
    return CompareCategoryNames(a, b) < 0;
}

TMailboxStore::TMailboxStore(std::shared_ptr<IAccessTokenSource> tokens, const THttpClient& http,
                             std::wstring graphUrl, std::wstring account, std::wstring objectId)
    : tokens_(std::move(tokens)), graph_(http, *tokens_, std::move(graphUrl)), account_(std::move(account)),
      objectId_(std::move(objectId))
{
    try {
        Take(graph_.List());
    } catch (const ESignInRequired&) {
        throw;
    } catch (const EException& e) {
        readFailure_ = e.Message();
    }
}

std::wstring TMailboxStore::EntryName(std::wstring_view account)
{
    return L"Microsoft 365 (" + std::wstring(account) + L")";
}

std::wstring TMailboxStore::Key() const
{
    return std::wstring(kKeyPrefix) + objectId_;
}

std::optional<std::wstring> TMailboxStore::DisplayName() const
{
    return EntryName(account_.empty() ? objectId_ : account_);
}

std::optional<TCategoryColor> TMailboxStore::ColorOf(const std::wstring& name)
{
    const auto found = categories_.find(name);
    if (found == categories_.end())
        return std::nullopt;
    return found->second.OutlookColor();
}

std::optional<TGraphCategory> TMailboxStore::Find(const std::wstring& name) const
{
    const auto found = categories_.find(name);
    if (found == categories_.end())
        return std::nullopt;
    return found->second;
}

void TMailboxStore::ReRead()
{
    Take(graph_.List());
}

void TMailboxStore::Take(std::vector<TGraphCategory> categories)
{
    names_.Clear();
    categories_.clear();
    for (const TGraphCategory& category : categories)
        Keep(category);
    readFailure_.reset();
}

void TMailboxStore::Keep(const TGraphCategory& category)
{
    names_.Add(category.DisplayName);
    categories_.emplace(category.DisplayName, category);
}

TAddOutcome TMailboxStore::Add(const std::wstring& name, std::optional<TCategoryColor> color)
{
    TAddOutcome outcome;
    AddBatch({{name, color}}, [&](std::size_t, const TAddOutcome& told) { outcome = told; });
    return outcome;
}

void TMailboxStore::AddMany(const std::vector<std::wstring>& names,
                            const std::function<std::optional<TCategoryColor>(std::size_t)>& colorOf,
                            const std::function<void(std::size_t, const TAddOutcome&)>& added)
{
    for (std::size_t first = 0; first < names.size(); first += TGraphCategories::kMaxBatch) {
        const std::size_t end = std::min(names.size(), first + TGraphCategories::kMaxBatch);
        std::vector<TNewCategory> batch;
        for (std::size_t i = first; i < end; ++i)
            batch.push_back({names[i], colorOf(i)});
        AddBatch(batch, [&](std::size_t index, const TAddOutcome& outcome) { added(first + index, outcome); });
    }
}

void TMailboxStore::AddBatch(const std::vector<TNewCategory>& categories,
                             const std::function<void(std::size_t, const TAddOutcome&)>& told)
{
    graph_.Add(categories, [&](std::size_t index, const TAddResult& result) {
        if (result.Added) {
            TGraphCategory added = result.Category;
            // Graph answers the new category; should it leave out a part, what was asked stands.
            if (added.DisplayName.empty())
                added.DisplayName = categories[index].DisplayName;
            Keep(added);
        }
        told(index, {result.Added, result.Refusal});
    });
}

TColorOutcome TMailboxStore::SetColor(const std::wstring& name, TCategoryColor color)
{
    const auto found = categories_.find(name);
    if (found == categories_.end())
        return {false, L"The category is no longer in this mailbox."};
    try {
        TGraphCategory changed = graph_.SetColor(found->second.Id, color);
        // Graph answers the changed category; should it leave out a part, what was there stands.
        if (changed.DisplayName.empty())
            changed.DisplayName = found->second.DisplayName;
        if (changed.Id.empty())
            changed.Id = found->second.Id;
        found->second = std::move(changed);
    } catch (const EGraphError& e) {
        const DWORD status = e.Status();
        if (status < 400 || status >= 500 || status == 401 || status == 429 || e.Code() == L"ErrorAccessDenied")
            throw;
        return {false, e.Message()};
    }
    return {true, {}};
}
