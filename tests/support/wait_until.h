#pragma once

#include <chrono>
#include <thread>

namespace zt::test {

// Polls condition every millisecond until it holds, for five seconds at
// most; whether it held. Each poll may consume what it looks at.
template <typename Condition>
bool WaitUntil(Condition condition) {
  for (int i = 0; i < 5000; ++i) {
    if (condition()) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

}  // namespace zt::test
