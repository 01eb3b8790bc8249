#pragma once
// How long the program waits for a busy Outlook: one limit for the whole
// process, which PellorinSync sets once from --wait.

inline constexpr int kDefaultWaitSeconds = 60;
inline constexpr int kMaxWaitSeconds = 3600;

int WaitLimitSeconds() noexcept;
void SetWaitLimitSeconds(int seconds) noexcept;
