#pragma once
// Drives a real Pellorin.exe from a test: starts it, finds its windows, reads
// and clicks its controls, answers its boxes and reads its exit code. Only ever
// used under Wine, in the build's own prefix (see IsRunningUnderWine).

#include "support/ScratchHkcu.h"  // Utf16Bytes, RestrictedKey

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Polls every 10 ms; true once the condition holds.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 15000);

std::wstring TextOf(HWND window);
// The entries of a drop-down list, and the selected one (-1 for none).
std::vector<std::wstring> EntriesOf(HWND comboBox);
int SelectionOf(HWND comboBox);
// The control's place in its parent's client area.
RECT BoundsInParent(HWND control);
SIZE ClientSize(HWND window);
SIZE OuterSize(HWND window);

struct TMessageBox {
    HWND Handle = nullptr;
    std::wstring Title;
    std::wstring Text;
    bool HasIcon = false;
    std::vector<int> Buttons;  // ids of the push buttons: IDOK, IDCANCEL...
};

class TPellorinProcess {
public:
    explicit TPellorinProcess(int showCommand = SW_SHOWNORMAL);
    ~TPellorinProcess();
    TPellorinProcess(const TPellorinProcess&) = delete;
    TPellorinProcess& operator=(const TPellorinProcess&) = delete;

    DWORD ProcessId() const { return processId_; }
    // A visible top-level window of this process with the class, or null.
    HWND FindWindowOfClass(const wchar_t* className) const;
    HWND WaitForWindow(const wchar_t* className, DWORD timeoutMs = 30000) const;
    HWND MainWindow() const { return FindWindowOfClass(L"TForm1"); }
    HWND Splash() const { return FindWindowOfClass(L"TSplashScreen"); }
    // The main window's control with the given id.
    HWND Control(int id) const;

    // A message box of this process, read whole; Handle is null after the time-out.
    TMessageBox WaitForMessageBox(DWORD timeoutMs = 30000) const;
    // Presses a box's button and waits for the box to go.
    void Answer(const TMessageBox& box, int buttonId) const;
    // Posted, so that a handler that opens a modal box does not block the test.
    void Click(int controlId) const;
    // Selects an entry of a drop-down list as a user does: the window hears of it.
    void Choose(int controlId, int entry) const;
    // Returns once the program waits for input with nothing queued.
    void WaitForIdle() const;

    bool HasExited() const;
    // The exit code, or STILL_ACTIVE after the time-out.
    DWORD WaitForExit(DWORD timeoutMs = 20000) const;

private:
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
};

// Stores the current screen (the Xvfb display) as <build>/tests/e2e/screenshots/<name>.png
// with ImageMagick's import. Returns false where that cannot be done.
bool SaveScreenshot(const std::wstring& name);

// HKCU\Software\Microsoft\Office\<version>\Outlook\Categories MasterList: only
// ever written inside the build's Wine prefix.
void WriteMasterListValue(const std::wstring& version, const std::wstring& text);
void WriteMasterListValueBytes(const std::wstring& version, const std::vector<BYTE>& bytes, DWORD type);
// Empty when the value is missing.
std::vector<BYTE> ReadMasterListValueBytes(const std::wstring& version);
void DeleteAllOfficeVersionKeys();

// Logical pixels of the prefix's screen; 0 removes the setting.
void SetPrefixLogPixels(DWORD dpi);
DWORD PrefixLogPixels();
