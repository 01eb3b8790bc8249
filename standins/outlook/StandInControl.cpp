#include "standins/outlook/StandInControl.h"

#include "base/Errors.h"
#include "base/Platform.h"

#include <tlhelp32.h>

#include <algorithm>

namespace {

std::wstring RegisteredDataDirectory()
{
    std::wstring data = StandInDataDirectory();
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

std::wstring StandInExePath()
{
    return WindowsPath(PELLORIN_STANDIN_EXE);
}

std::wstring StandInTestDataDirectory()
{
    const std::wstring exe = StandInExePath();
    return exe.substr(0, exe.find_last_of(L'\\')) + L"\\OutlookStandIn.test-data";
}

TStandInRegistration::TStandInRegistration(std::wstring progId) : progId_(std::move(progId))
{
    const std::wstring data = StandInTestDataDirectory();
    RegisterStandIn(StandInExePath(), progId_, data);
    SaveStandInState(data, TStandInState());
    DeleteStandInLog(data);
}

TStandInRegistration::~TStandInRegistration()
{
    UnregisterStandIn(progId_);
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
    const std::wstring exe = StandInExePath();
    std::wstring commandLine = L"\"" + exe + L"\" /run" + (kind == TKind::Stale ? L" /stale" : L"");
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
        if (SameTextIgnoringCase(entry.szExeFile, kStandInExeName))
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
