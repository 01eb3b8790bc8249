#include "sources/ProgramSources.h"

#include "base/Errors.h"
#include "base/Platform.h"
#include "commands/StoreChoice.h"
#include "registry/MasterList.h"
#include "sources/Microsoft365Access.h"

#include <algorithm>
#include <utility>

namespace {

THintReader ReaderOf(TFrontEnd frontEnd)
{
    return frontEnd == TFrontEnd::Window ? THintReader::Window : THintReader::Console;
}

// Where Microsoft 365 adds its entry, the one store of a profile needs a name
// in the chooser too; a script may name the only store of any profile.
TOnlyStoreNaming NamingFor(TFrontEnd frontEnd, bool microsoft365)
{
    return frontEnd == TFrontEnd::Console || microsoft365 ? TOnlyStoreNaming::Named : TOnlyStoreNaming::Unnamed;
}

}  // namespace

std::vector<std::unique_ptr<ICategoryStore>> TMailboxChoice::ReadStores()
{
    std::vector<std::unique_ptr<ICategoryStore>> stores = mailbox_.ReadStores();
    // A sign-in that no longer works shows only now.
    Publish();
    return stores;
}

void TMailboxChoice::Publish()
{
    // The mailbox is the one source with an entry of its own.
    state_.PendingEntries.clear();
    const auto place = std::find(state_.Sources.begin(), state_.Sources.end(), this);
    if (place != state_.Sources.end()) {
        if (std::optional<std::wstring> entry = mailbox_.PendingEntry())
            state_.PendingEntries.push_back(
                {static_cast<std::size_t>(place - state_.Sources.begin()), std::move(*entry)});
    }
    state_.ChooserWanted = mailbox_.WantsChooser();
}

TOpening OpeningWithoutOutlook(TProgramState& state, TMailboxChoice* mailbox, TFrontEnd frontEnd)
{
    // Any other failure (a busy Outlook, other rights) is Outlook's to report.
    if (mailbox && mailbox->Mailbox().WantsChooser() && IsNotInstalledCode(CurrentOleErrorCode())) {
        state.Sources = {mailbox};
        mailbox->Publish();
        state.OutlookVersion.clear();
        state.OutlookMajorVersion = MajorVersionWithoutOutlook();
        return {TOpening::TKind::MailboxAlone, {}, {}};
    }
    return {TOpening::TKind::Failed, CurrentExceptionMessage(), CurrentFailureHint(frontEnd)};
}

void RequireSignIn(const TMailboxSource* mailbox, bool mailboxAlone, const std::optional<std::wstring>& storeName)
{
    if (!mailbox || !mailbox->PendingEntry())
        return;
    if (mailboxAlone || (storeName && NamesMicrosoft365(*storeName)))
        throw EException(kSignInFirstText);
}

int StoreNamed(const TProgramState& state, const std::wstring& name, const TMailboxSource* mailbox)
{
    if (const std::optional<std::size_t> store = StoreOfEntryName(state, name))
        return static_cast<int>(*store);
    const std::wstring mailboxKey = mailbox ? mailbox->Microsoft365().MailboxKey() : std::wstring();
    if (!mailboxKey.empty() && SameTextIgnoringCase(name, L"m365")) {
        if (const std::optional<std::size_t> store = StoreWithKey(state, mailboxKey))
            return static_cast<int>(*store);
    }
    std::wstring known;
    for (const std::wstring& entry : NamedStoreEntries(state))
        known += (known.empty() ? L"\"" : L", \"") + entry + L"\"";
    std::wstring message = L"No Outlook store is named \"" + name + L"\".";
    if (!known.empty())
        message += L" The stores are: " + known + L".";
    throw EException(message);
}

TProgramSources::TProgramSources(TProgramState& state, TFrontEnd frontEnd, const TMicrosoft365Overrides& overrides,
                                 std::wstring progId)
    : state_(state),
      frontEnd_(frontEnd),
      microsoft365_(overrides),
      profile_(connection_, NamingFor(frontEnd, microsoft365_.Source() != nullptr), std::move(progId))
{
    if (microsoft365_.Source())
        mailbox_.emplace(state_, *microsoft365_.Source());
    state_.Sources = {&profile_};
    if (mailbox_) {
        state_.Sources.push_back(&*mailbox_);
        mailbox_->Publish();
    }
}

TProgramSources::~TProgramSources()
{
    Release();
    // The mailbox's store sends through what goes with the sources.
    state_.Stores.clear();
    std::erase(state_.Sources, &profile_);
    if (mailbox_)
        std::erase(state_.Sources, &*mailbox_);
    state_.PendingEntries.clear();
    state_.ChooserWanted = false;
}

TOpening TProgramSources::Open()
{
    try {
        profile_.Open();
    } catch (...) {
        TOpening opening = OpeningWithoutOutlook(state_, mailbox_ ? &*mailbox_ : nullptr, frontEnd_);
        mailboxAlone_ = opening.Kind == TOpening::TKind::MailboxAlone;
        return opening;
    }
    TakeVersion();
    return {TOpening::TKind::Outlook, {}, {}};
}

void TProgramSources::Reconnect(ICommandUi& ui)
{
    ReconnectStores(state_, ui);
    TakeVersion();
}

void TProgramSources::TakeVersion()
{
    // The commands write the list of the version found.
    state_.OutlookMajorVersion = connection_.OutlookMajorVersion;
    state_.OutlookVersion = connection_.OutlookVersion;
}

void TProgramSources::Release()
{
    // The application, then its namespace; the stores hold references of their own.
    CloseOutlookConnection(connection_);
    state_.Stores.clear();
}

bool TProgramSources::SignInPending() const
{
    return mailbox_ && mailbox_->Mailbox().PendingEntry();
}

std::optional<std::size_t> TProgramSources::MailboxStore() const
{
    const std::wstring key = mailbox_ ? mailbox_->Mailbox().Microsoft365().MailboxKey() : std::wstring();
    return key.empty() ? std::nullopt : StoreWithKey(state_, key);
}

std::unique_ptr<TBackgroundSignIn> TProgramSources::StartSignIn(std::function<void()> prompted,
                                                                std::function<void()> finished) const
{
    if (!mailbox_)
        throw EException(kNotConfiguredText);
    return mailbox_->Mailbox().Microsoft365().StartBackgroundSignIn(std::move(prompted), std::move(finished));
}

void TProgramSources::TakeSignIn()
{
    if (!mailbox_)
        return;
    mailbox_->Mailbox().Microsoft365().Reload();
    mailbox_->Publish();
}

bool CurrentFailureLostOutlook() noexcept
{
    return IsDisconnectCode(CurrentOleErrorCode());
}

std::wstring CurrentFailureHint(TFrontEnd frontEnd)
{
    return CurrentExceptionHint(ReaderOf(frontEnd));
}
