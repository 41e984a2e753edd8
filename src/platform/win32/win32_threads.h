#pragma once

#include <atomic>

#include "platform/threads.h"

namespace zt {

// IThreads over CreateThread and Sleep.
class Win32Threads final : public IThreads {
public:
  ThreadHandle CreateThread(ThreadRoutine routine, void* argument) override;
  bool SetThreadPriorityHighest(ThreadHandle thread) override;
  void WaitForThread(ThreadHandle thread) override;
  void CloseThread(ThreadHandle thread) override;
  void LeaveRunning(ThreadHandle thread) override;
  void Sleep(std::uint32_t milliseconds) override;

  // Whether a thread was left running inside a driver call: the program
  // then ends without freeing what such a thread may still use.
  bool AnyLeftRunning() const { return m_leftRunning.load() != 0; }

private:
  std::atomic<int> m_leftRunning{0};
};

}  // namespace zt
