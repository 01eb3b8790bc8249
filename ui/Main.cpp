#include "ui/Main.h"

#include "base/Errors.h"
#include "commands/Compare.h"
#include "ui/ControlIds.h"
#include "ui/Dpi.h"
#include "ui/ErrorReporter.h"
#include "ui/ProgramInfo.h"
#include "ui/SignInDialog.h"
#include "ui/WindowClass.h"
#include "ui/WindowState.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <utility>

TProgramState ProgramState;
TForm1* Form1 = nullptr;

void ReleaseOutlook()
{
    // The connection went with the form's sources.
    ProgramState.Stores.clear();
}

namespace {

constexpr DWORD kFormStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
// The controls' own styles, WS_CHILD aside: one without WS_VISIBLE starts hidden.
constexpr DWORD kButtonStyle = BS_PUSHBUTTON | WS_TABSTOP | WS_VISIBLE;
constexpr DWORD kMemoStyle = ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_HSCROLL | WS_VSCROLL |
                             WS_TABSTOP | WS_VISIBLE;
constexpr DWORD kLabelStyle = SS_LEFTNOWORDWRAP | SS_NOPREFIX | WS_VISIBLE;
constexpr DWORD kChooserStyle = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
// The store chooser's list drops this far below it.
constexpr int kChooserListHeight = 160;

// A multi-line edit wants every key, Tab included; the memos give Tab back to
// the window so that tabbing walks on through the tab order. Escape would make
// the edit close its parent, and the window has no cancel button: it is dropped.
LRESULT CALLBACK MemoSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    if ((message == WM_KEYDOWN || message == WM_CHAR) && wParam == VK_ESCAPE)
        return 0;
    LRESULT result = DefSubclassProc(window, message, wParam, lParam);
    if (message == WM_GETDLGCODE && wParam == VK_TAB)
        result &= ~static_cast<LRESULT>(DLGC_WANTALLKEYS | DLGC_WANTTAB);
    return result;
}

std::wstring WindowText(HWND window)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

}  // namespace

// What each control is; where it stands is MainWindowGeometry's.
struct TForm1::TControlDesign {
    HWND TForm1::*Field;
    const wchar_t* ClassName;
    DWORD Style;
    DWORD ExStyle;
    const wchar_t* Text;
    TFontKind Font;
};

static_assert(idLabelPstLacks - idBtnReadRegCategories + 1 == kMainControlCount,
              "one id per control, in declaration order");

const std::array<TForm1::TControlDesign, TForm1::kControlCount>& TForm1::ControlDesigns()
{
    using F = TFontKind;
    static const std::array<TControlDesign, kControlCount> designs{{
        {&TForm1::BtnReadRegCategories, WC_BUTTONW, kButtonStyle, 0, L"Refresh", F::Regular},
        {&TForm1::BtnTAVtoOL, WC_BUTTONW, kButtonStyle, 0, L"Registry ---> PST", F::Regular},
        {&TForm1::BtnOLtoTAV, WC_BUTTONW, kButtonStyle, 0, L"Registry <--- PST", F::Regular},
        {&TForm1::BtnSyncOLandTAV, WC_BUTTONW, kButtonStyle, 0, L"Registry <---> PST", F::Regular},
        {&TForm1::Label1, WC_STATICW, SS_CENTER | SS_NOPREFIX | WS_VISIBLE, 0, L"Synchronize\r\nOptions", F::Heading},
        {&TForm1::BtnClose, WC_BUTTONW, kButtonStyle, 0, L"Exit", F::Regular},
        {&TForm1::MemoReg, WC_EDITW, kMemoStyle, WS_EX_CLIENTEDGE, L"MemoReg", F::Regular},
        {&TForm1::MemoPst, WC_EDITW, kMemoStyle, WS_EX_CLIENTEDGE, L"MemoPst", F::Regular},
        {&TForm1::LabelOlVersion, WC_STATICW, kLabelStyle, 0, L"LabelOlVersion", F::Regular},
        {&TForm1::LabelNoPstUsed, WC_STATICW, SS_CENTER | SS_NOPREFIX, 0, kStoreNotInUseText, F::Notice},
        {&TForm1::Label2, WC_STATICW, kLabelStyle, 0, L"Categories in Registry:", F::Bold},
        {&TForm1::Label3, WC_STATICW, kLabelStyle, 0, L"Categories in PST:", F::Bold},
        {&TForm1::Label4, WC_STATICW, kLabelStyle, 0, L"Visit our website:", F::Regular},
        {&TForm1::Label5, WC_STATICW, kLabelStyle, 0, PELLORIN_MAKER_NOTICE, F::Regular},
        {&TForm1::Label6, WC_STATICW, kLabelStyle | SS_NOTIFY, 0, PELLORIN_WEB_ADDRESS, F::Link},
        {&TForm1::Label7, WC_STATICW, kLabelStyle, 0, L"Pellorin - version ", F::Regular},
        {&TForm1::lbVersion, WC_STATICW, kLabelStyle, 0, L"lbVersion", F::Regular},
        // Shown only for two or more readable stores.
        {&TForm1::StoreChooser, WC_COMBOBOXW, kChooserStyle, 0, L"", F::Regular},
        {&TForm1::LabelRegLacks, WC_STATICW, kLabelStyle, 0, L"", F::Regular},
        {&TForm1::LabelPstLacks, WC_STATICW, kLabelStyle, 0, L"", F::Regular},
    }};
    return designs;
}

