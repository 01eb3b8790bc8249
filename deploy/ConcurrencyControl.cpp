#include "deploy/ConcurrencyControl.h"

#include <algorithm>

TConcurrencyControl::TConcurrencyControl(int most, TConcurrencyRules rules)
    : most_(std::max(most, 1)), rules_(rules), permitted_(most_), lowest_(most_)
{
}

bool TConcurrencyControl::Acquire()
{
    std::unique_lock lock(mutex_);
    // A place is handed to a waiting mailbox as soon as it is free, so a free
    // place here is one no waiting mailbox wants.
    freed_.wait(lock, [this] { return stopped_ || working_ < permitted_; });
    if (stopped_)
        return false;
    ++working_;
    return true;
}

bool TConcurrencyControl::TryAcquire()
{
    const std::lock_guard lock(mutex_);
    if (stopped_ || working_ >= permitted_)
        return false;
    ++working_;
    return true;
}

void TConcurrencyControl::Pause()
{
    Release();
}

void TConcurrencyControl::Resume()
{
    std::unique_lock lock(mutex_);
    ++resuming_;
    GrantWaiting();
    freed_.wait(lock, [this] { return granted_ > 0; });
    --granted_;
    --resuming_;
}

void TConcurrencyControl::Release()
{
    {
        const std::lock_guard lock(mutex_);
        --working_;
        GrantWaiting();
    }
    freed_.notify_all();
}

void TConcurrencyControl::GrantWaiting()
{
    // Handed over here, under the lock, rather than left for the woken to
    // race for: whichever thread ran first would otherwise win the place.
    while (resuming_ > granted_ && working_ < permitted_) {
        ++working_;
        ++granted_;
    }
}

void TConcurrencyControl::Stop()
{
    {
        const std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    freed_.notify_all();
}

void TConcurrencyControl::Answered(DWORD status, ULONGLONG now)
{
    bool raised = false;
    {
        const std::lock_guard lock(mutex_);
        if (!windowStarted_) {
            windowStarted_ = true;
            windowStart_ = now;
        }
        ++answers_;
        if (status == 429)
            ++throttled_;
        if (now - windowStart_ >= rules_.WindowMs) {
            const int before = permitted_;
            Judge(now);
            raised = permitted_ > before;
            if (raised)
                GrantWaiting();
        }
    }
    if (raised)
        freed_.notify_all();
}

void TConcurrencyControl::Judge(ULONGLONG now)
{
    // Too few answers to tell: the window stays open until there are enough,
    // so that a run slowed to one mailbox still speeds up again.
    if (answers_ < rules_.LeastAnswers)
        return;
    const double share = static_cast<double>(throttled_) / answers_;
    if (share >= rules_.StormShare)
        permitted_ = std::max(1, permitted_ / 2);
    else if (share < rules_.CalmShare)
        permitted_ = std::min(most_, permitted_ + 1);
    lowest_ = std::min(lowest_, permitted_);
    windowStart_ = now;
    answers_ = 0;
    throttled_ = 0;
}

int TConcurrencyControl::Permitted() const
{
    const std::lock_guard lock(mutex_);
    return permitted_;
}

int TConcurrencyControl::Lowest() const
{
    const std::lock_guard lock(mutex_);
    return lowest_;
}

int TConcurrencyControl::Resuming() const
{
    const std::lock_guard lock(mutex_);
    return resuming_;
}
