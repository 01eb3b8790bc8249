#include "ui/SignInDialog.h"

#include "categories/ShownText.h"
#include "sources/Microsoft365Access.h"
#include "ui/Dpi.h"
#include "ui/ErrorReporter.h"
#include "ui/Layout.h"
#include "ui/WindowClass.h"

#include <commctrl.h>
#include <shellapi.h>

namespace {

// Posted from the sign-in's worker thread.
constexpr UINT kPromptedMessage = WM_APP + 1;
constexpr UINT kFinishedMessage = WM_APP + 2;

constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kDialogExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

// The client area and the controls at 96 DPI.
constexpr int kClientWidth = 360;
constexpr int kClientHeight = 186;
constexpr int kMargin = 12;
constexpr int kMessageTop = 12;
constexpr int kMessageHeight = 58;
constexpr int kLinkTop = 76;
constexpr int kLinkHeight = 16;
constexpr int kCodeTop = 98;
constexpr int kCodeHeight = 38;
constexpr int kButtonTop = 150;
constexpr int kButtonWidth = 90;
constexpr int kButtonHeight = 25;
constexpr int kButtonGap = 8;

// The code is read off the screen and typed elsewhere: a large TrueType face,
// which the window's bitmap font would only coarsen.
UniqueHfont CreateCodeFont(UINT dpi)
{
    LOGFONTW font{};
    font.lfHeight = -ScalePixels(26, dpi);
    font.lfWeight = FW_BOLD;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = DEFAULT_QUALITY;
    lstrcpynW(font.lfFaceName, L"Tahoma", LF_FACESIZE);
    return UniqueHfont(CreateFontIndirectW(&font));
}

}  // namespace

TSignInOutcome TSignInDialog::Run(HWND owner, const TProgramSources& sources)
{
    TSignInDialog dialog(owner, sources);
    return dialog.Loop();
}

TSignInDialog::TSignInDialog(HWND owner, const TProgramSources& sources) : owner_(owner)
{
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE));
    static const bool registered = RegisterWindowClass(instance, kClassName, &TSignInDialog::WindowProc, COLOR_BTNFACE);
    if (!registered)
        throw EException(L"The sign-in window class could not be registered");
    dpi_ = WindowDpi(owner);
    const SIZE client{ScalePixels(kClientWidth, dpi_), ScalePixels(kClientHeight, dpi_)};
    RECT outer{0, 0, client.cx, client.cy};
    AdjustWindowRectEx(&outer, kDialogStyle, FALSE, kDialogExStyle);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    RECT over{};
    GetWindowRect(owner, &over);
    const int left = over.left + (over.right - over.left - width) / 2;
    const int top = over.top + (over.bottom - over.top - height) / 2;
    CreateWindowExW(kDialogExStyle, kClassName, kTitle, kDialogStyle, left, top, width, height, owner, nullptr,
                    instance, this);
    if (!handle_)
        throw EException(L"The sign-in window could not be created");
    try {
        CreateControls();
        // Started once the window is there to post to.
        const HWND target = handle_;
        signIn_ = sources.StartSignIn([target] { PostMessageW(target, kPromptedMessage, 0, 0); },
                                      [target] { PostMessageW(target, kFinishedMessage, 0, 0); });
    } catch (...) {
        // No destructor runs for a dialog that was never made whole.
        DestroyWindow(handle_);
        throw;
    }
}

TSignInDialog::~TSignInDialog()
{
    // Stops the polling and waits for the worker, before the window it posts to goes.
    signIn_.reset();
    EnableWindow(owner_, TRUE);
    if (handle_)
        DestroyWindow(handle_);
}

void TSignInDialog::CreateControls()
{
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(handle_, GWLP_HINSTANCE));
    regular_ = CreateUiFont(11, false, false, dpi_);
    linkFont_ = CreateUiFont(11, true, true, dpi_);
    large_ = CreateCodeFont(dpi_);
    const int width = kClientWidth - 2 * kMargin;
    struct TControl {
        HWND TSignInDialog::*Field;
        const wchar_t* ClassName;
        DWORD Style;
        const wchar_t* Text;
        int Id;
        int Left, Top, Width, Height;
        HFONT Font;
    };
    const int cancelLeft = kClientWidth - kMargin - kButtonWidth;
    const TControl controls[] = {
        {&TSignInDialog::message_, WC_STATICW, SS_LEFT | SS_NOPREFIX, L"Asking Microsoft 365 for a sign-in code...",
         idSignInMessage, kMargin, kMessageTop, width, kMessageHeight, regular_.get()},
        {&TSignInDialog::link_, WC_STATICW, SS_LEFT | SS_NOPREFIX | SS_NOTIFY | SS_ENDELLIPSIS, L"", idSignInLink,
         kMargin, kLinkTop, width, kLinkHeight, linkFont_.get()},
        {&TSignInDialog::code_, WC_STATICW, SS_CENTER | SS_NOPREFIX, L"", idSignInCode, kMargin, kCodeTop, width,
         kCodeHeight, large_.get()},
        {&TSignInDialog::copy_, WC_BUTTONW, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_DISABLED, L"Copy code", idSignInCopy,
         cancelLeft - kButtonGap - kButtonWidth, kButtonTop, kButtonWidth, kButtonHeight, regular_.get()},
        {&TSignInDialog::cancel_, WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, L"Cancel", IDCANCEL, cancelLeft, kButtonTop,
         kButtonWidth, kButtonHeight, regular_.get()},
    };
    for (const TControl& control : controls) {
        const HWND made = CreateWindowExW(
            0, control.ClassName, control.Text, WS_CHILD | WS_VISIBLE | control.Style, ScalePixels(control.Left, dpi_),
            ScalePixels(control.Top, dpi_), ScalePixels(control.Width, dpi_), ScalePixels(control.Height, dpi_),
            handle_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.Id)), instance, nullptr);
        if (!made)
            throw EException(L"A control of the sign-in window could not be created");
        SendMessageW(made, WM_SETFONT, reinterpret_cast<WPARAM>(control.Font), FALSE);
        this->*control.Field = made;
    }
}

