// Program entry: start-up, the splash window, the main window's run and shutdown.
#include "base/ComInitialization.h"
#include "categories/MainUnit.h"
#include "sources/ProgramSources.h"
#include "ui/ErrorReporter.h"
#include "ui/FrmSplashScreen.h"
#include "ui/Main.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdint>

namespace {

constexpr int kStartupFailureCode = 217;

// A failed start-up ends the program before any window, with the run-time's own
// box: no reporter exists yet, so the failure's text is not shown.
int EndWithRuntimeError()
{
    const auto address = reinterpret_cast<std::uintptr_t>(&StartMainUnit);
    const std::wstring text = RuntimeErrorText(kStartupFailureCode, address);
    MessageBoxW(nullptr, text.c_str(), L"Error", MB_OK);
    return kStartupFailureCode;
}

void RunApplication(HINSTANCE instance, int showCommand)
{
    SplashScreen = std::make_unique<TSplashScreen>(instance);
    SplashScreen->Show();
    const TComInitialization com;
    const TBusyMessageFilter busyFilter;
    // Nothing is dispatched before the loop: paint now, or the splash stays blank
    // for as long as Outlook takes to start.
    UpdateWindow(SplashScreen->Handle());
    {
        TForm1 form(instance, ProgramState, [] { SplashScreen.reset(); });
        // Minimised, the application shows no window until it is first restored.
        if (showCommand == SW_SHOWMINNOACTIVE && SplashScreen)
            ShowWindow(SplashScreen->Handle(), SW_HIDE);
        form.ShowMainWindow(showCommand);

        MSG message{};
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (!IsDialogMessageW(form.Handle(), &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        form.Destroy();
    }
    SplashScreen.reset();
    // Whatever FormDestroy did not release goes before COM does.
    ReleaseOutlook();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand)
{
    const auto run = [&] {
        INITCOMMONCONTROLSEX controls{};
        controls.dwSize = sizeof(controls);
        controls.dwICC = ICC_STANDARD_CLASSES;
        InitCommonControlsEx(&controls);
        try {
            RunApplication(instance, showCommand);
        } catch (...) {
            ReportCurrentException(nullptr);
        }
        return 0;
    };
    return RunWithProgramUnits(run, EndWithRuntimeError);
}
