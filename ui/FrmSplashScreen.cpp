#include "ui/FrmSplashScreen.h"

#include "base/Errors.h"
#include "ui/Dpi.h"
#include "ui/ProgramInfo.h"
#include "ui/WindowClass.h"

#include <commctrl.h>

std::unique_ptr<TSplashScreen> SplashScreen;

namespace {

constexpr wchar_t kPanelClassName[] = L"TPanel";
constexpr int kBevelWidth = 5;

// A bevel of the given width: light above and left, dark below and right.
void Frame3D(HDC dc, RECT& rect, COLORREF topLeft, COLORREF bottomRight, int width)
{
    for (int i = 0; i < width; ++i) {
        const UniqueHbrush light(CreateSolidBrush(topLeft));
        const UniqueHbrush dark(CreateSolidBrush(bottomRight));
        const RECT top{rect.left, rect.top, rect.right - 1, rect.top + 1};
        const RECT left{rect.left, rect.top, rect.left + 1, rect.bottom - 1};
        const RECT bottom{rect.left, rect.bottom - 1, rect.right, rect.bottom};
        const RECT right{rect.right - 1, rect.top, rect.right, rect.bottom};
        FillRect(dc, &top, light.get());
        FillRect(dc, &left, light.get());
        FillRect(dc, &bottom, dark.get());
        FillRect(dc, &right, dark.get());
        InflateRect(&rect, -1, -1);
    }
}

}  // namespace

TSplashScreen::TSplashScreen(HINSTANCE instance)
{
    static const bool registered =
        RegisterWindowClass(instance, kClassName, &TSplashScreen::WindowProc, COLOR_WINDOW) &&
        RegisterWindowClass(instance, kPanelClassName, &TSplashScreen::PanelProc, COLOR_BTNFACE);
    if (!registered)
        throw EException(L"The splash window class could not be registered");

    dpi_ = SystemDpi();
    // A tool window: no task-bar entry, whose title the user would see.
    handle_.reset(CreateWindowExW(WS_EX_TOOLWINDOW, kClassName, L"SplashScreen", WS_POPUP | WS_CLIPCHILDREN, 0,
                                  0, ScalePixels(kSplashWidth, dpi_), ScalePixels(kSplashHeight, dpi_), nullptr,
                                  nullptr, instance, nullptr));
    if (!handle_)
        throw EException(L"The splash window could not be created");
    dpi_ = FitWindowToItsDpi(handle_.get(), dpi_, {kSplashWidth, kSplashHeight});
    CreateControls(instance);
}

TSplashScreen::~TSplashScreen()
{
    // Hidden and destroyed before its fonts go, which its labels still hold.
    if (handle_)
        ShowWindow(handle_.get(), SW_HIDE);
    handle_.reset();
}

void TSplashScreen::CreateControls(HINSTANCE instance)
{
    windowFont_ = CreateUiFont(11, false, false, dpi_);
    titleFont_ = CreateUiFont(13, true, false, dpi_);
    textFont_ = CreateUiFont(13, false, false, dpi_);
    const auto scale = [this](int pixels) { return ScalePixels(pixels, dpi_); };

    Panel1 = CreateWindowExW(0, kPanelClassName, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                             scale(kSplashWidth), scale(kSplashHeight), handle_.get(), nullptr, instance, nullptr);
    struct TLabel {
        HWND* Field;
        int Left;
        int Top;
        const wchar_t* Text;
        HFONT Font;
    };
    // Declaration order, which is also the order of creation.
    const TLabel labels[] = {
        {&Label2, 75, 54, L"Starting Outlook\r\nPlease wait ...", textFont_.get()},
        {&Label1, 30, 27, L"Pellorin", titleFont_.get()},
        {&Label3, 141, 123, PELLORIN_MAKER_NOTICE, windowFont_.get()},
    };
    for (const TLabel& label : labels) {
        const SIZE size = MeasureText(label.Font, label.Text);
        *label.Field = CreateWindowExW(0, WC_STATICW, label.Text,
                                       WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX, scale(label.Left),
                                       scale(label.Top), size.cx, size.cy, Panel1, nullptr, instance, nullptr);
        SendMessageW(*label.Field, WM_SETFONT, reinterpret_cast<WPARAM>(label.Font), FALSE);
    }
    // The picture is 30 x 30 at 96 DPI; LoadImage stretches it for other DPIs.
    picture_.reset(static_cast<HBITMAP>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDB_SPLASH), IMAGE_BITMAP, scale(30), scale(30), LR_DEFAULTCOLOR)));
    Image1 = CreateWindowExW(0, WC_STATICW, L"", WS_CHILD | WS_VISIBLE | SS_BITMAP, scale(30), scale(54),
                             scale(30), scale(30), Panel1, nullptr, instance, nullptr);
    SendMessageW(Image1, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture_.get()));
    SetWindowPos(Image1, nullptr, 0, 0, scale(30), scale(30), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TSplashScreen::Show()
{
    RECT outer{};
    GetWindowRect(handle_.get(), &outer);
    const int left = (GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2;
    SetWindowPos(handle_.get(), HWND_TOP, left, top, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    SetForegroundWindow(handle_.get());
}

LRESULT CALLBACK TSplashScreen::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK TSplashScreen::PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        const HDC dc = BeginPaint(window, &paint);
        RECT rect{};
        GetClientRect(window, &rect);
        const UINT dpi = WindowDpi(window);
        const int bevel = ScalePixels(kBevelWidth, dpi);
        const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT);
        const COLORREF dark = GetSysColor(COLOR_BTNSHADOW);
        Frame3D(dc, rect, light, dark, bevel);  // outer bevel, raised
        Frame3D(dc, rect, dark, light, bevel);  // inner bevel, lowered
        FillRect(dc, &rect, GetSysColorBrush(COLOR_BTNFACE));
        EndPaint(window, &paint);
        return 0;
    }
    case WM_CTLCOLORSTATIC: {
        const HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