LRESULT CALLBACK TSignInDialog::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* const self = WindowObject(window, message, lParam, &TSignInDialog::handle_);
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    try {
        return self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        ReportCurrentException(window);
        return 0;
    }
}

LRESULT TSignInDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case kPromptedMessage:
        OnPrompted();
        return 0;
    case kFinishedMessage:
        OnFinished();
        return 0;
    case WM_COMMAND:
        OnCommand(reinterpret_cast<HWND>(lParam), LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_CLOSE:
        CancelSignIn();
        return 0;
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wParam) == link_ && !address_.empty()) {
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    case WM_CTLCOLORSTATIC: {
        const auto dc = reinterpret_cast<HDC>(wParam);
        const bool isLink = reinterpret_cast<HWND>(lParam) == link_ && !address_.empty();
        SetTextColor(dc, isLink ? RGB(0, 0, 255) : GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    default:
        break;
    }
    return DefWindowProcW(handle_, message, wParam, lParam);
}

TSignInOutcome TSignInDialog::Loop()
{
    EnableWindow(owner_, FALSE);
    ShowWindow(handle_, SW_SHOWNORMAL);
    SetFocus(cancel_);
    MSG message{};
    while (!done_) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got <= 0) {
            // The program is ending: the sign-in ends with it, and so must the quit.
            CancelSignIn();
            signIn_.reset();
            PostQuitMessage(got == 0 ? static_cast<int>(message.wParam) : 0);
            return outcome_;
        }
        if (!IsDialogMessageW(handle_, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return outcome_;
}

void TSignInDialog::OnPrompted()
{
    const std::optional<TDeviceCodePrompt> prompt = signIn_ ? signIn_->Prompt() : std::nullopt;
    if (!prompt)
        return;
    userCode_ = prompt->UserCode;
    address_ = IsBrowserAddress(prompt->VerificationUri) ? prompt->VerificationUri : std::wstring();
    // Microsoft's own words, as it gave them; only what could forge a line goes.
    SetWindowTextW(message_, ShownOnLine(prompt->Message).c_str());
    SetWindowTextW(link_, ShownOnLine(prompt->VerificationUri).c_str());
    SetWindowTextW(code_, ShownOnLine(userCode_).c_str());
    EnableWindow(copy_, !userCode_.empty());
    if (GetFocus() == cancel_ || !GetFocus())
        SetFocus(copy_);
}

void TSignInDialog::OnFinished()
{
    const std::optional<TBackgroundSignIn::TOutcome> outcome = signIn_ ? signIn_->Outcome() : std::nullopt;
    if (!outcome)
        return;
    if (outcome->Account) {
        outcome_ = {TSignInOutcome::TKind::SignedIn, outcome->Account->Account, {}};
    } else if (outcome->Cancelled) {
        outcome_ = {TSignInOutcome::TKind::Cancelled, {}, {}};
    } else {
        outcome_ = {TSignInOutcome::TKind::Failed, {}, outcome->Error};
    }
    done_ = true;
    // The owner first: so it, and not another program, is activated as the dialog goes.
    EnableWindow(owner_, TRUE);
    ShowWindow(handle_, SW_HIDE);
}

void TSignInDialog::OnCommand(HWND control, WORD id, WORD code)
{
    if (id == IDCANCEL && (!control || code == BN_CLICKED)) {
        CancelSignIn();
        return;
    }
    if (control == copy_ && code == BN_CLICKED) {
        CopyCode();
        return;
    }
    if (control == link_ && code == STN_CLICKED)
        OpenLink();
}

// The worker is told to stop; the dialog goes at once, its outcome once the
// worker has finished (a request under way ends first).
void TSignInDialog::CancelSignIn()
{
    if (signIn_)
        signIn_->Cancel();
    EnableWindow(owner_, TRUE);
    ShowWindow(handle_, SW_HIDE);
}

void TSignInDialog::CopyCode()
{
    if (userCode_.empty() || !OpenClipboard(handle_))
        return;
    EmptyClipboard();
    const std::size_t bytes = (userCode_.size() + 1) * sizeof(wchar_t);
    if (const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        if (void* target = GlobalLock(memory)) {
            CopyMemory(target, userCode_.c_str(), bytes);
            GlobalUnlock(memory);
            // The clipboard owns the memory once it took it.
            if (!SetClipboardData(CF_UNICODETEXT, memory))
                GlobalFree(memory);
        } else {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
}

void TSignInDialog::OpenLink()
{
    if (!address_.empty())
        ShellExecuteW(handle_, L"open", address_.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
