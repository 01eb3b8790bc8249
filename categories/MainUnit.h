#pragma once
// Process-wide facts set once when the program starts, before any window.

#include <windows.h>

#include <functional>
#include <string>

// The delimiter set of master list texts: ";".
extern std::wstring CategoryDelimiters;
// True on the NT family; chooses the system's own character classification.
extern bool IsWinNT;

// Sets CategoryDelimiters and IsWinNT from GetVersionEx. Raises EAssertionFailed
// "OSVersionInfo.dwPlatformId is invalid (Main, line 644)" for an unknown platform.
void StartMainUnit();
// The platform branch of StartMainUnit, for a given platform id.
void ApplyPlatformId(DWORD platformId);
// Releases the unit's global texts.
void StopMainUnit();

// A program's run between the modules' start-up (this unit, then the Unicode
// layer, which needs IsWinNT) and their shutdown, which follows run() however
// it ends. A failed start-up stops what it started and answers startFailed(),
// called while the failure is being handled, instead of running.
int RunWithProgramUnits(const std::function<int()>& run, const std::function<int()>& startFailed);
