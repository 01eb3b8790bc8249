#pragma once
// A PellorinSync.exe run as a script runs it: standard output and error each
// go to a pipe of their own, read while it runs. Several may run at once.

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

struct TSyncRun {
    DWORD ExitCode = STILL_ACTIVE;
    std::string Out;
    std::string Err;
};

class TSyncProcess {
public:
    // Raises std::runtime_error when the program cannot be started.
    TSyncProcess(const std::wstring& exe, const std::string& arguments);
    TSyncProcess(const TSyncProcess&) = delete;
    TSyncProcess& operator=(const TSyncProcess&) = delete;
    ~TSyncProcess();

    // Waits for the end (a minute at most, then ends it) and for all its output.
    TSyncRun Finish();
    // Waits until standard output holds text, while the program runs; true
    // when it did so while the program was still running.
    bool WaitForOutput(std::string_view text, DWORD timeoutMs);

private:
    void Drain(HANDLE pipe, std::string& into);

    HANDLE process_ = nullptr;
    TSyncRun run_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::thread out_;
    std::thread err_;
};
