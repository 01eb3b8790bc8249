#include "support/SyncProcess.h"

#include <chrono>
#include <stdexcept>

// Closes the pipe when the program's end of it is gone.
void TSyncProcess::Drain(HANDLE pipe, std::string& into)
{
    char buffer[4096];
    DWORD count = 0;
    while (ReadFile(pipe, buffer, sizeof(buffer), &count, nullptr) && count > 0) {
        const std::lock_guard<std::mutex> lock(mutex_);
        into.append(buffer, count);
        arrived_.notify_all();
    }
    CloseHandle(pipe);
}

TSyncProcess::TSyncProcess(const std::wstring& exe, const std::string& arguments)
{
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0))
        throw std::runtime_error("no pipe");
    if (!CreatePipe(&errRead, &errWrite, &inherit, 0)) {
        CloseHandle(outRead);
        CloseHandle(outWrite);
        throw std::runtime_error("no pipe");
    }
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    std::wstring commandLine = L"\"" + exe + L"\" " + std::wstring(arguments.begin(), arguments.end());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION info{};
    const BOOL started = CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                        nullptr, nullptr, &startup, &info);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (!started) {
        CloseHandle(outRead);
        CloseHandle(errRead);
        throw std::runtime_error("cannot start PellorinSync.exe");
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    out_ = std::thread(&TSyncProcess::Drain, this, outRead, std::ref(run_.Out));
    err_ = std::thread(&TSyncProcess::Drain, this, errRead, std::ref(run_.Err));
}

TSyncProcess::~TSyncProcess()
{
    Finish();
}

TSyncRun TSyncProcess::Finish()
{
    if (process_) {
        if (WaitForSingleObject(process_, 60000) != WAIT_OBJECT_0)
            TerminateProcess(process_, STILL_ACTIVE);
        out_.join();
        err_.join();
        GetExitCodeProcess(process_, &run_.ExitCode);
        CloseHandle(process_);
        process_ = nullptr;
    }
    return run_;
}

bool TSyncProcess::WaitForOutput(std::string_view text, DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex_);
    const bool seen = arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                        [&] { return run_.Out.find(text) != std::string::npos; });
    return seen && process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}
