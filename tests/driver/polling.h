// Waiting for another process without blind sleeps: poll a condition until it holds or time runs out.
#pragma once

#include <windows.h>

#include <chrono>

namespace driver {

// Time limits. The 32-bit program runs under an emulated Wine, so they are generous; a passing run
// never waits for them.
constexpr std::chrono::milliseconds kStartLimit{60000};
constexpr std::chrono::milliseconds kActionLimit{30000};

// Polls condition every few milliseconds; true as soon as it holds, false when limit has passed.
template <typename Condition>
bool wait_until(Condition condition, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    Sleep(5);
  }
}

}  // namespace driver
