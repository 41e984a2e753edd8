#pragma once

#include <chrono>
#include <cstdint>

#include "platform/input.h"

namespace zt {

// What the Linux outputs share: the tick count is the monotonic clock; the
// double-click time is the program's own (the desktop's is not ours to
// change on Linux); there is no tone generator to sound.
class CLinuxInput : public IInput {
public:
  std::uintptr_t GetMessageExtraInfo() override { return 0; }
  std::uint32_t GetDoubleClickTime() override { return m_doubleClickTime; }
  bool SetDoubleClickTime(std::uint32_t milliseconds) override {
    m_doubleClickTime = milliseconds;
    return true;
  }
  std::uint32_t GetTickCount() override {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
  }
  bool Beep(std::uint32_t /*frequency*/, std::uint32_t /*duration*/) override { return false; }

private:
  std::uint32_t m_doubleClickTime = 500;
};

}  // namespace zt
