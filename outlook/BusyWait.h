#pragma once
// Outlook that is starting, loading add-ins or showing a dialog turns calls
// away as busy (RPC_E_CALL_REJECTED, RPC_E_SERVERCALL_RETRYLATER). Every call
// to it is then tried again every 250 ms until it goes through, for at most the
// wait limit (base/WaitLimit.h) counted from its first rejection. Windows does
// this inside COM through the message filter below; Wine 8 never asks a
// client's filter, so the calling code retries too, and both go by one clock.

#include "outlook/ScopedComObject.h"

#include <windows.h>
#include <objidl.h>

#include <functional>

bool IsBusyCode(HRESULT code) noexcept;

// Runs call, and again while it answers a busy code and the limit allows;
// returns its last answer. Windows keep painting during each pause.
HRESULT RetryWhileBusy(const std::function<HRESULT()>& call);

// The thread's OLE message filter for as long as the object lives (COM must be
// initialised on the thread first); the previous one comes back afterwards.
class TBusyMessageFilter final : public TScopedComObject<IMessageFilter, IID_IMessageFilter> {
public:
    TBusyMessageFilter();
    ~TBusyMessageFilter();
    TBusyMessageFilter(const TBusyMessageFilter&) = delete;
    TBusyMessageFilter& operator=(const TBusyMessageFilter&) = delete;

    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override;
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD elapsedMs, DWORD rejectType) override;
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override;

private:
    IMessageFilter* previous_ = nullptr;
    bool registered_ = false;
};
