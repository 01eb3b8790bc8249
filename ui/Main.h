#pragma once
// The main window, Form1. Program state lives in the unit's globals, not in the
// form; the form shows it and routes the user's clicks to the commands.

#include "commands/Commands.h"
#include "commands/ProgramState.h"
#include "sources/ProgramSources.h"
#include "base/UniqueHandle.h"
#include "ui/Layout.h"

#include <windows.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

// All program state of unit Main: the category sets, the registry text, the
// stores and AutoRefreshOnShow. The form's sources fill it.
extern TProgramState ProgramState;
// Every reference to Outlook the program still holds, once the form is gone.
void ReleaseOutlook();

class TForm1 final : public ICommandUi {
public:
    static constexpr const wchar_t* kClassName = L"TForm1";

    // Creates the main window and its controls, hidden, and runs FormCreate.
    // releaseSplash is the last step of the hand-over.
    TForm1(HINSTANCE instance, TProgramState& state, std::function<void()> releaseSplash);
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    HWND Handle() const { return handle_; }

    // Makes the window visible for the program's start-up show command.
    void ShowMainWindow(int showCommand);
    // Destroys the native window (FormDestroy runs).
    void Destroy();

    // ICommandUi
    bool Confirm(const std::wstring& text) override;
    void SetBusyCursor() override;
    void RestoreCursor() override;
    void SetMemoRegText(const std::wstring& text) override;
    void SetMemoPstText(const std::wstring& text) override;
    void Inform(const std::wstring& text) override;
    void SetStoreChoices(const std::vector<std::wstring>& entries, int chosen) override;

private:
    enum class TFontKind { Regular, Bold, Heading, Notice, Link, Count };
    struct TControlDesign;
    static constexpr size_t kControlCount = kMainControlCount;
    static const std::array<TControlDesign, kControlCount>& ControlDesigns();

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(HWND control, WORD code);
    void OnEnter();
    void OnActivate(bool active);
    bool OnSetCursor(HWND target);
    LRESULT OnCtlColorStatic(HDC dc, HWND control);
    void OnScroll(int bar, WORD request);
    // Sets one bar for the controls' extent and the client's page; keeps position within it.
    void SetScrollBar(int bar, int extent, int page, LONG& position);
    void OnDpiChanged(UINT dpi, const RECT& suggested);
    bool OnQueryOpen();

    // Event handlers.
    void BtnReadCategoriesClick();
    void FormCreate();
    void FormDestroy();
    void BtnTAVtoOLClick();
    void BtnOLtoTAVClick();
    void BtnSyncOLandTAVClick();
    void BtnCloseClick();
    void FormShow();
    void FormResize();
    void Label6Click();
    void StoreChooserChange();
    void ShowLackedCounts();

    void CreateControls();
    void ApplyFonts();
    void FitChooserList();
    void SetLabelText(HWND label, const std::wstring& text);
    void ApplyWindowState(bool connected);
    void Reconnect();
    // The dialog, then the mailbox chosen and shown once signed in.
    void SignInToMicrosoft365();
    // A copy with no store at all, while the sign-in is offered, is told to sign in first.
    bool AskToSignInFirst();
    void RunHandOver();
    template <typename Handler>
    void Guarded(Handler&& handler);

    HWND BtnReadRegCategories = nullptr;
    HWND BtnTAVtoOL = nullptr;
    HWND BtnOLtoTAV = nullptr;
    HWND BtnSyncOLandTAV = nullptr;
    HWND Label1 = nullptr;
    HWND BtnClose = nullptr;
    HWND MemoReg = nullptr;
    HWND MemoPst = nullptr;
    HWND LabelOlVersion = nullptr;
    HWND LabelNoPstUsed = nullptr;
    HWND Label2 = nullptr;
    HWND Label3 = nullptr;
    HWND Label4 = nullptr;
    HWND Label5 = nullptr;
    HWND Label6 = nullptr;
    HWND Label7 = nullptr;
    HWND lbVersion = nullptr;
    HWND StoreChooser = nullptr;
    HWND LabelRegLacks = nullptr;
    HWND LabelPstLacks = nullptr;

    HWND handle_ = nullptr;
    TProgramState& state_;
    TProgramSources sources_;
    std::function<void()> releaseSplash_;
    UINT dpi_ = kDesignDpi;
    std::array<UniqueHfont, static_cast<size_t>(TFontKind::Count)> fonts_;
    std::array<SIZE, kControlCount> textSizes_{};
    UniqueHicon smallIcon_;
    UniqueHicon largeIcon_;
    HWND focusControl_ = nullptr;
    POINT scroll_{0, 0};
    bool handOverPending_ = true;
    bool busy_ = false;
    bool inLayout_ = false;
    // Outlook was closed under a command: the next Refresh opens it again.
    bool connectionLost_ = false;
};

extern TForm1* Form1;