TForm1::TForm1(HINSTANCE instance, TProgramState& state, std::function<void()> releaseSplash)
    : state_(state), sources_(state, TFrontEnd::Window), releaseSplash_(std::move(releaseSplash))
{
    static const bool registered = RegisterWindowClass(instance, kClassName, &TForm1::WindowProc, COLOR_BTNFACE,
                                                       LoadIconW(instance, MAKEINTRESOURCEW(IDI_PELLORIN)));
    if (!registered)
        throw EException(L"The main window class could not be registered");

    Form1 = this;
    dpi_ = SystemDpi();
    CreateWindowExW(0, kClassName, L"Pellorin", kFormStyle, CW_USEDEFAULT,
                    CW_USEDEFAULT, ScalePixels(kFormOuterWidth, dpi_), ScalePixels(kFormOuterHeight, dpi_),
                    nullptr, nullptr, instance, this);
    if (!handle_)
        throw EException(L"The main window could not be created");
    dpi_ = FitWindowToItsDpi(handle_, dpi_, {kFormOuterWidth, kFormOuterHeight});
    CreateControls();
    ApplyFonts();
    FormResize();
    Guarded([this] { FormCreate(); });
}

TForm1::~TForm1()
{
    Destroy();
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::Destroy()
{
    if (handle_)
        DestroyWindow(handle_);
}

LRESULT CALLBACK TForm1::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* const self = WindowObject(window, message, lParam, &TForm1::handle_);
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    try {
        return self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        ReportCurrentException(IsWindowVisible(window) ? window : nullptr);
        return 0;
    }
}

LRESULT TForm1::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        FormResize();
        if (handOverPending_ && wParam != SIZE_MINIMIZED && IsWindowVisible(handle_))
            RunHandOver();
        return 0;
    case WM_COMMAND:
        if (lParam)
            OnCommand(reinterpret_cast<HWND>(lParam), HIWORD(wParam));
        else if (LOWORD(wParam) == IDOK)
            OnEnter();
        // IDCANCEL (Escape) has no button to press: nothing happens.
        return 0;
    case WM_CLOSE:
        // Closing the main window ends the application, without a question.
        PostQuitMessage(0);
        return 0;
    case WM_DESTROY:
        Guarded([this] { FormDestroy(); });
        return 0;
    case WM_ACTIVATE:
        OnActivate(LOWORD(wParam) != WA_INACTIVE);
        return 0;
    case WM_SETFOCUS:
        if (focusControl_)
            SetFocus(focusControl_);
        return 0;
    case WM_SETCURSOR:
        if (OnSetCursor(reinterpret_cast<HWND>(wParam)))
            return TRUE;
        break;
    case WM_CTLCOLORSTATIC:
        return OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_HSCROLL:
    case WM_VSCROLL:
        if (lParam == 0) {
            OnScroll(message == WM_HSCROLL ? SB_HORZ : SB_VERT, LOWORD(wParam));
            return 0;
        }
        break;
    case WM_DPICHANGED:
        OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_QUERYOPEN:
        return OnQueryOpen() ? TRUE : FALSE;
    default:
        break;
    }
    return DefWindowProcW(handle_, message, wParam, lParam);
}

