// The system's touch injection as its documentation states it, and a clock
// for the contact's refresher that the test moves.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/touch_injection.h"
#include "platform_fakes.h"

namespace zt::test {

// Refuses, with the documented error, every frame the system refuses:
// before a successful initialization; flags outside the contract or out of
// order; an UP away from the last UPDATE (or with none since the DOWN); a
// point or contact area outside the desktop; a frame of a contact that was
// cancelled; a frame more than 100 ms after the contact's previous one. A
// refusal of a frame against the rules cancels the contact, as does a
// display change. Each frame is stamped with the clock when it arrives, on
// whatever thread. A test can have the next frames refused with an error.
class ContractTouchInjection final : public ITouchInjection {
public:
  static constexpr std::uint32_t kDownFlags = touch::kInRange | touch::kInContact | touch::kDown;
  static constexpr std::uint32_t kUpdateFlags =
      touch::kInRange | touch::kInContact | touch::kUpdate;
  static constexpr std::uint32_t kExpiryMs = 100;

  struct Stamped {
    TouchFrame frame;
    std::uint32_t time = 0;
    std::uint32_t answer = touch::kInjected;
  };

  ContractTouchInjection(const std::atomic<std::uint32_t>& clock, const PixelRect& desk)
      : m_clock(clock), m_desk(desk) {}

  bool available = true;  // false: the system has no touch injection

  bool Initialize() override {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_initialized = available;
    return available;
  }
  std::uint32_t Inject(const TouchFrame& frame) override {
    const std::lock_guard<std::mutex> lock(m_mutex);
    const std::uint32_t answer = Judge(frame);
    m_frames.push_back({frame, m_clock.load(), answer});
    if (answer == touch::kErrorInvalidParameter || answer == touch::kErrorTimeout) {
      m_state = State::kCancelled;
    }
    return answer;
  }

  // After `after` more frames, the next count are refused with error,
  // whatever they are.
  void RefuseNext(std::uint32_t error, int count = 1, int after = 0) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_refusal = {error, count};
    m_refuseAfter = after;
  }
  // WM_DISPLAYCHANGE: every contact is cancelled.
  void DisplayChange(const PixelRect& desk) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_desk = desk;
    m_state = m_state == State::kNone ? State::kNone : State::kCancelled;
  }

  // A contact the system holds down (expired or not).
  bool InContact() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_state == State::kDown || m_state == State::kMoving;
  }
  // Every frame so far, with its time and answer; taken.
  std::vector<Stamped> TakeStamped() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return std::exchange(m_frames, {});
  }

private:
  enum class State { kNone, kDown, kMoving, kCancelled };

  std::uint32_t Judge(const TouchFrame& frame) {
    if (!m_initialized) {
      return touch::kStatusAccessDenied;
    }
    if (m_refusal.second > 0 && m_refuseAfter-- <= 0) {
      --m_refusal.second;
      return m_refusal.first;
    }
    if (!Inside(frame.x, frame.y) || !Inside(frame.area.left, frame.area.top) ||
        !Inside(frame.area.right, frame.area.bottom)) {
      return touch::kErrorInvalidParameter;
    }
    const bool live = m_state == State::kDown || m_state == State::kMoving;
    if (live && m_clock.load() - m_lastTime > kExpiryMs) {
      return touch::kErrorTimeout;
    }
    const bool up = (frame.flags & ~(touch::kCanceled | touch::kInRange)) == touch::kUp;
    if (frame.flags == kDownFlags && !live) {
      m_state = State::kDown;
    } else if (frame.flags == kUpdateFlags && live) {
      m_state = State::kMoving;
      m_lastUpdate = {frame.x, frame.y};
    } else if (up && m_state == State::kMoving && frame.x == m_lastUpdate.first &&
               frame.y == m_lastUpdate.second) {
      m_state = State::kNone;
    } else {
      return touch::kErrorInvalidParameter;
    }
    m_lastTime = m_clock.load();
    return touch::kInjected;
  }
  bool Inside(std::int32_t x, std::int32_t y) const {
    return x >= m_desk.left && x < m_desk.right && y >= m_desk.top && y < m_desk.bottom;
  }

  const std::atomic<std::uint32_t>& m_clock;
  PixelRect m_desk;
  std::mutex m_mutex;
  bool m_initialized = false;
  State m_state = State::kNone;
  std::pair<std::int32_t, std::int32_t> m_lastUpdate;
  std::uint32_t m_lastTime = 0;
  std::pair<std::uint32_t, int> m_refusal{0, 0};
  int m_refuseAfter = 0;
  std::vector<Stamped> m_frames;
};

// Threads whose sleeps run on the test's clock (the input's tick count):
// the test moves it a millisecond at a time, and before each step waits
// until the one other thread that sleeps on it (the refresher) is asleep
// again, so that every frame is stamped with the time it was due. A sleep
// on the test's own thread moves the clock itself.
class SimulatedClock final : public DelegatingThreads {
public:
  explicit SimulatedClock(std::atomic<std::uint32_t>& ticks) : m_ticks(ticks) {}

  void Sleep(std::uint32_t milliseconds) override {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (std::this_thread::get_id() == m_test) {
      m_ticks += milliseconds;
      return;
    }
    const std::uint32_t until = m_ticks.load() + milliseconds;
    m_wakeAt = until;
    ++m_asleep;
    m_changed.notify_all();
    m_changed.wait(lock, [&] { return m_released || m_ticks.load() - until < 0x80000000U; });
    --m_asleep;
  }
  // Moves the clock on; false when the refresher did not fall asleep again.
  bool Advance(std::uint32_t milliseconds) {
    for (std::uint32_t i = 0; i < milliseconds; ++i) {
      if (!Quiet()) {
        return false;
      }
      const std::lock_guard<std::mutex> lock(m_mutex);
      ++m_ticks;
      m_changed.notify_all();
    }
    return Quiet();
  }
  // Ends every sleep for good, so that the refresher can stop.
  void Release() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_released = true;
    m_changed.notify_all();
  }

private:
  bool Quiet() {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::seconds(5), [&] {
      return m_asleep == 1 && m_wakeAt - m_ticks.load() - 1 < 0x80000000U;
    });
  }

  std::atomic<std::uint32_t>& m_ticks;
  const std::thread::id m_test = std::this_thread::get_id();
  std::mutex m_mutex;
  std::condition_variable m_changed;
  int m_asleep = 0;
  std::uint32_t m_wakeAt = 0;
  bool m_released = false;
};

}  // namespace zt::test
