#pragma once
// A PellorinSync.exe run as a script runs it: standard output and error each
// go to a pipe of their own, read while it runs. Several may run at once.

#include <windows.h>

#include <string>
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

private:
    HANDLE process_ = nullptr;
    TSyncRun run_;
    std::thread out_;
    std::thread err_;
};
