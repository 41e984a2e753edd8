#pragma once

#include <cstdint>

namespace zt {

// Opaque thread handle; 0 means none.
using ThreadHandle = std::uintptr_t;
inline constexpr ThreadHandle kNoThread = 0;

using ThreadRoutine = void (*)(void* argument);

// Threads and sleeping, as the engine uses them.
class IThreads {
public:
  virtual ~IThreads() = default;

  // Starts routine(argument) on a new thread at once; kNoThread on failure.
  virtual ThreadHandle CreateThread(ThreadRoutine routine, void* argument) = 0;
  virtual bool SetThreadPriorityHighest(ThreadHandle thread) = 0;
  // Waits without a time limit for the thread to end: only for a thread
  // that does no I/O (on Windows a thread ends only once the driver has
  // let go of its I/O).
  virtual void WaitForThread(ThreadHandle thread) = 0;
  // Releases the handle; a thread still running goes on by itself.
  virtual void CloseThread(ThreadHandle thread) = 0;
  // Releases the handle of a thread that did not end in its time (it is
  // inside a driver call that does not return): it goes on by itself, and
  // what it may still use must never be freed.
  virtual void LeaveRunning(ThreadHandle thread) = 0;

  virtual void Sleep(std::uint32_t milliseconds) = 0;
};

}  // namespace zt
