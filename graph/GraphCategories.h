#pragma once
// A mailbox's master category list through Microsoft Graph: read it page by
// page, add to it in JSON batches of at most 20, change a category's colour.
// Graph never renames a category.
//
// Each request goes as every Graph request goes (graph/GraphCall.h). Any
// failure raises EGraphError with Graph's error code and message.

#include "categories/CategoryColor.h"
#include "graph/GraphCall.h"
#include "http/HttpClient.h"
#include "identity/AccessTokenSource.h"

#include <nlohmann/json.hpp>

#include <windows.h>

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TGraphCategory {
    std::wstring Id;
    std::wstring DisplayName;
    std::wstring Color;  // Graph's spelling: "none", "preset0" ...

    // Nothing for a colour name Graph may add later.
    std::optional<TCategoryColor> OutlookColor() const { return TCategoryColor::FromGraphName(Color); }
};

struct TNewCategory {
    std::wstring DisplayName;
    std::optional<TCategoryColor> Color;  // none given, or none Graph can spell: Graph's choice
};

// One request of a batch: a category added, or its colour changed.
struct TAddResult {
    bool Added = false;
    TGraphCategory Category;  // as created or changed, when done
    std::wstring Refusal;     // Graph's reason, when refused
    DWORD Status = 0;         // Graph's status for the refusal; 0 when refused without a request
};

struct TColorChange {
    std::wstring Id;
    TCategoryColor Color;
};

// The mailbox part of an address: the signed-in user's own, or any user's by
// id or user principal name (for an application's calls).
std::wstring SignedInMailbox();
std::wstring UserMailbox(std::wstring_view idOrPrincipalName);

class TGraphCategories {
public:
    static constexpr std::size_t kMaxBatch = 20;

    TGraphCategories(const THttpClient& http, IAccessTokenSource& tokens, std::wstring graphUrl,
                     std::wstring mailbox = SignedInMailbox(), TPermissionKind permission = TPermissionKind::Delegated);

    // Every category, following @odata.nextLink. A next page on any server
    // but Graph's own is refused: the request would carry the token there.
    std::vector<TGraphCategory> List();

    // Adds the categories in batches of at most kMaxBatch. Each one's result
    // goes to each(index, result) as it comes, so that a caller keeps track
    // of those added before a later failure raises. A 4xx answer for one
    // category is its refusal; inner 429 and 503 are sent again after their
    // Retry-After. A name Graph could not receive intact (not valid UTF-16)
    // is refused without a request.
    void Add(const std::vector<TNewCategory>& categories,
             const std::function<void(std::size_t index, const TAddResult& result)>& each);

    // The colour of one category; the changed category as Graph answers it.
    TGraphCategory SetColor(const std::wstring& id, TCategoryColor color);
    // Many colours in batches of at most kMaxBatch, answered as Add answers.
    void SetColors(const std::vector<TColorChange>& changes,
                   const std::function<void(std::size_t index, const TAddResult& result)>& each);

    // Told the status of every answer as it comes, a batch's throttled inner
    // answers included, on the calling thread: for a caller that paces its
    // requests to many mailboxes by how often Graph pushes back.
    void ObserveAnswers(std::function<void(DWORD status)> observer) { call_.ObserveAnswers(std::move(observer)); }
    // Does the waiting for Retry-After instead of the call itself, which
    // keeps windows painted: a caller with many mailboxes lets another one
    // use the time.
    void WaitWith(std::function<void(DWORD ms)> waiter) { call_.WaitWith(std::move(waiter)); }

    static constexpr const wchar_t* kInvalidName =
        L"The name is not valid Unicode text, so Microsoft 365 cannot hold it.";

private:
    struct TAnswer;
    TAnswer Call(const std::wstring& method, const std::wstring& url, const std::string& body);
    // Sends the requests of queue in batches, each made by request(index).
    void SendBatches(std::deque<std::size_t> queue, const std::function<nlohmann::json(std::size_t)>& request,
                     const std::function<void(std::size_t, const TAddResult&)>& each);
    std::wstring CategoriesPath() const;

    TGraphCall call_;
    const std::wstring graphUrl_;
    const std::wstring mailbox_;
    const TPermissionKind permission_;
};
