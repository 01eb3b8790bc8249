#pragma once
// A wait during a command: windows go on painting themselves and the thread
// takes the messages other threads send it, but a click waits in the queue
// until the command is done, as it does while a call to Outlook blocks.

#include <windows.h>

// Waits up to ms for handle, or simply for ms when handle is null. Returns
// WAIT_OBJECT_0 or WAIT_ABANDONED_0 once the handle is signalled,
// WAIT_TIMEOUT after ms, or WAIT_FAILED.
DWORD WaitKeepingWindowsPainted(HANDLE handle, DWORD ms);
