#pragma once
// The splash window that covers the wait while Outlook starts. It has no
// behaviour of its own: start-up shows it and the main window's hand-over ends it.

#include "base/UniqueHandle.h"
#include "ui/Layout.h"

#include <windows.h>

#include <memory>

class TSplashScreen {
public:
    static constexpr const wchar_t* kClassName = L"TSplashScreen";

    explicit TSplashScreen(HINSTANCE instance);
    ~TSplashScreen();
    TSplashScreen(const TSplashScreen&) = delete;
    TSplashScreen& operator=(const TSplashScreen&) = delete;

    HWND Handle() const { return handle_.get(); }
    // Visible, in front, centred on the screen.
    void Show();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls(HINSTANCE instance);

    UniqueHwnd handle_;
    HWND Panel1 = nullptr;
    HWND Label2 = nullptr;
    HWND Image1 = nullptr;
    HWND Label1 = nullptr;
    HWND Label3 = nullptr;
    UINT dpi_ = kDesignDpi;
    UniqueHfont windowFont_;
    UniqueHfont titleFont_;
    UniqueHfont textFont_;
    UniqueHbitmap picture_;
};

// Set at start-up; the hand-over destroys the window and clears it.
extern std::unique_ptr<TSplashScreen> SplashScreen;
