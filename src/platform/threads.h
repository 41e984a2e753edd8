#pragma once

#include <cstdint>

namespace zt {

// Opaque thread and event handles; 0 means none.
using ThreadHandle = std::uintptr_t;
using EventHandle = std::uintptr_t;
inline constexpr ThreadHandle kNoThread = 0;
inline constexpr EventHandle kNoEvent = 0;

using ThreadRoutine = void (*)(void* argument);

// Threads, events and sleeping, as the engine uses them.
class IThreads {
public:
  virtual ~IThreads() = default;

  // Starts routine(argument) on a new thread at once; kNoThread on failure.
  virtual ThreadHandle CreateThread(ThreadRoutine routine, void* argument) = 0;
  virtual bool SetThreadPriorityHighest(ThreadHandle thread) = 0;
  virtual void ResumeThread(ThreadHandle thread) = 0;
  // Waits without a time limit for the thread to end.
  virtual void WaitForThread(ThreadHandle thread) = 0;
  // Releases the handle; a thread still running goes on by itself.
  virtual void CloseThread(ThreadHandle thread) = 0;

  virtual EventHandle CreateEventObject(bool manualReset, bool initiallySignalled,
                                        const char* name) = 0;
  virtual void SetEvent(EventHandle event) = 0;
  virtual void CloseEvent(EventHandle event) = 0;

  virtual void Sleep(std::uint32_t milliseconds) = 0;
};

}  // namespace zt
