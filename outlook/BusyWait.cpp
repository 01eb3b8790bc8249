#include "outlook/BusyWait.h"

#include "base/PaintingWait.h"
#include "base/WaitLimit.h"

#include <algorithm>
#include <optional>

namespace {

constexpr DWORD kRetryPauseMs = 250;

ULONGLONG WaitLimitMs()
{
    return static_cast<ULONGLONG>(WaitLimitSeconds()) * 1000;
}

}  // namespace

bool IsBusyCode(HRESULT code) noexcept
{
    return code == RPC_E_CALL_REJECTED || code == RPC_E_SERVERCALL_RETRYLATER;
}

HRESULT RetryWhileBusy(const std::function<HRESULT()>& call)
{
    std::optional<ULONGLONG> firstRejected;
    for (;;) {
        // Where COM retried inside the call, its first rejection came right after this.
        const ULONGLONG attempt = GetTickCount64();
        const HRESULT result = call();
        if (!IsBusyCode(result))
            return result;
        if (!firstRejected)
            firstRejected = attempt;
        const ULONGLONG waited = GetTickCount64() - *firstRejected;
        const ULONGLONG limit = WaitLimitMs();
        if (waited >= limit)
            return result;
        WaitKeepingWindowsPainted(nullptr, static_cast<DWORD>(std::min<ULONGLONG>(kRetryPauseMs, limit - waited)));
    }
}

TBusyMessageFilter::TBusyMessageFilter()
{
    registered_ = SUCCEEDED(CoRegisterMessageFilter(this, &previous_));
}

TBusyMessageFilter::~TBusyMessageFilter()
{
    if (!registered_)
        return;
    CoRegisterMessageFilter(previous_, nullptr);
    if (previous_)
        previous_->Release();
}

DWORD STDMETHODCALLTYPE TBusyMessageFilter::HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO)
{
    return SERVERCALL_ISHANDLED;
}

DWORD STDMETHODCALLTYPE TBusyMessageFilter::RetryRejectedCall(HTASK, DWORD elapsedMs, DWORD)
{
    // -1 cancels: the call then fails with RPC_E_CALL_REJECTED.
    return elapsedMs < WaitLimitMs() ? kRetryPauseMs : static_cast<DWORD>(-1);
}

DWORD STDMETHODCALLTYPE TBusyMessageFilter::MessagePending(HTASK, DWORD, DWORD)
{
    // Paint and activation go on; input waits, as it does for any call.
    return PENDINGMSG_WAITDEFPROCESS;
}
