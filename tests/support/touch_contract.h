#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/touch_injection.h"

namespace zt::test {

// The system's touch injection held to its documented contract: frames only
// after a successful initialization; a contact begins with DOWN (in range,
// in contact), moves with UPDATE (in range, in contact) and ends with UP at
// the last frame's place; a held contact gets a frame at least every
// 100 ms of the given clock. Every breach fails the test. Thread-safe.
class ContractTouchInjection final : public ITouchInjection {
public:
  static constexpr std::uint32_t kDownFlags = touch::kInRange | touch::kInContact | touch::kDown;
  static constexpr std::uint32_t kUpdateFlags =
      touch::kInRange | touch::kInContact | touch::kUpdate;
  static constexpr std::uint32_t kMaxGapMs = 100;

  explicit ContractTouchInjection(std::function<std::uint32_t()> clock)
      : m_clock(std::move(clock)) {}

  bool available = true;  // false: the system has no touch injection

  bool Initialize() override {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_initialized = available;
    return available;
  }
  bool Inject(const TouchFrame& frame) override {
    const std::lock_guard<std::mutex> lock(m_mutex);
    const std::uint32_t now = m_clock();
    EXPECT_TRUE(m_initialized) << "a frame before InitializeTouchInjection";
    if (frame.flags == kDownFlags) {
      EXPECT_FALSE(m_inContact) << "DOWN during a contact";
    } else if (frame.flags == kUpdateFlags || frame.flags == touch::kUp) {
      EXPECT_TRUE(m_inContact) << "a frame without a contact: 0x" << std::hex << frame.flags;
      EXPECT_LE(now - m_lastTime, kMaxGapMs) << "a held contact left too long";
      EXPECT_TRUE(frame.flags != touch::kUp || (frame.x == m_last.x && frame.y == m_last.y))
          << "UP away from the last frame";
    } else {
      ADD_FAILURE() << "flags outside the contract: 0x" << std::hex << frame.flags;
    }
    m_inContact = frame.flags != touch::kUp;
    m_last = frame;
    m_lastTime = now;
    m_frames.push_back(frame);
    return true;
  }

  std::vector<TouchFrame> Take() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return std::exchange(m_frames, {});
  }
  std::size_t Count() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_frames.size();
  }

private:
  std::function<std::uint32_t()> m_clock;
  std::mutex m_mutex;
  bool m_initialized = false;
  bool m_inContact = false;
  TouchFrame m_last;
  std::uint32_t m_lastTime = 0;
  std::vector<TouchFrame> m_frames;
};

}  // namespace zt::test
