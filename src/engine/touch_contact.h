// A finger as a touch contact injected into the system (touch output).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "mapping/calib_mapper.h"
#include "platform/input.h"
#include "platform/log.h"
#include "platform/monitors.h"
#include "platform/threads.h"
#include "platform/touch_injection.h"

namespace zt {

// One contact at a time, held to the system's rules: DOWN at the
// touch-down, UPDATE for each move, UP at the last UPDATE's place (a tap
// gets an UPDATE between its DOWN and UP), CANCELED with the UP where the
// finger did not really lift (a stop, a lost link, a lost lift). While the
// finger rests a refresher thread sends the last UPDATE again kRefreshMs
// after the last frame sent, whoever sent it; without a finger it waits
// without waking. A frame refused as not ready is sent again; any other
// refusal ends the contact on our side too, noted once in the log. Points
// and contact areas stay inside the virtual desktop. Safe from any thread.
class CTouchContact {
public:
  // With the system's timer slack (up to ~16 ms) a resting contact gets a
  // frame well within 50 ms, and the system drops it only after 100 ms.
  static constexpr std::uint32_t kRefreshMs = 30;
  // How often a frame refused as not ready is sent again, 1 ms apart.
  static constexpr int kNotReadyRetries = 3;
  // How many moves after a display change may find the new DOWN refused
  // because the system's cancel has not yet taken effect.
  static constexpr int kCancelPendingMoves = 5;
  // The contact area: this many pixels round the point, as a fingertip.
  static constexpr std::int32_t kAreaRadius = 4;

  // clock: the tick count the refresher measures the time since the last
  // frame by; log: none to note nothing.
  CTouchContact(ITouchInjection& injection, IThreads& threads, IInput& clock, ILog* log);
  CTouchContact(const CTouchContact&) = delete;
  CTouchContact& operator=(const CTouchContact&) = delete;
  // Cancels a contact in progress and ends the refresher.
  ~CTouchContact();

  // Starts the refresher; false when its thread cannot be made.
  bool Start();
  // The virtual desktop that points and areas are kept inside.
  void SetDesktop(const PixelRect& desk);
  // A contact in progress is cancelled first (its lift was lost).
  void Down(IntPoint pixel);
  // After the system cancelled the contact (a display change), a move
  // starts a new one; while the system refuses it as a frame out of order
  // (its cancel not yet taken), the next move tries again, up to
  // kCancelPendingMoves moves. Any other refusal ends the touch's contact.
  void Move(IntPoint pixel);
  // The finger lifts at pixel: the contact moves there and lifts. One the
  // system cancelled just ends, sending nothing (the lift starts no tap).
  void Up(IntPoint pixel);
  // Ends the touch: a contact in progress with CANCELED (no tap, no drop);
  // one the system cancelled sends nothing, and no move restarts it.
  void Cancel();
  // The system has cancelled every contact (a display change): this one
  // gets no further frame, also when a frame was refused for it already,
  // and the finger's next move starts a new contact.
  void DropCancelledBySystem();
  // The geometry changed: the contact ends with CANCELED (unless the system
  // has cancelled it already), and the finger's next move starts a new one
  // in the new geometry.
  void Restart();

private:
  enum class State : std::uint8_t {
    kNone,             // no finger
    kDown,             // DOWN sent, no UPDATE yet
    kMoving,           // UPDATE sent
    kSystemCancelled,  // the finger is still down; the next move is a new contact
    kRefused,          // the finger is still down; nothing more until a touch-down
  };

  static void RefreshThread(void* contact);
  void Refresh();
  bool InContact() const { return m_state == State::kDown || m_state == State::kMoving; }
  void DownLocked(IntPoint pixel);
  void RestartAfterSystemCancel(IntPoint pixel);
  void UpdateLocked(IntPoint pixel);
  void EndLocked(std::uint32_t flags);
  // Sends one frame, again while it is refused as not ready; another
  // refusal ends the contact. False when it did not go through.
  bool SendLocked(std::uint32_t flags, IntPoint pixel);
  // The system's answer to one frame, sent again while it is not ready.
  std::uint32_t InjectLocked(std::uint32_t flags, IntPoint pixel);
  // A refusal ends the contact on our side, noted in the log.
  void RefusedLocked(std::uint32_t answer);
  TouchFrame FrameAt(std::uint32_t flags, IntPoint pixel) const;

  ITouchInjection& m_injection;
  IThreads& m_threads;
  IInput& m_clock;
  ILog* m_log;
  std::mutex m_lock;
  std::condition_variable m_changed;
  State m_state = State::kNone;
  // New DOWNs refused as out of order since the system cancelled the contact.
  int m_refusedRestarts = 0;
  bool m_stopping = false;
  PixelRect m_desk;
  IntPoint m_last;
  std::uint32_t m_lastFrameTick = 0;
  ThreadHandle m_hThread = kNoThread;
};

}  // namespace zt
