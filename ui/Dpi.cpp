#include "ui/Dpi.h"

#include "ui/Layout.h"

#include <string>

namespace {

template <typename Proc>
Proc User32Entry(const char* name)
{
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

UINT ScreenDpi()
{
    const HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kDesignDpi;
}

}  // namespace

UINT WindowDpi(HWND window)
{
    using GetDpiForWindowProc = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = User32Entry<GetDpiForWindowProc>("GetDpiForWindow");
    if (getDpiForWindow && window) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi != 0)
            return dpi;
    }
    return ScreenDpi();
}

UINT SystemDpi()
{
    using GetDpiForSystemProc = UINT(WINAPI*)();
    static const auto getDpiForSystem = User32Entry<GetDpiForSystemProc>("GetDpiForSystem");
    if (getDpiForSystem) {
        const UINT dpi = getDpiForSystem();
        if (dpi != 0)
            return dpi;
    }
    return ScreenDpi();
}

UINT FitWindowToItsDpi(HWND window, UINT createdAtDpi, SIZE designSize)
{
    const UINT dpi = WindowDpi(window);
    if (dpi != createdAtDpi) {
        SetWindowPos(window, nullptr, 0, 0, ScalePixels(designSize.cx, dpi), ScalePixels(designSize.cy, dpi),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return dpi;
}

SIZE ClientSizeForOuter(SIZE outer, DWORD style, DWORD exStyle, UINT dpi)
{
    using AdjustForDpiProc = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = User32Entry<AdjustForDpiProc>("AdjustWindowRectExForDpi");
    RECT frame{0, 0, 0, 0};
    if (!adjustForDpi || !adjustForDpi(&frame, style, FALSE, exStyle, dpi))
        AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    return {outer.cx - (frame.right - frame.left), outer.cy - (frame.bottom - frame.top)};
}

UniqueHfont CreateUiFont(int characterHeight, bool bold, bool underline, UINT dpi)
{
    LOGFONTW font{};
    // Negative: the character height, without the internal leading.
    font.lfHeight = -ScalePixels(characterHeight, dpi);
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    font.lfUnderline = underline ? TRUE : FALSE;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    lstrcpynW(font.lfFaceName, L"MS Sans Serif", LF_FACESIZE);
    return UniqueHfont(CreateFontIndirectW(&font));
}

SIZE MeasureText(HFONT font, std::wstring_view text)
{
    SIZE size{0, 0};
    const HDC dc = GetDC(nullptr);
    if (!dc)
        return size;
    const HGDIOBJ old = SelectObject(dc, font);
    // An empty label still takes one line, as the static control draws it.
    const std::wstring measured = text.empty() ? std::wstring(L" ") : std::wstring(text);
    RECT rect{0, 0, 0, 0};
    DrawTextW(dc, measured.c_str(), static_cast<int>(measured.size()), &rect,
              DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    size.cx = text.empty() ? 0 : rect.right - rect.left;
    size.cy = rect.bottom - rect.top;
    return size;
}