template <typename Handler>
void TForm1::Guarded(Handler&& handler)
{
    try {
        handler();
    } catch (...) {
        if (CurrentFailureLostOutlook())
            connectionLost_ = true;
        ReportCurrentException(handle_ && IsWindowVisible(handle_) ? handle_ : nullptr);
    }
}

void TForm1::CreateControls()
{
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(handle_, GWLP_HINSTANCE));
    int id = idBtnReadRegCategories;
    for (const TControlDesign& design : ControlDesigns()) {
        const HWND control =
            CreateWindowExW(design.ExStyle, design.ClassName, design.Text, WS_CHILD | design.Style, 0, 0, 0, 0, handle_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id++)), instance, nullptr);
        if (!control)
            throw EException(L"A control of the main window could not be created");
        this->*design.Field = control;
    }
    for (const HWND memo : {MemoReg, MemoPst}) {
        SendMessageW(memo, EM_SETLIMITTEXT, 0, 0);
        SetWindowSubclass(memo, MemoSubclassProc, 1, 0);
    }
    // Created last for its id, it tabs right before MemoPst, whose list it chooses.
    SetWindowPos(StoreChooser, MemoReg, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    const int small = GetSystemMetrics(SM_CXSMICON);
    const int large = GetSystemMetrics(SM_CXICON);
    smallIcon_.reset(static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_PELLORIN), IMAGE_ICON, small, small, LR_DEFAULTCOLOR)));
    largeIcon_.reset(static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_PELLORIN), IMAGE_ICON, large, large, LR_DEFAULTCOLOR)));
    SendMessageW(handle_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
    SendMessageW(handle_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(largeIcon_.get()));
}

