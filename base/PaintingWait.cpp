#include "base/PaintingWait.h"

DWORD WaitKeepingWindowsPainted(HANDLE handle, DWORD ms)
{
    const DWORD count = handle ? 1 : 0;
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE))
            DispatchMessageW(&message);
        const ULONGLONG now = GetTickCount64();
        const DWORD left = now < end ? static_cast<DWORD>(end - now) : 0;
        const DWORD result =
            MsgWaitForMultipleObjects(count, handle ? &handle : nullptr, FALSE, left, QS_PAINT | QS_SENDMESSAGE);
        // One past the handles: a message came in, and the wait goes on.
        if (result != WAIT_OBJECT_0 + count)
            return result;
        if (left == 0)
            return WAIT_TIMEOUT;
    }
}
