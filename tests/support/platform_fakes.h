// Fakes of the platform seams that the engine's tests share: input,
// messages and a log that record what they get, the monitors a test sets,
// threads that delegate to real ones, and a bounded wait.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/input.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "platform/monitors.h"
#include "platform/std_threads.h"

namespace zt::test {

struct RecordingLog final : ILog {
  void Write(std::string_view line) override { lines.emplace_back(line); }
  std::vector<std::string> lines;
};

struct MouseCall {
  std::uint32_t flags = 0;
  std::int32_t dx = 0;
  std::int32_t dy = 0;
  std::uint32_t data = 0;
  std::uintptr_t extraInfo = 0;

  friend bool operator==(const MouseCall&, const MouseCall&) = default;
  friend std::ostream& operator<<(std::ostream& out, const MouseCall& call) {
    return out << "{0x" << std::hex << call.flags << std::dec << ", " << call.dx << ", " << call.dy
               << "}";
  }
};

struct BeepCall {
  std::uint32_t frequency = 0;
  std::uint32_t duration = 0;
  friend bool operator==(const BeepCall&, const BeepCall&) = default;
};

// Records the mouse events and beeps; the tick counter and the double-click
// time are set by the test.
class RecordingInput final : public IInput {
public:
  static constexpr std::uintptr_t kExtraInfo = 0xFF515700;

  void MouseEvent(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::uint32_t data,
                  std::uintptr_t extraInfo) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mouse.push_back({flags, dx, dy, data, extraInfo});
  }
  std::uintptr_t GetMessageExtraInfo() override { return kExtraInfo; }
  std::uint32_t GetDoubleClickTime() override { return doubleClickTime.load(); }
  bool SetDoubleClickTime(std::uint32_t milliseconds) override {
    doubleClickTime.store(milliseconds);
    setDoubleClickTimeCalls.fetch_add(1);
    return true;
  }
  std::uint32_t GetTickCount() override { return tickCount.load(); }
  bool Beep(std::uint32_t frequency, std::uint32_t duration) override {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_beeps.push_back({frequency, duration});
    }
    beepCount.fetch_add(1);  // last: a waiting test may go on from here
    return true;
  }

  std::vector<MouseCall> TakeMouse() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::exchange(m_mouse, {});
  }
  std::vector<BeepCall> Beeps() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_beeps;
  }
  std::size_t MouseCount() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_mouse.size();
  }

  std::atomic<std::uint32_t> tickCount{100000};
  std::atomic<std::uint32_t> doubleClickTime{500};
  std::atomic<int> setDoubleClickTimeCalls{0};
  std::atomic<int> beepCount{0};

private:
  std::mutex m_mutex;
  std::vector<MouseCall> m_mouse;
  std::vector<BeepCall> m_beeps;
};

struct PostedMessage {
  WindowHandle window = 0;
  std::uint32_t message = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
  friend bool operator==(const PostedMessage&, const PostedMessage&) = default;
};

class RecordingMessages final : public IMessages {
public:
  bool Post(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
            std::intptr_t lParam) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_posted.push_back({window, message, wParam, lParam});
    return true;
  }
  std::vector<PostedMessage> Take() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::exchange(m_posted, {});
  }

private:
  std::mutex m_mutex;
  std::vector<PostedMessage> m_posted;
};

// The desktop a test sets; empty at first (mouse units then pass through).
class FixedMonitors final : public IMonitors {
public:
  DesktopLayout Layout() override {
    std::exchange(onLayout, [] {})();
    return layout;
  }
  DesktopLayout layout;
  std::function<void()> onLayout = [] {};  // runs once, as the next layout is read
};

// Real standard-library threads behind every call; a test derives from it
// and overrides only the calls it wants to watch or hold back.
class DelegatingThreads : public IThreads {
public:
  // Counts the threads still running, so that a test can wait for one it
  // left running before the fakes it uses go.
  // A stop waits for a thread's last act, not for its end: the thread may
  // still be leaving Run when the test ends, so the counter it touches last
  // stays until then (five seconds at most).
  ~DelegatingThreads() override {
    for (int i = 0; i < 5000 && running.load() > 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  ThreadHandle CreateThread(ThreadRoutine routine, void* argument) override {
    auto* start = new Start{routine, argument, this};
    created.fetch_add(1);
    running.fetch_add(1);
    const ThreadHandle thread = real.CreateThread(&DelegatingThreads::Run, start);
    if (thread == kNoThread) {
      running.fetch_sub(1);
      delete start;
    }
    return thread;
  }
  bool SetThreadPriorityHighest(ThreadHandle thread) override {
    return real.SetThreadPriorityHighest(thread);
  }
  void WaitForThread(ThreadHandle thread) override { real.WaitForThread(thread); }
  void CloseThread(ThreadHandle thread) override { real.CloseThread(thread); }
  void LeaveRunning(ThreadHandle thread) override {
    leftRunning.fetch_add(1);
    real.LeaveRunning(thread);
  }
  void Sleep(std::uint32_t milliseconds) override { real.Sleep(milliseconds); }

  StdThreads real;
  std::atomic<int> leftRunning{0};
  std::atomic<int> running{0};
  std::atomic<int> created{0};
  // Cleared, threads begin only once it is set again, as a thread may not
  // have run a single instruction when a stop comes.
  std::atomic<bool> open{true};

private:
  struct Start {
    ThreadRoutine routine;
    void* argument;
    DelegatingThreads* threads;
  };
  static void Run(void* start) {
    const Start copy = *static_cast<Start*>(start);
    delete static_cast<Start*>(start);
    while (!copy.threads->open.load()) {
      std::this_thread::yield();
    }
    copy.routine(copy.argument);
    copy.threads->running.fetch_sub(1);
  }
};

// Polls condition every millisecond until it holds, for five seconds (or
// limitMs) at most; whether it held. Each poll may consume what it looks at.
template <typename Condition>
bool WaitUntil(Condition condition, int limitMs = 5000) {
  for (int i = 0; i < limitMs; ++i) {
    if (condition()) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

}  // namespace zt::test
