#include "engine/touch_contact.h"

namespace zt {
namespace {

constexpr std::uint32_t kInContact = touch::kInRange | touch::kInContact;

}  // namespace

CTouchContact::CTouchContact(ITouchInjection& injection, IThreads& threads)
    : m_injection(injection), m_threads(threads) {}

CTouchContact::~CTouchContact() {
  {
    const std::lock_guard<std::mutex> lock(m_lock);
    UpLocked();
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

// Asleep on the condition while no finger is down; while one is, a frame
// goes out whenever a whole period has passed without one.
void CTouchContact::Refresh() {
  std::unique_lock<std::mutex> lock(m_lock);
  while (!m_stopping) {
    if (!m_down) {
      m_changed.wait(lock);
      continue;
    }
    const std::uint64_t seen = m_frames;
    lock.unlock();
    m_threads.Sleep(kRefreshMs);
    lock.lock();
    if (m_down && !m_stopping && m_frames == seen) {
      InjectLocked(kInContact | touch::kUpdate, m_last);
    }
  }
}

void CTouchContact::Down(IntPoint pixel) {
  {
    const std::lock_guard<std::mutex> lock(m_lock);
    UpLocked();
    InjectLocked(kInContact | touch::kDown, pixel);
    m_down = true;
  }
  m_changed.notify_all();
}

void CTouchContact::Move(IntPoint pixel) {
  const std::lock_guard<std::mutex> lock(m_lock);
  if (m_down) {
    InjectLocked(kInContact | touch::kUpdate, pixel);
  }
}

void CTouchContact::Up() {
  const std::lock_guard<std::mutex> lock(m_lock);
  UpLocked();
}

void CTouchContact::UpLocked() {
  if (m_down) {
    InjectLocked(touch::kUp, m_last);
    m_down = false;
  }
}

void CTouchContact::InjectLocked(std::uint32_t flags, IntPoint pixel) {
  m_injection.Inject({flags, pixel.x, pixel.y});
  m_last = pixel;
  ++m_frames;
}

}  // namespace zt
