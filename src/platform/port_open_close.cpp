#include "platform/port_open_close.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace zt {
namespace {

using Clock = std::chrono::steady_clock;

// One open under way or done, until a caller has taken its handle (or its
// failure) or its thread has closed the handle nobody took.
struct Opening {
  bool finished = false;
  bool taken = false;
  bool givenUp = false;  // nobody will come for it: closed as it arrives
  int waiters = 0;
  CommHandle handle = kInvalidComm;
};

template <typename Run>
bool StartThread(Run run) {
  try {
    std::thread(std::move(run)).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

}  // namespace

struct CPortOpenClose::Shared {
  Shared(OpenCall openCall, CloseCall closeCall)
      : open(std::move(openCall)), close(std::move(closeCall)) {}

  // On its own thread: opens, hands the handle to a waiting caller or keeps
  // it for the next one, and closes it when nobody comes for it.
  void RunOpen(const std::string& key, const std::string& name,
               const std::shared_ptr<Opening>& opening) {
    const CommHandle handle = open(name);
    std::unique_lock<std::mutex> guard(lock);
    opening->handle = handle;
    opening->finished = true;
    changed.notify_all();
    if (handle != kInvalidComm) {
      changed.wait_for(guard, std::chrono::milliseconds(kLateHandleKeepMs),
                       [&] { return opening->taken || opening->givenUp || gone; });
    }
    // A failure with a caller waiting is that caller's to take.
    const bool leftOver = !opening->taken && (handle != kInvalidComm || opening->waiters == 0);
    if (leftOver) {
      opening->taken = true;
      Forget(key, opening);
    }
    if (!leftOver || handle == kInvalidComm) {
      --threads;
      changed.notify_all();
      return;
    }
    // A close under way, as any other: an open of the port waits for it.
    ++closes[key];
    guard.unlock();
    close(handle);
    guard.lock();
    EndClose(key);
    --threads;
    changed.notify_all();
  }

  void RunClose(const std::string& key, CommHandle handle, const std::shared_ptr<bool>& done) {
    close(handle);
    const std::lock_guard<std::mutex> guard(lock);
    EndClose(key);
    *done = true;
    --threads;
    changed.notify_all();
  }

  // Under the lock.
  void Forget(const std::string& key, const std::shared_ptr<Opening>& opening) {
    const auto found = opens.find(key);
    if (found != opens.end() && found->second == opening) {
      opens.erase(found);
    }
  }
  void EndClose(const std::string& key) {
    if (--closes[key] <= 0) {
      closes.erase(key);
    }
  }

  const OpenCall open;
  const CloseCall close;
  std::mutex lock;
  std::condition_variable changed;
  std::map<std::string, std::shared_ptr<Opening>> opens;
  std::map<std::string, int> closes;
  int threads = 0;
  bool gone = false;
};

CPortOpenClose::CPortOpenClose(OpenCall open, CloseCall close, std::uint32_t openLimitMs)
    : m_shared(std::make_shared<Shared>(std::move(open), std::move(close))),
      m_openLimitMs(openLimitMs) {}

CPortOpenClose::~CPortOpenClose() {
  CloseLateHandles();
}

void CPortOpenClose::CloseLateHandles() {
  const std::lock_guard<std::mutex> guard(m_shared->lock);
  m_shared->gone = true;
  m_shared->changed.notify_all();
}

// Every decision about an open (wait for it, take its handle, leave it
// for later) is made under the one lock, so that a handle that arrives
// while a caller gives up is either taken by that caller or kept.
CommHandle CPortOpenClose::Open(const std::string& name) {
  Shared& shared = *m_shared;
  const std::string key = PortKey(name);
  const auto deadline = Clock::now() + std::chrono::milliseconds(m_openLimitMs);
  std::unique_lock<std::mutex> guard(shared.lock);
  for (;;) {
    if (!shared.changed.wait_until(guard, deadline,
                                   [&] { return shared.closes.count(key) == 0; })) {
      return kInvalidComm;
    }
    std::shared_ptr<Opening>& slot = shared.opens[key];
    if (!slot) {
      auto opening = std::make_shared<Opening>();
      const bool started =
          shared.threads < kMaxThreads && StartThread([shared = m_shared, key, name, opening] {
            shared->RunOpen(key, name, opening);
          });
      if (!started) {
        shared.opens.erase(key);
        return kInvalidComm;
      }
      ++shared.threads;
      slot = opening;
    }
    const std::shared_ptr<Opening> opening = slot;
    ++opening->waiters;
    shared.changed.wait_until(guard, deadline, [&] { return opening->finished || opening->taken; });
    --opening->waiters;
    if (opening->taken) {
      continue;  // another caller took it first
    }
    if (!opening->finished) {
      return kInvalidComm;
    }
    opening->taken = true;
    shared.Forget(key, opening);
    shared.changed.notify_all();
    return opening->handle;
  }
}

void CPortOpenClose::GiveUp(const std::string& name) {
  const std::lock_guard<std::mutex> guard(m_shared->lock);
  const auto found = m_shared->opens.find(PortKey(name));
  if (found != m_shared->opens.end() && found->second->waiters == 0) {
    found->second->givenUp = true;
    m_shared->changed.notify_all();
  }
}

bool CPortOpenClose::IsOpening(const std::string& name) const {
  const std::lock_guard<std::mutex> guard(m_shared->lock);
  const auto found = m_shared->opens.find(PortKey(name));
  return found != m_shared->opens.end() && !found->second->taken;
}

void CPortOpenClose::Close(const std::string& name, CommHandle handle) {
  Shared& shared = *m_shared;
  const std::string key = PortKey(name);
  auto done = std::make_shared<bool>(false);
  std::unique_lock<std::mutex> guard(shared.lock);
  ++shared.closes[key];
  const bool started =
      shared.threads < kMaxThreads &&
      StartThread([shared = m_shared, key, handle, done] { shared->RunClose(key, handle, done); });
  if (!started) {
    guard.unlock();
    shared.close(handle);
    guard.lock();
    shared.EndClose(key);
    shared.changed.notify_all();
    return;
  }
  ++shared.threads;
  shared.changed.wait_for(guard, std::chrono::milliseconds(kCloseLimitMs), [&] { return *done; });
}

bool CPortOpenClose::WaitUntilIdle(std::uint32_t limitMs) const {
  std::unique_lock<std::mutex> guard(m_shared->lock);
  return m_shared->changed.wait_for(guard, std::chrono::milliseconds(limitMs),
                                    [&] { return m_shared->threads == 0; });
}

}  // namespace zt
