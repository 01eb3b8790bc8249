#include "graph/MailboxSource.h"

#include "identity/SignInErrors.h"

std::vector<std::unique_ptr<ICategoryStore>> TMailboxSource::ReadStores()
{
    std::vector<std::unique_ptr<ICategoryStore>> stores;
    if (microsoft365_.Status() != TMicrosoft365Status::SignedIn)
        return stores;
    try {
        stores.push_back(microsoft365_.OpenMailbox());
    } catch (const ESignInRequired&) {
        // Not the profile's fault, nor a reason to stop reading it: the
        // status is SignedOut now, and the chooser offers the sign-in.
    }
    return stores;
}

std::optional<std::wstring> TMailboxSource::PendingEntry() const
{
    if (microsoft365_.Status() != TMicrosoft365Status::SignedOut)
        return std::nullopt;
    return std::wstring(kSignInEntry);
}

bool TMailboxSource::WantsChooser() const
{
    return microsoft365_.Status() != TMicrosoft365Status::NotConfigured;
}

TMicrosoft365Setup::TMicrosoft365Setup(const TMicrosoft365Overrides& overrides)
{
    if (!ReadMicrosoft365Settings(overrides))
        return;
    http_.emplace();
    microsoft365_.emplace(*http_, overrides);
    source_.emplace(*microsoft365_);
}
