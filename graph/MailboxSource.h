#pragma once
// The signed-in user's Microsoft 365 mailbox as a source of stores, read after
// the Outlook profile's. Where Microsoft 365 is not configured it yields
// nothing and sends nothing; while nobody is signed in it yields no store but
// a pending entry through which the window offers the sign-in.

#include "graph/Microsoft365.h"
#include "stores/StoreSource.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class TMailboxSource final : public IStoreSource {
public:
    static constexpr const wchar_t* kSignInEntry = L"Microsoft 365: sign in...";

    // The Microsoft 365 object outlives the source, and the source its stores.
    explicit TMailboxSource(TMicrosoft365& microsoft365) : microsoft365_(microsoft365) {}

    // The mailbox, read now, while someone is signed in. A sign-in that no
    // longer works yields nothing: from then on the source offers the sign-in.
    std::vector<std::unique_ptr<ICategoryStore>> ReadStores() override;
    // The sign-in's entry while nobody is signed in.
    std::optional<std::wstring> PendingEntry() const;
    // Configured: the chooser is shown even for a profile of one store.
    bool WantsChooser() const;

    TMicrosoft365& Microsoft365() const { return microsoft365_; }

private:
    TMicrosoft365& microsoft365_;
};

// What a front end keeps of Microsoft 365 for its whole run. It is built only
// where Microsoft 365 is configured: elsewhere not even WinHTTP is started.
class TMicrosoft365Setup {
public:
    explicit TMicrosoft365Setup(const TMicrosoft365Overrides& overrides = {});
    TMicrosoft365Setup(const TMicrosoft365Setup&) = delete;
    TMicrosoft365Setup& operator=(const TMicrosoft365Setup&) = delete;

    // Both null where nothing is configured.
    TMicrosoft365* Microsoft365() { return microsoft365_ ? &*microsoft365_ : nullptr; }
    TMailboxSource* Source() { return source_ ? &*source_ : nullptr; }

private:
    // In this order: each outlives what is built on it.
    std::optional<THttpClient> http_;
    std::optional<TMicrosoft365> microsoft365_;
    std::optional<TMailboxSource> source_;
};
