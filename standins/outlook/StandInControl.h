#pragma once
// Drives the Outlook stand-in from tests: registration, the state it answers
// from, the log of what it was asked, and its processes.
//
//   TStandInRegistration registration;          // registered for the test's ProgID
//   TStandInState state;
//   state.Names = {L"Red", L"Blue"};
//   WriteStandInState(state);
//   ... OpenOutlookConnection(connection, registration.ProgId()) ...
//   EXPECT_TRUE(WaitForStandInExit());           // once every reference is released

#include "standins/outlook/StandInStore.h"

#include <windows.h>

#include <string>
#include <vector>

// Each test program drives a stand-in of its own: its own class, data folder
// and copy of the program file, all named for the test program, so that the
// programs can run at once and each sees only its own stand-in processes.
// Only one at a time can be registered as "Outlook.Application", which
// Pellorin's own programs ask for.

// "Outlook.Application" inside Wine, a private ProgID on Windows, so that tests
// run on a real machine never touch the user's Outlook.
std::wstring StandInTestProgId();
// A ProgID of the test program's own, for tests that open the connection
// themselves and so need not stand for Outlook.
std::wstring StandInOwnProgId();
// A file that the build names by its own path, as a Windows path (also under Wine).
std::wstring WindowsPath(const char* buildPath);
// The stand-in built with this tree, as a Windows path (also under Wine).
std::wstring StandInExePath();
// The data folder of the test program's stand-in: beside the stand-in.
std::wstring StandInTestDataDirectory();

// Registers for the scope of a test program or fixture, and removes the
// registration again; the state and log start empty.
class TStandInRegistration {
public:
    explicit TStandInRegistration(std::wstring progId = StandInTestProgId());
    TStandInRegistration(const TStandInRegistration&) = delete;
    TStandInRegistration& operator=(const TStandInRegistration&) = delete;
    ~TStandInRegistration();

    const std::wstring& ProgId() const { return progId_; }
    // As if Outlook were not installed: the ProgID and the class are gone.
    void Unregister();

private:
    std::wstring progId_;
};

// The state and log of the registered stand-in. They raise EStandInError when
// the stand-in is not registered.
void WriteStandInState(const TStandInState& state);
TStandInState ReadStandInState();
std::vector<std::wstring> ReadStandInNames();
// Everything logged, process starts and exits included.
std::vector<TStandInRequest> ReadStandInLog();
// Only name lookups and invocations.
std::vector<TStandInRequest> ReadStandInRequests();
void ClearStandInLog();

// An instance started by hand, as an Outlook the user already runs: its
// Application is in the running object table, and it runs until stopped.
class TRunningStandIn {
public:
    // Stale: it stands for the entry a killed Outlook can leave behind on
    // Windows (Wine removes such entries), and every call to it fails.
    enum class TKind { Live, Stale };
    // Returns once the Application is registered; raises EStandInError after timeoutMs.
    explicit TRunningStandIn(TKind kind = TKind::Live, DWORD timeoutMs = 30000);
    TRunningStandIn(const TRunningStandIn&) = delete;
    TRunningStandIn& operator=(const TRunningStandIn&) = delete;
    ~TRunningStandIn();

    DWORD ProcessId() const { return processId_; }
    bool IsAlive() const;
    // Closes it as a user closes Outlook; true once it has exited.
    bool Stop(DWORD timeoutMs = 10000);

private:
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
};

// Stand-in processes of this machine (or Wine prefix), however they started.
std::vector<DWORD> StandInProcessIds();
bool IsStandInAlive();
// True once no stand-in process is left; false after timeoutMs.
bool WaitForStandInExit(DWORD timeoutMs = 15000);
// Ends every stand-in process at once, for a test that must not inherit one
// that an earlier test left behind.
void TerminateStandIns();
// What "OutlookStandIn /stop" does: closes every instance started by hand.
void StopRunningStandIns(DWORD timeoutMs = 10000);
