#pragma once

#include <atomic>

#include "platform/threads.h"

namespace zt {

// IThreads over the C++ standard library: used by the native tests and by
// platforms without their own backend. Priorities are not supported.
class StdThreads final : public IThreads {
public:
  ThreadHandle CreateThread(ThreadRoutine routine, void* argument) override;
  bool SetThreadPriorityHighest(ThreadHandle thread) override;
  void WaitForThread(ThreadHandle thread) override;
  void CloseThread(ThreadHandle thread) override;
  void LeaveRunning(ThreadHandle thread) override;
  void Sleep(std::uint32_t milliseconds) override;

  bool AnyLeftRunning() const { return m_leftRunning.load() != 0; }

private:
  std::atomic<int> m_leftRunning{0};
};

}  // namespace zt
