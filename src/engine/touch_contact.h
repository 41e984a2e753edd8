// A finger as a touch contact injected into the system (touch output).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "mapping/calib_mapper.h"
#include "platform/threads.h"
#include "platform/touch_injection.h"

namespace zt {

// One contact at a time: DOWN at the touch-down, UPDATE for each move, UP at
// the lift at the last frame's place (the system refuses an UP elsewhere).
// While the finger rests and no report comes, a refresher thread repeats the
// last UPDATE every kRefreshMs, since the system cancels a contact left
// longer than 100 ms; without a finger down it waits without waking at all.
// Points are pixels of the virtual desktop. Safe from any thread.
class CTouchContact {
public:
  static constexpr std::uint32_t kRefreshMs = 50;

  CTouchContact(ITouchInjection& injection, IThreads& threads);
  CTouchContact(const CTouchContact&) = delete;
  CTouchContact& operator=(const CTouchContact&) = delete;
  // Ends a contact in progress and the refresher.
  ~CTouchContact();

  // Starts the refresher; false when its thread cannot be made.
  bool Start();
  // A contact in progress is lifted first (its lift was lost).
  void Down(IntPoint pixel);
  void Move(IntPoint pixel);
  // Lifts the contact where its last frame was; nothing without one.
  void Up();

private:
  static void RefreshThread(void* contact);
  void Refresh();
  void InjectLocked(std::uint32_t flags, IntPoint pixel);
  void UpLocked();

  ITouchInjection& m_injection;
  IThreads& m_threads;
  std::mutex m_lock;
  std::condition_variable m_changed;
  bool m_down = false;
  bool m_stopping = false;
  IntPoint m_last;
  std::uint64_t m_frames = 0;  // frames injected so far
  ThreadHandle m_hThread = kNoThread;
};

}  // namespace zt
