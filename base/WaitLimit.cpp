#include "base/WaitLimit.h"

#include <algorithm>
#include <atomic>

namespace {

std::atomic<int> waitLimitSeconds{kDefaultWaitSeconds};

}  // namespace

int WaitLimitSeconds() noexcept
{
    return waitLimitSeconds.load();
}

void SetWaitLimitSeconds(int seconds) noexcept
{
    waitLimitSeconds.store(std::clamp(seconds, 0, kMaxWaitSeconds));
}
