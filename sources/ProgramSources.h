#pragma once
// Where the program's category stores come from, decided here alone for the
// window and PellorinSync: classic Outlook opened (or opened again after it was
// lost), the Microsoft 365 mailbox standing in where no classic Outlook is
// installed, the program state's version and sources filled in, and every
// reference to Outlook let go. The front ends turn what they are told into
// text or controls.

#include "commands/Commands.h"
#include "commands/ProgramState.h"
#include "graph/MailboxSource.h"
#include "outlook/BusyWait.h"  // the busy filter a front end sets on the thread that uses the sources
#include "outlook/OleError.h"
#include "outlook/OutlookConnection.h"  // the version texts both front ends show
#include "outlook/OutlookStores.h"

#include <windows.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// Who opens the sources: each front end hears failures its own way, and a
// script chooses stores by name where the window does not need to.
enum class TFrontEnd { Window, Console };

// What opening found.
struct TOpening {
    enum class TKind {
        Outlook,       // the version is in the program state
        MailboxAlone,  // no classic Outlook: the mailbox is the one source, and no failure
        Failed,        // Outlook could not be opened
    };
    TKind Kind = TKind::Failed;
    std::wstring Error;  // when Failed: the failure's message, and what to do about it
    std::wstring Hint;
};

// The mailbox as the store chooser sees it: after each read of its stores,
// the sign-in's entry (while nobody is signed in) and its wish for the chooser
// (while configured) go into the program state.
class TMailboxChoice final : public IStoreSource {
public:
    TMailboxChoice(TProgramState& state, TMailboxSource& mailbox) : state_(state), mailbox_(mailbox) {}

    std::vector<std::unique_ptr<ICategoryStore>> ReadStores() override;
    // What the mailbox offers now, at its place among the state's sources;
    // again after that place or the sign-in changed.
    void Publish();
    TMailboxSource& Mailbox() const { return mailbox_; }

private:
    TProgramState& state_;
    TMailboxSource& mailbox_;
};

// Call from the catch block of Outlook's failed opening. Where no classic
// Outlook is installed and Microsoft 365 is configured, the mailbox is the one
// source, the registry's list of MajorVersionWithoutOutlook the one written;
// otherwise the failure is told with the front end's hint.
TOpening OpeningWithoutOutlook(TProgramState& state, TMailboxChoice* mailbox, TFrontEnd frontEnd);

// What a verb that needs the mailbox is told while nobody is signed in.
inline constexpr wchar_t kSignInFirstText[] = L"Sign in to Microsoft 365 first: PellorinSync signin.";

// Raises kSignInFirstText where the run has the mailbox alone, or a script
// names it (storeName), while nobody is signed in. Call after the stores were
// read: a sign-in that no longer works shows only then.
void RequireSignIn(const TMailboxSource* mailbox, bool mailboxAlone, const std::optional<std::wstring>& storeName);
// The store a script names: an entry name, or "m365" for the signed-in
// mailbox. Raises with the stores it could have named.
int StoreNamed(const TProgramState& state, const std::wstring& name, const TMailboxSource* mailbox);

class TProgramSources {
public:
    // Reads Microsoft 365's configuration and the token cache; nothing is
    // opened or sent. Tests pass a ProgID of their own so that they never reach
    // a real Outlook.
    TProgramSources(TProgramState& state, TFrontEnd frontEnd, const TMicrosoft365Overrides& overrides = {},
                    std::wstring progId = L"Outlook.Application");
    // Let go of whatever Release did not.
    ~TProgramSources();
    TProgramSources(const TProgramSources&) = delete;
    TProgramSources& operator=(const TProgramSources&) = delete;

    // Opens classic Outlook, or takes the mailbox alone; the state's version
    // and sources follow what was found.
    TOpening Open();
    // After Outlook was lost: the stores are gone, Outlook opened again and
    // its version taken. Raises when it cannot be opened.
    void Reconnect(ICommandUi& ui);
    // Every reference to Outlook the sources hold: the stores', then the connection's.
    void Release();

    bool MailboxAlone() const { return mailboxAlone_; }
    // Microsoft 365 is configured and nobody is signed in: the chooser offers the sign-in.
    bool SignInPending() const;
    // The mailbox's store among the stores read, while someone is signed in.
    std::optional<std::size_t> MailboxStore() const;
    // Null where Microsoft 365 is not configured.
    TMailboxSource* Mailbox() const { return mailbox_ ? &mailbox_->Mailbox() : nullptr; }

    // The window's sign-in, polled on a worker thread: prompted, then finished,
    // are called from it. Raises where nothing is configured.
    std::unique_ptr<TBackgroundSignIn> StartSignIn(std::function<void()> prompted,
                                                   std::function<void()> finished) const;
    bool Microsoft365Configured() const { return mailbox_.has_value(); }
    // After a sign-in ended well: the token cache read again.
    void TakeSignIn();

private:
    void TakeVersion();

    TProgramState& state_;
    TFrontEnd frontEnd_;
    // Before the profile, whose naming it decides, and before every store read through it.
    TMicrosoft365Setup microsoft365_;
    std::optional<TMailboxChoice> mailbox_;
    TOutlookConnection connection_;
    TOutlookProfile profile_;
    bool mailboxAlone_ = false;
};

// Call from a catch block only: whether the failure says Outlook was closed,
// or crashed, while it was in use; the next Refresh then opens it again.
bool CurrentFailureLostOutlook() noexcept;
// Call from a catch block only: what to do about the failure being handled.
std::wstring CurrentFailureHint(TFrontEnd frontEnd);
