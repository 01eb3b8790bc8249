#pragma once
// What the front ends ask about Microsoft 365: is it configured, who is signed
// in, the mailbox as a store, signing in and out. Building one reads the
// configuration and the token cache and sends nothing; where nothing is
// configured, nothing is ever sent.

#include "graph/MailboxStore.h"
#include "identity/DeviceCodeSignIn.h"
#include "identity/Microsoft365Settings.h"
#include "identity/SignedInUser.h"
#include "identity/TokenCache.h"

#include <memory>
#include <optional>
#include <string>

enum class TMicrosoft365Status { NotConfigured, SignedOut, SignedIn };

class TMicrosoft365 {
public:
    // cachePath: the token cache's file, TTokenCache::DefaultPath() unless given.
    TMicrosoft365(const THttpClient& http, const TMicrosoft365Overrides& overrides = {},
                  std::optional<std::wstring> cachePath = std::nullopt);

    TMicrosoft365Status Status() const;
    // Present unless NotConfigured.
    const std::optional<TMicrosoft365Settings>& Settings() const { return settings_; }
    // preferred_username of the signed-in account; empty unless SignedIn.
    std::wstring Account() const;
    // The signed-in mailbox's store key ("m365:" and the object id); empty unless SignedIn.
    std::wstring MailboxKey() const;

    // The mailbox, read now. Raises ESignInRequired unless signed in, or when
    // the sign-in no longer works (Status is SignedOut from then on).
    std::unique_ptr<TMailboxStore> OpenMailbox();

    // Raise ESettingsError unless configured.
    TDeviceCodeSignIn NewSignIn() const;
    std::unique_ptr<TBackgroundSignIn> StartBackgroundSignIn(std::function<void()> prompted,
                                                             std::function<void()> finished) const;
    // Reads the token cache again, after a sign-in.
    void Reload();
    // Removes the cached sign-in; nothing is sent.
    void SignOut();

private:
    const TMicrosoft365Settings& Configured() const;

    const THttpClient& http_;
    std::optional<TMicrosoft365Settings> settings_;
    std::optional<TTokenCache> cache_;
    std::optional<TCachedSignIn> signIn_;
    // Kept from one mailbox to the next: its access token serves every read
    // of the hour it lasts, not one Refresh alone.
    std::shared_ptr<TSignedInUser> user_;
};