void TForm1::ApplyFonts()
{
    fonts_[static_cast<size_t>(TFontKind::Regular)] = CreateUiFont(11, false, false, dpi_);
    fonts_[static_cast<size_t>(TFontKind::Bold)] = CreateUiFont(11, true, false, dpi_);
    fonts_[static_cast<size_t>(TFontKind::Heading)] = CreateUiFont(14, true, false, dpi_);
    fonts_[static_cast<size_t>(TFontKind::Notice)] = CreateUiFont(13, true, false, dpi_);
    fonts_[static_cast<size_t>(TFontKind::Link)] = CreateUiFont(11, true, true, dpi_);
    const auto& designs = ControlDesigns();
    for (size_t i = 0; i < designs.size(); ++i) {
        const HWND control = this->*designs[i].Field;
        const HFONT font = fonts_[static_cast<size_t>(designs[i].Font)].get();
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        textSizes_[i] = MeasureText(font, WindowText(control));
    }
    // A drop-down list sizes its closed box to its font itself.
    RECT chooser{};
    GetWindowRect(StoreChooser, &chooser);
    const int closedHeight = chooser.bottom - chooser.top;
    textSizes_[ixStoreChooser] = {0, closedHeight};
    // Made taller than its box once, it keeps the extra as its open list's height
    // and shrinks back at once; the layout then moves it at its box's height, so
    // it is never seen over MemoPst in the midst of one.
    SetWindowPos(StoreChooser, nullptr, 0, 0, chooser.right - chooser.left,
                 closedHeight + ScalePixels(kChooserListHeight, dpi_),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
}

void TForm1::SetLabelText(HWND label, const std::wstring& text)
{
    SetWindowTextW(label, text.c_str());
    const auto& designs = ControlDesigns();
    for (size_t i = 0; i < designs.size(); ++i) {
        if (this->*designs[i].Field == label)
            textSizes_[i] = MeasureText(fonts_[static_cast<size_t>(designs[i].Font)].get(), text);
    }
    FormResize();
}

// The layout for the window's sizes, then the scroll bars for what no longer fits.
void TForm1::FormResize()
{
    if (!lbVersion || inLayout_)
        return;
    // Showing a scroll bar resizes the client area and lands here again.
    inLayout_ = true;
    struct TLayoutDone {
        bool& Flag;
        ~TLayoutDone() { Flag = false; }
    } done{inLayout_};
    const auto& designs = ControlDesigns();
    TMainWindowSizes sizes{};
    sizes.Dpi = dpi_;
    // The controls stand at their design places in the window's design outer size;
    // the client area that this leaves depends on the system's frame.
    sizes.DesignClient = ClientSizeForOuter(
        {ScalePixels(kFormOuterWidth, dpi_), ScalePixels(kFormOuterHeight, dpi_)}, kFormStyle, 0, dpi_);
    sizes.TextSizes = textSizes_;
    TMainWindowLayout layout{};
    // The client area that the scroll bars leave settles within a few passes.
    // Each pass looks afresh: a bar that appears resizes the window, and that can
    // run the hand-over, which may show the store chooser.
    for (int pass = 0; pass < 3; ++pass) {
        RECT client{};
        GetClientRect(handle_, &client);
        RECT outer{};
        GetWindowRect(handle_, &outer);
        sizes.Client = {client.right, client.bottom};
        sizes.OuterWidth = outer.right - outer.left;
        for (size_t i = 0; i < designs.size(); ++i)
            sizes.Shown[i] = IsWindowVisible(this->*designs[i].Field) != FALSE;
        sizes.WindowShown = IsWindowVisible(handle_) != FALSE;
        layout = MainWindowLayout(sizes);
        SetScrollBar(SB_HORZ, layout.ScrollRange.Horizontal, client.right, scroll_.x);
        SetScrollBar(SB_VERT, layout.ScrollRange.Vertical, client.bottom, scroll_.y);
        RECT after{};
        GetClientRect(handle_, &after);
        if (after.right == client.right && after.bottom == client.bottom)
            break;
    }

    // Moved controls repaint whole: the bits copied from their old places can be stale.
    HDWP positions = BeginDeferWindowPos(static_cast<int>(designs.size()));
    for (size_t i = 0; i < designs.size() && positions; ++i) {
        const TBounds& bounds = layout.Bounds[i];
        positions = DeferWindowPos(positions, this->*designs[i].Field, nullptr, bounds.Left - scroll_.x,
                                   bounds.Top - scroll_.y, bounds.Width, bounds.Height,
                                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
    }
    if (positions)
        EndDeferWindowPos(positions);
}

void TForm1::SetScrollBar(int bar, int extent, int page, LONG& position)
{
    const TScrollBarSetting setting = ScrollBarSetting(extent, page, position);
    position = setting.Position;
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMax = setting.Max;
    info.nPage = setting.Page;
    info.nPos = setting.Position;
    SetScrollInfo(handle_, bar, &info, TRUE);
}

void TForm1::OnScroll(int bar, WORD request)
{
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_ALL;
    GetScrollInfo(handle_, bar, &info);
    int position = info.nPos;
    const int line = ScalePixels(8, dpi_);
    switch (request) {
    case SB_LINEUP: position -= line; break;
    case SB_LINEDOWN: position += line; break;
    case SB_PAGEUP: position -= static_cast<int>(info.nPage); break;
    case SB_PAGEDOWN: position += static_cast<int>(info.nPage); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: position = info.nTrackPos; break;
    case SB_TOP: position = info.nMin; break;
    case SB_BOTTOM: position = info.nMax; break;
    default: return;
    }
    (bar == SB_HORZ ? scroll_.x : scroll_.y) = position;
    FormResize();
}

void TForm1::OnDpiChanged(UINT dpi, const RECT& suggested)
{
    dpi_ = dpi;
    ApplyFonts();
    FitChooserList();
    SetWindowPos(handle_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    FormResize();
}

void TForm1::OnCommand(HWND control, WORD code)
{
    if (control == StoreChooser) {
        if (code == CBN_SELCHANGE)
            Guarded([this] { StoreChooserChange(); });
        return;
    }
    if (control == Label6) {
        if (code == STN_CLICKED)
            Guarded([this] { Label6Click(); });
        return;
    }
    // A disabled command stays disabled whatever the button is sent.
    if (code != BN_CLICKED || !IsWindowEnabled(control))
        return;
    if (control == BtnReadRegCategories)
        Guarded([this] { BtnReadCategoriesClick(); });
    else if (control == BtnTAVtoOL)
        Guarded([this] { BtnTAVtoOLClick(); });
    else if (control == BtnOLtoTAV)
        Guarded([this] { BtnOLtoTAVClick(); });
    else if (control == BtnSyncOLandTAV)
        Guarded([this] { BtnSyncOLandTAVClick(); });
    else if (control == BtnClose)
        Guarded([this] { BtnCloseClick(); });
}

// The dialog keys turn Enter into IDOK, as in a dialog without a default
// button; as on every Windows dialog it presses the focused push button.
void TForm1::OnEnter()
{
    const HWND focus = GetFocus();
    for (const HWND button : {BtnReadRegCategories, BtnTAVtoOL, BtnOLtoTAV, BtnSyncOLandTAV, BtnClose}) {
        if (focus == button) {
            OnCommand(button, BN_CLICKED);
            return;
        }
    }
}

void TForm1::OnActivate(bool active)
{
    if (!active) {
        const HWND focus = GetFocus();
        if (focus && IsChild(handle_, focus))
            focusControl_ = focus;
        return;
    }
    if (focusControl_ && IsWindowEnabled(focusControl_))
        SetFocus(focusControl_);
}

bool TForm1::OnSetCursor(HWND target)
{
    if (busy_) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return true;
    }
    if (target == Label6) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return true;
    }
    return false;
}

LRESULT TForm1::OnCtlColorStatic(HDC dc, HWND control)
{
    // Read-only memos draw on the window colour, as editable ones do.
    if (control == MemoReg || control == MemoPst) {
        SetTextColor(dc, GetSysColor(IsWindowEnabled(control) ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
    SetTextColor(dc, control == Label6 ? RGB(0, 0, 255) : GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

bool TForm1::OnQueryOpen()
{
    // Started minimised: the hand-over waits for the first restore.
    RunHandOver();
    return true;
}

void TForm1::ShowMainWindow(int showCommand)
{
    RECT outer{};
    GetWindowRect(handle_, &outer);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;

    if (showCommand == SW_SHOWMINNOACTIVE) {
        WINDOWPLACEMENT placement{};
        placement.length = sizeof(placement);
        GetWindowPlacement(handle_, &placement);
        placement.rcNormalPosition = RECT{left, top, left + width, top + height};
        placement.showCmd = SW_SHOWMINNOACTIVE;
        SetWindowPlacement(handle_, &placement);
        return;
    }
    RunHandOver();
    SetWindowPos(handle_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(handle_, showCommand == SW_SHOWMAXIMIZED ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
    SetForegroundWindow(handle_);
    UpdateWindow(handle_);
}

void TForm1::RunHandOver()
{
    if (!handOverPending_)
        return;
    handOverPending_ = false;
    Guarded([this] { FormShow(); });
}

void TForm1::FormCreate()
{
    // Without classic Outlook, the mailbox may be what there is to work with: no error.
    const TOpening opening = sources_.Open();
    if (opening.Kind == TOpening::TKind::Failed)
        ShowErrorBox(nullptr, opening.Error, opening.Hint);
    ApplyWindowState(opening.Kind == TOpening::TKind::Outlook);
    state_.RegCategories.Clear();
    state_.PstCategories.Clear();
}

void TForm1::ApplyWindowState(bool connected)
{
    const TWindowState window = connected      ? WindowStateForVersion(state_.OutlookMajorVersion, state_.OutlookVersion)
                                : sources_.MailboxAlone() ? WindowStateWithMailboxAlone()
                                                : WindowStateWithoutOutlook();
    SetLabelText(LabelOlVersion, window.OlVersionText);
    SetLabelText(lbVersion, PELLORIN_VERSION_TEXT);
    // A reconnection can meet another Outlook than the one before: every
    // control follows the new state, either way.
    ShowWindow(LabelNoPstUsed, window.ShowNoPstUsed ? SW_SHOWNA : SW_HIDE);
    state_.AutoRefreshOnShow = window.StoreInUse;
    for (const HWND control : {MemoReg, MemoPst, BtnTAVtoOL, BtnOLtoTAV, BtnSyncOLandTAV, BtnReadRegCategories})
        EnableWindow(control, window.StoreInUse);
    if (!window.StoreInUse) {
        SetWindowTextW(MemoReg, L"Categories in Registry");
        SetWindowTextW(MemoPst, L"Categories in PST");
        SetStoreChoices({}, 0);
    }
    ShowLackedCounts();
    const HWND focus = GetFocus();
    if (focus && IsChild(handle_, focus) && !IsWindowEnabled(focus))
        SetFocus(BtnClose);
}

void TForm1::SignInToMicrosoft365()
{
    if (!sources_.Microsoft365Configured())
        return;
    const TSignInOutcome outcome = TSignInDialog::Run(handle_, sources_);
    if (outcome.Kind == TSignInOutcome::TKind::Failed)
        throw EException(outcome.Error);
    if (outcome.Kind != TSignInOutcome::TKind::SignedIn)
        return;
    sources_.TakeSignIn();
    BtnReadCategoriesClick();
    if (const std::optional<std::size_t> mailbox = sources_.MailboxStore()) {
        ::ChooseStore(state_, *this, static_cast<int>(*mailbox));
        SendMessageW(StoreChooser, CB_SETCURSEL, static_cast<WPARAM>(ChooserEntryOfChoice(state_)), 0);
    }
}

bool TForm1::AskToSignInFirst()
{
    if (!state_.Stores.empty() || !sources_.SignInPending())
        return false;
    Inform(L"Sign in to Microsoft 365 first: choose \"" + std::wstring(TMailboxSource::kSignInEntry) +
           L"\" in the list of stores.");
    return true;
}

void TForm1::FormShow()
{
    focusControl_ = BtnClose;
    SetFocus(BtnClose);
    if (state_.AutoRefreshOnShow) {
        try {
            BtnReadCategoriesClick();
        } catch (...) {
            // The main window is still to appear: the box stands alone.
            ReportCurrentException(nullptr);
        }
    }
    if (releaseSplash_)
        std::exchange(releaseSplash_, nullptr)();
}

void TForm1::FormDestroy()
{
    state_.RegCategories.Clear();
    state_.PstCategories.Clear();
    sources_.Release();
}

// After Outlook was closed, Refresh opens the connection again, as at start
// but without the splash, and reads both lists from the new one.
void TForm1::BtnReadCategoriesClick()
{
    if (!connectionLost_) {
        try {
            ::BtnReadCategoriesClick(state_, *this);
            return;
        } catch (...) {
            if (!CurrentFailureLostOutlook())
                throw;
        }
    }
    Reconnect();
}

void TForm1::Reconnect()
{
    connectionLost_ = true;
    sources_.Reconnect(*this);
    connectionLost_ = false;
    ApplyWindowState(true);
    if (IsStoreInUse(state_.OutlookMajorVersion))
        ::BtnReadCategoriesClick(state_, *this);
}

void TForm1::BtnTAVtoOLClick()
{
    if (!AskToSignInFirst())
        ::BtnTAVtoOLClick(state_, *this);
}

void TForm1::BtnOLtoTAVClick()
{
    if (!AskToSignInFirst())
        ::BtnOLtoTAVClick(state_, *this);
}

void TForm1::BtnSyncOLandTAVClick()
{
    if (!AskToSignInFirst())
        ::BtnSyncOLandTAVClick(state_, *this);
}

void TForm1::BtnCloseClick()
{
    PostQuitMessage(0);
}

void TForm1::Label6Click()
{
    ShellExecuteW(handle_, L"open", PELLORIN_WEB_ADDRESS, nullptr, nullptr, SW_SHOWNORMAL);
}

void TForm1::StoreChooserChange()
{
    const auto chosen = static_cast<int>(SendMessageW(StoreChooser, CB_GETCURSEL, 0, 0));
    if (chosen < 0)
        return;
    if (SourceOfChooserEntry(state_, chosen)) {
        // The sign-in's entry is no store: the choice stays as it was, and the sign-in starts.
        SendMessageW(StoreChooser, CB_SETCURSEL, static_cast<WPARAM>(ChooserEntryOfChoice(state_)), 0);
        SignInToMicrosoft365();
        return;
    }
    ::ChooseChooserEntry(state_, *this, chosen);
}

bool TForm1::Confirm(const std::wstring& text)
{
    return MessageBoxW(handle_, text.c_str(), L"Confirm", MB_ICONQUESTION | MB_OKCANCEL) == IDOK;
}

void TForm1::SetBusyCursor()
{
    busy_ = true;
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
}

void TForm1::RestoreCursor()
{
    busy_ = false;
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
}

// Every Refresh, copy and choice of store ends by showing the lists again:
// the counts follow them there, so that none goes stale.
void TForm1::ShowLackedCounts()
{
    const TLackedCounts counts = LackedCounts(state_);
    SetLabelText(LabelRegLacks, RegistryLacksText(counts.Registry));
    SetLabelText(LabelPstLacks, StoreLacksText(counts.Store, IsAllStores(state_)));
}

void TForm1::SetMemoRegText(const std::wstring& text)
{
    SetWindowTextW(MemoReg, text.c_str());
    ShowLackedCounts();
}

void TForm1::SetMemoPstText(const std::wstring& text)
{
    SetWindowTextW(MemoPst, text.c_str());
    ShowLackedCounts();
}

void TForm1::Inform(const std::wstring& text)
{
    // The first Refresh runs before the window appears: its box stands alone.
    const HWND owner = IsWindowVisible(handle_) ? handle_ : nullptr;
    MessageBoxW(owner, text.c_str(), L"Pellorin", MB_OK | MB_ICONINFORMATION);
}

void TForm1::SetStoreChoices(const std::vector<std::wstring>& entries, int chosen)
{
    SendMessageW(StoreChooser, CB_RESETCONTENT, 0, 0);
    for (const std::wstring& entry : entries)
        SendMessageW(StoreChooser, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
    if (!entries.empty()) {
        SendMessageW(StoreChooser, CB_SETCURSEL, static_cast<WPARAM>(chosen), 0);
        FitChooserList();
    }
    // Its own flag: the first Refresh runs while the window itself is hidden.
    const bool shown = !entries.empty();
    const bool wasShown = (GetWindowLongW(StoreChooser, GWL_STYLE) & WS_VISIBLE) != 0;
    if (shown != wasShown) {
        ShowWindow(StoreChooser, shown ? SW_SHOWNA : SW_HIDE);
        FormResize();
    }
}

// A long store name shows whole in the open list, if not in the box: a name
// cut off could not be told from another. The list is never wider than the
// screen it opens on.
void TForm1::FitChooserList()
{
    const auto font = reinterpret_cast<HFONT>(SendMessageW(StoreChooser, WM_GETFONT, 0, 0));
    const auto count = static_cast<int>(SendMessageW(StoreChooser, CB_GETCOUNT, 0, 0));
    LONG widest = 0;
    for (int i = 0; i < count; ++i) {
        std::wstring entry(static_cast<size_t>(SendMessageW(StoreChooser, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
        const LRESULT length = SendMessageW(StoreChooser, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry.data()));
        entry.resize(length > 0 ? static_cast<size_t>(length) : 0);
        widest = std::max(widest, MeasureText(font, entry).cx);
    }
    const int margin = ScalePixels(8, dpi_) + GetSystemMetrics(SM_CXVSCROLL);
    int screen = GetSystemMetrics(SM_CXSCREEN);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (GetMonitorInfoW(MonitorFromWindow(handle_, MONITOR_DEFAULTTONEAREST), &monitor))
        screen = monitor.rcWork.right - monitor.rcWork.left;
    SendMessageW(StoreChooser, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(std::min<LONG>(widest + margin, screen)), 0);
}
