// PellorinSync: the window's copies, unattended, for administrators' scripts.
#include "base/ComInitialization.h"
#include "base/Errors.h"
#include "base/ProductInfo.h"
#include "base/WaitLimit.h"
#include "categories/MainUnit.h"
#include "categories/ShownText.h"
#include "cli/ConsoleText.h"
#include "cli/DeployCommandLine.h"
#include "cli/DeployRun.h"
#include "cli/Microsoft365Verbs.h"
#include "cli/SyncCommandLine.h"
#include "cli/SyncOutput.h"
#include "cli/SyncRun.h"
#include "sources/Microsoft365Access.h"
#include "sources/ProgramSources.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

// Call from a catch block only.
int ReportFailure() noexcept
{
    try {
        WriteSyncError(ErrorBoxText(OneLineMessage(CurrentExceptionMessage())),
                       CurrentFailureHint(TFrontEnd::Console));
    } catch (...) {
        // Not even the text could be made: the exit code still tells.
    }
    return static_cast<int>(TSyncExit::Failed);
}

// Each line as it comes: the sign-in's message must show before its polling starts.
void WriteLine(const std::wstring& text)
{
    WriteText(GetStdHandle(STD_OUTPUT_HANDLE), ShownOnLine(text) + L"\r\n");
}

// Needs neither COM nor Outlook nor the registry's lists.
int RunSignInVerb(const TSyncRequest& request)
{
    if (request.Verb == TSyncVerb::SignOut)
        SignOutOfMicrosoft365(Microsoft365OverridesOf(request), WriteLine);
    else
        SignInToMicrosoft365(Microsoft365OverridesOf(request), WriteLine, [](DWORD ms) {
            Sleep(ms);
            return true;
        });
    return static_cast<int>(TSyncExit::Done);
}

int Run(const TSyncRequest& request)
{
    if (IsSignInVerb(request.Verb))
        return RunSignInVerb(request);
    const TComInitialization com;
    const TBusyMessageFilter busyFilter;
    SetWaitLimitSeconds(request.WaitSeconds);
    // Each line leaves at once, unbuffered: a log is true up to the moment a run was killed.
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    const TSyncResult result = RunSync(request, [out](std::wstring_view line) { WriteText(out, line); });
    // The rows of a list file that were skipped: the output stays what a script reads.
    for (const std::wstring& warning : result.Warnings)
        WriteSyncError(warning);
    WriteText(out, request.Json ? SyncJsonText(request, result) : SyncPlainText(request, result));
    for (const TUnreadableMasterList& list : result.RegistryUnreadable)
        WriteSyncError(UnreadableMasterListText(list));
    WriteText(GetStdHandle(STD_ERROR_HANDLE), SyncNoteText(request, result));
    if (result.Error)
        WriteSyncError(*result.Error, result.ErrorHint);
    return static_cast<int>(result.Exit);
}

// Deploy and the other verbs alike, so that each shuts down as it started.
int RunCommandLine(const std::vector<std::wstring>& arguments)
{
    const bool deploy = IsDeployCommandLine(arguments);
    TSyncRequest request;
    TDeployRequest deployRequest;
    try {
        if (deploy)
            deployRequest = ParseDeployCommandLine(arguments);
        else
            request = ParseSyncCommandLine(arguments);
    } catch (const ESyncUsageError& e) {
        // Deploy's messages have always ended in a full stop; scripts may match them whole.
        WriteSyncError(deploy ? ErrorBoxText(e.Message()) : e.Message());
        WriteText(GetStdHandle(STD_ERROR_HANDLE), SyncUsageText());
        return static_cast<int>(TSyncExit::BadUsage);
    }
    if (deploy)
        return RunDeployCommand(deployRequest);
    switch (request.Action) {
    case TSyncRequest::TAction::ShowHelp:
        WriteText(GetStdHandle(STD_OUTPUT_HANDLE), SyncUsageText());
        return static_cast<int>(TSyncExit::Done);
    case TSyncRequest::TAction::ShowVersion:
        WriteText(GetStdHandle(STD_OUTPUT_HANDLE), L"PellorinSync " PELLORIN_VERSION_TEXT L"\r\n");
        return static_cast<int>(TSyncExit::Done);
    case TSyncRequest::TAction::Run:
        break;
    }
    return Run(request);
}

}  // namespace

int wmain(int argc, wchar_t* argv[])
{
    const std::vector<std::wstring> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const auto run = [&] {
        try {
            return RunCommandLine(arguments);
        } catch (...) {
            return ReportFailure();
        }
    };
    return RunWithProgramUnits(run, ReportFailure);
}
