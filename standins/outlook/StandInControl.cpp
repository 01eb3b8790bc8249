#include "standins/outlook/StandInControl.h"

#include "base/Errors.h"
#include "base/Platform.h"

#include <tlhelp32.h>

#include <algorithm>

namespace {

// The stand-in of the test program that runs.
struct TStandInIdentity {
    std::wstring Name;  // the test program's, without ".exe"
    CLSID Class;
    std::wstring DataDirectory;
    std::wstring ExeName;  // its copy of the stand-in, in the data folder
};

const TStandInIdentity& Identity()
{
    static const TStandInIdentity identity = [] {
        TStandInIdentity made;
        const std::wstring path = ProgramFilePath();
        made.Name = path.substr(path.find_last_of(L"\\/") + 1);
        if (const std::size_t dot = made.Name.find_last_of(L'.'); dot != std::wstring::npos)
            made.Name.resize(dot);
        made.Class = StandInClassFor(made.Name);
        const std::wstring exe = StandInExePath();
        made.DataDirectory = exe.substr(0, exe.find_last_of(L'\\')) + L"\\OutlookStandIn.test-data." + made.Name;
        made.ExeName = L"OutlookStandIn." + made.Name + L".exe";
        return made;
    }();
    return identity;
}

std::wstring OwnExePath()
{
    return Identity().DataDirectory + L"\\" + Identity().ExeName;
}

// A copy still running from an earlier run cannot be replaced, and need not be
// when it is of the same size and age.
void CopyStandInExe()
{
    const std::wstring from = StandInExePath();
    const std::wstring to = OwnExePath();
    CreateDirectoryW(Identity().DataDirectory.c_str(), nullptr);
    if (CopyFileW(from.c_str(), to.c_str(), FALSE))
        return;
    WIN32_FILE_ATTRIBUTE_DATA source{}, copy{};
    if (GetFileAttributesExW(from.c_str(), GetFileExInfoStandard, &source) &&
        GetFileAttributesExW(to.c_str(), GetFileExInfoStandard, &copy) && source.nFileSizeLow == copy.nFileSizeLow &&
        source.nFileSizeHigh == copy.nFileSizeHigh && CompareFileTime(&source.ftLastWriteTime, &copy.ftLastWriteTime) == 0)
        return;
    throw EStandInError(L"cannot copy " + from + L" to " + to + L" (error " + std::to_wstring(GetLastError()) + L")");
}

std::wstring RegisteredDataDirectory()
{
    std::wstring data = StandInDataDirectory(Identity().Class);
    if (data.empty())
        throw EStandInError(L"the Outlook stand-in is not registered");
    return data;
}

}  // namespace

// Under Wine the build's paths are Unix paths, which Wine itself translates to
// the drive that maps them.
std::wstring WindowsPath(const char* buildPath)
{
    if (buildPath[0] == '/') {
        using DosName = WCHAR*(CDECL*)(LPCSTR);
        const auto toDos = reinterpret_cast<DosName>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
        if (WCHAR* dos = toDos ? toDos(buildPath) : nullptr) {
            std::wstring result = dos;
            HeapFree(GetProcessHeap(), 0, dos);
            return result;
        }
        std::wstring result = L"Z:" + FromUtf8(buildPath);
        std::replace(result.begin(), result.end(), L'/', L'\\');
        return result;
    }
    std::wstring result = FromUtf8(buildPath);
    std::replace(result.begin(), result.end(), L'/', L'\\');
    return result;
}

std::wstring StandInTestProgId()
{
    return IsRunningUnderWine() ? kOutlookProgId : kStandInPrivateProgId;
}

std::wstring StandInOwnProgId()
{
    return std::wstring(kStandInPrivateProgId) + L"." + Identity().Name;
}

std::wstring StandInExePath()
{
    return WindowsPath(PELLORIN_STANDIN_EXE);
}

std::wstring StandInTestDataDirectory()
{
    return Identity().DataDirectory;
}

TStandInRegistration::TStandInRegistration(std::wstring progId) : progId_(std::move(progId))
{
    const std::wstring data = StandInTestDataDirectory();
    CopyStandInExe();
    RegisterStandIn(OwnExePath(), progId_, data, Identity().Class);
    SaveStandInState(data, TStandInState());
    DeleteStandInLog(data);
}

TStandInRegistration::~TStandInRegistration()
{
    Unregister();
}

void TStandInRegistration::Unregister()
{
    UnregisterStandIn(progId_, Identity().Class);
}

void WriteStandInState(const TStandInState& state)
{
    SaveStandInState(RegisteredDataDirectory(), state);
}

TStandInState ReadStandInState()
{
    return LoadStandInState(RegisteredDataDirectory());
}

std::vector<std::wstring> ReadStandInNames()
{
    return ReadStandInState().Names;
}

std::vector<TStandInRequest> ReadStandInLog()
{
    return LoadStandInLog(RegisteredDataDirectory());
}

std::vector<TStandInRequest> ReadStandInRequests()
{
    std::vector<TStandInRequest> requests = ReadStandInLog();
    std::erase_if(requests, [](const TStandInRequest& r) { return r.Event != L"lookup" && r.Event != L"invoke"; });
    return requests;
}

void ClearStandInLog()
{
    DeleteStandInLog(RegisteredDataDirectory());
}

TRunningStandIn::TRunningStandIn(TKind kind, DWORD timeoutMs)
{
    const std::wstring exe = OwnExePath();
    std::wstring commandLine = L"\"" + exe + L"\" /run" + (kind == TKind::Stale ? L" /stale" : L"") + L" " +
                               kStandInClassSwitch + L" " + StandInClassText(Identity().Class);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    // Suspended, so that the event it signals when ready exists before it looks.
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                        nullptr, &startup, &info))
        throw EStandInError(L"cannot start " + exe + L" (error " + std::to_wstring(GetLastError()) + L")");
    process_ = info.hProcess;
    processId_ = info.dwProcessId;
    const std::wstring readyName = L"PellorinOutlookStandInReady" + std::to_wstring(processId_);
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    const HANDLE waits[] = {ready, process_};
    const DWORD outcome = ready ? WaitForMultipleObjects(2, waits, FALSE, timeoutMs) : WAIT_FAILED;
    if (ready)
        CloseHandle(ready);
    if (outcome != WAIT_OBJECT_0) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, 5000);
        CloseHandle(process_);
        throw EStandInError(L"the stand-in started by hand did not get ready");
    }
}

TRunningStandIn::~TRunningStandIn()
{
    if (!Stop()) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
}

bool TRunningStandIn::IsAlive() const
{
    return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool TRunningStandIn::Stop(DWORD timeoutMs)
{
    if (!IsAlive())
        return true;
    StopStandInsStartedByHand(processId_, timeoutMs);
    return WaitForSingleObject(process_, 0) == WAIT_OBJECT_0;
}

std::vector<DWORD> StandInProcessIds()
{
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return ids;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (SameTextIgnoringCase(entry.szExeFile, Identity().ExeName))
            ids.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return ids;
}

bool IsStandInAlive()
{
    return !StandInProcessIds().empty();
}

bool WaitForStandInExit(DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        const std::vector<DWORD> ids = StandInProcessIds();
        if (ids.empty())
            return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            return false;
        if (HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, ids.front())) {
            WaitForSingleObject(process, static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 500)));
            CloseHandle(process);
        } else {
            Sleep(20);
        }
    }
}

void StopRunningStandIns(DWORD timeoutMs)
{
    StopStandInsStartedByHand(0, timeoutMs);
}

void TerminateStandIns()
{
    for (const DWORD id : StandInProcessIds()) {
        if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id)) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
}
