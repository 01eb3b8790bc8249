#pragma once
// The window's sign-in to Microsoft 365: a small modal dialog, "Sign in to
// Microsoft 365", that shows Microsoft's message, the address as a link that
// opens the browser and the code in large type, with "Copy code" and Cancel.
// The device flow polls on a worker thread that posts to the dialog, and the
// dialog runs a message loop of its own, so the main window keeps painting.

#include "sources/ProgramSources.h"
#include "base/UniqueHandle.h"

#include <windows.h>

#include <memory>
#include <string>

// The dialog's controls, for the end-to-end tests; Cancel is IDCANCEL.
enum TSignInControlId : int {
    idSignInMessage = 300,
    idSignInLink,
    idSignInCode,
    idSignInCopy,
};

struct TSignInOutcome {
    enum class TKind { SignedIn, Cancelled, Failed };
    TKind Kind = TKind::Cancelled;
    std::wstring Account;  // preferred_username, when signed in
    std::wstring Error;    // why not, when it failed
};

class TSignInDialog {
public:
    static constexpr const wchar_t* kClassName = L"TSignInDialog";
    static constexpr const wchar_t* kTitle = L"Sign in to Microsoft 365";

    // Runs until the sign-in has ended: the owner is disabled meanwhile. The
    // cache holds the sign-in when it answers SignedIn. Raises where the
    // sign-in cannot start at all (nothing configured, no window).
    static TSignInOutcome Run(HWND owner, const TProgramSources& sources);

    TSignInDialog(const TSignInDialog&) = delete;
    TSignInDialog& operator=(const TSignInDialog&) = delete;

private:
    TSignInDialog(HWND owner, const TProgramSources& sources);
    ~TSignInDialog();

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    TSignInOutcome Loop();
    void CreateControls();
    void OnPrompted();
    void OnFinished();
    void OnCommand(HWND control, WORD id, WORD code);
    void CancelSignIn();
    void CopyCode();
    void OpenLink();

    HWND owner_ = nullptr;
    HWND handle_ = nullptr;
    HWND message_ = nullptr;
    HWND link_ = nullptr;
    HWND code_ = nullptr;
    HWND copy_ = nullptr;
    HWND cancel_ = nullptr;
    UINT dpi_ = 96;
    UniqueHfont regular_;
    UniqueHfont linkFont_;
    UniqueHfont large_;
    std::wstring userCode_;
    std::wstring address_;  // the link's target, once it is one Pellorin may open
    bool done_ = false;
    TSignInOutcome outcome_;
    std::unique_ptr<TBackgroundSignIn> signIn_;
};
