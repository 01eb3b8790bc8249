#pragma once
// How many mailboxes a deployment works on at once. It starts at the number
// asked for. Graph answers an app that asks too much of a tenant with 429s
// across many mailboxes: when a window of answers holds too large a share of
// them, half as many mailboxes are worked on, and each calm window after that
// adds one back, up to the number asked for. A few 429s are ordinary (each
// mailbox has limits of its own, waited out as Retry-After says) and change
// nothing. Mailboxes at work are never interrupted: a lower number only keeps
// new ones from starting. A mailbox that waits (for Retry-After, or before
// another try) gives up its place meanwhile, and gets one back before any
// new mailbox does: the number counts mailboxes that are sending.
// https://learn.microsoft.com/graph/throttling

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>

struct TConcurrencyRules {
    ULONGLONG WindowMs = 2000;
    int LeastAnswers = 10;       // a window with fewer tells nothing
    double StormShare = 0.25;    // 429s among a window's answers that halve the number
    double CalmShare = 0.10;     // below this, one more mailbox at once
};

class TConcurrencyControl {
public:
    explicit TConcurrencyControl(int most, TConcurrencyRules rules = {});

    // Waits for a free place; false once Stop was called.
    bool Acquire();
    // A free place now, or false: what Acquire would not wait for.
    bool TryAcquire();
    void Release();
    // Gives up the place for a while, and waits for one again, ahead of
    // Acquire's callers and whether or not Stop was called.
    void Pause();
    void Resume();
    // Wakes every waiter; Acquire answers false from then on.
    void Stop();

    // One answer from Graph, at now (GetTickCount64).
    void Answered(DWORD status, ULONGLONG now);

    int Permitted() const;
    int Lowest() const;
    // Mailboxes waiting in Resume.
    int Resuming() const;

private:
    void Judge(ULONGLONG now);
    void GrantWaiting();

    const int most_;
    const TConcurrencyRules rules_;
    mutable std::mutex mutex_;
    std::condition_variable freed_;
    int permitted_;
    int lowest_;
    int working_ = 0;
    int resuming_ = 0;
    int granted_ = 0;  // places handed to mailboxes in Resume, not yet taken up
    bool stopped_ = false;
    ULONGLONG windowStart_ = 0;
    bool windowStarted_ = false;
    int answers_ = 0;
    int throttled_ = 0;
};
