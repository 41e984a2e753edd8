#include "engine/touch_contact.h"

#include <algorithm>
#include <string>

namespace zt {
namespace {

constexpr std::uint32_t kInContact = touch::kInRange | touch::kInContact;
constexpr std::uint32_t kRetryPauseMs = 1;

}  // namespace

CTouchContact::CTouchContact(ITouchInjection& injection, IThreads& threads, IInput& clock,
                             ILog* log)
    : m_injection(injection), m_threads(threads), m_clock(clock), m_log(log) {}

CTouchContact::~CTouchContact() {
  {
    const std::lock_guard<std::mutex> lock(m_lock);
    EndLocked(touch::kCanceled | touch::kUp);
    m_stopping = true;
  }
  m_changed.notify_all();
  if (m_hThread != kNoThread) {
    m_threads.WaitForThread(m_hThread);
    m_threads.CloseThread(m_hThread);
  }
}

bool CTouchContact::Start() {
  m_hThread = m_threads.CreateThread(&CTouchContact::RefreshThread, this);
  return m_hThread != kNoThread;
}

void CTouchContact::RefreshThread(void* contact) {
  static_cast<CTouchContact*>(contact)->Refresh();
}

// Asleep on the condition while no contact is down; while one is, it
// sleeps until kRefreshMs after the last frame, measured again on waking,
// since a report may have sent a frame meanwhile.
void CTouchContact::Refresh() {
  std::unique_lock<std::mutex> lock(m_lock);
  while (!m_stopping) {
    if (!InContact()) {
      m_changed.wait(lock);
      continue;
    }
    const std::uint32_t since = m_clock.GetTickCount() - m_lastFrameTick;
    if (since >= kRefreshMs) {
      UpdateLocked(m_last);
      continue;
    }
    lock.unlock();
    m_threads.Sleep(kRefreshMs - since);
    lock.lock();
  }
}

void CTouchContact::SetDesktop(const PixelRect& desk) {
  const std::lock_guard<std::mutex> lock(m_lock);
  m_desk = desk;
}

void CTouchContact::Down(IntPoint pixel) {
  {
    const std::lock_guard<std::mutex> lock(m_lock);
    DownLocked(pixel);
  }
  m_changed.notify_all();
}

void CTouchContact::Move(IntPoint pixel) {
  {
    const std::lock_guard<std::mutex> lock(m_lock);
    if (m_state == State::kSystemCancelled) {
      RestartAfterSystemCancel(pixel);
    } else if (InContact()) {
      UpdateLocked(pixel);
    }
  }
  m_changed.notify_all();
}

void CTouchContact::Up(IntPoint pixel) {
  const std::lock_guard<std::mutex> lock(m_lock);
  if (InContact()) {
    UpdateLocked(pixel);
  }
  EndLocked(touch::kUp);
}

// The touch is over also where the system cancelled its contact already:
// no later move of another touch may start one.
void CTouchContact::Cancel() {
  const std::lock_guard<std::mutex> lock(m_lock);
  EndLocked(touch::kCanceled | touch::kUp);
}

// A frame refused meanwhile was refused because the system had cancelled
// the contact first: the finger is still down all the same.
void CTouchContact::DropCancelledBySystem() {
  const std::lock_guard<std::mutex> lock(m_lock);
  if (InContact() || m_state == State::kRefused) {
    m_state = State::kSystemCancelled;
    m_refusedRestarts = 0;
  }
}

void CTouchContact::Restart() {
  const std::lock_guard<std::mutex> lock(m_lock);
  if (m_state == State::kNone) {
    return;
  }
  if (InContact()) {
    EndLocked(touch::kCanceled | touch::kUp);
  }
  m_state = State::kSystemCancelled;
  m_refusedRestarts = 0;
}

void CTouchContact::DownLocked(IntPoint pixel) {
  EndLocked(touch::kCanceled | touch::kUp);
  if (SendLocked(kInContact | touch::kDown, pixel)) {
    m_state = State::kDown;
  }
}

// The system may take its cancel only after we heard of it: until it has,
// it refuses the new DOWN as a frame out of order (its old contact still
// lives, and that refusal cancels it), so such a refusal is sent again at
// the next few moves instead of ending the touch. Any other refusal (access
// denied on the secure desktop, say) no later move would pass: it ends the
// contact as any refused frame does.
void CTouchContact::RestartAfterSystemCancel(IntPoint pixel) {
  const std::uint32_t answer = InjectLocked(kInContact | touch::kDown, pixel);
  if (answer == touch::kInjected) {
    m_state = State::kDown;
  } else if (answer != touch::kErrorInvalidParameter ||
             ++m_refusedRestarts >= kCancelPendingMoves) {
    RefusedLocked(answer);
  }
}

void CTouchContact::UpdateLocked(IntPoint pixel) {
  if (SendLocked(kInContact | touch::kUpdate, pixel)) {
    m_state = State::kMoving;
  }
}

// The UP goes where the last UPDATE was; a contact that has had none (a
// tap) gets one there first.
void CTouchContact::EndLocked(std::uint32_t flags) {
  if (m_state == State::kDown) {
    UpdateLocked(m_last);
  }
  if (m_state == State::kMoving) {
    SendLocked(flags, m_last);
  }
  m_state = State::kNone;
}

bool CTouchContact::SendLocked(std::uint32_t flags, IntPoint pixel) {
  const std::uint32_t answer = InjectLocked(flags, pixel);
  if (answer != touch::kInjected) {
    RefusedLocked(answer);
    return false;
  }
  return true;
}

std::uint32_t CTouchContact::InjectLocked(std::uint32_t flags, IntPoint pixel) {
  const TouchFrame frame = FrameAt(flags, pixel);
  std::uint32_t answer = m_injection.Inject(frame);
  for (int retry = 0; answer == touch::kErrorNotReady && retry < kNotReadyRetries; ++retry) {
    m_threads.Sleep(kRetryPauseMs);
    answer = m_injection.Inject(frame);
  }
  if (answer == touch::kInjected) {
    m_last = {frame.x, frame.y};
    m_lastFrameTick = m_clock.GetTickCount();
  }
  return answer;
}

// Nothing more is sent for the contact, so this is its one note.
void CTouchContact::RefusedLocked(std::uint32_t answer) {
  if (m_log != nullptr) {
    m_log->Write("Touch output: the system refused a frame (error " + std::to_string(answer) +
                 "); the touch ends there");
  }
  m_state = State::kRefused;
}

// The point and its area inside the desktop (its last pixel row and column
// included), once the desktop is known.
TouchFrame CTouchContact::FrameAt(std::uint32_t flags, IntPoint pixel) const {
  TouchFrame frame{
      flags,
      pixel.x,
      pixel.y,
      {pixel.x - kAreaRadius, pixel.y - kAreaRadius, pixel.x + kAreaRadius, pixel.y + kAreaRadius}};
  if (m_desk.IsEmpty()) {
    return frame;
  }
  const auto clampX = [&](std::int32_t x) { return std::clamp(x, m_desk.left, m_desk.right - 1); };
  const auto clampY = [&](std::int32_t y) { return std::clamp(y, m_desk.top, m_desk.bottom - 1); };
  frame.x = clampX(frame.x);
  frame.y = clampY(frame.y);
  frame.area = {clampX(frame.area.left), clampY(frame.area.top), clampX(frame.area.right),
                clampY(frame.area.bottom)};
  return frame;
}

}  // namespace zt
