#pragma once

#include "platform/std_threads.h"

namespace zt::test {

// Real standard-library threads behind every call; a test derives from it
// and overrides only the calls it wants to watch or hold back.
class DelegatingThreads : public IThreads {
public:
  ThreadHandle CreateThread(ThreadRoutine routine, void* argument) override {
    return real.CreateThread(routine, argument);
  }
  bool SetThreadPriorityHighest(ThreadHandle thread) override {
    return real.SetThreadPriorityHighest(thread);
  }
  void ResumeThread(ThreadHandle thread) override { real.ResumeThread(thread); }
  void WaitForThread(ThreadHandle thread) override { real.WaitForThread(thread); }
  void CloseThread(ThreadHandle thread) override { real.CloseThread(thread); }
  EventHandle CreateEventObject(bool manualReset, bool signalled, const char* name) override {
    return real.CreateEventObject(manualReset, signalled, name);
  }
  void SetEvent(EventHandle event) override { real.SetEvent(event); }
  void CloseEvent(EventHandle event) override { real.CloseEvent(event); }
  void Sleep(std::uint32_t milliseconds) override { real.Sleep(milliseconds); }

  StdThreads real;
};

}  // namespace zt::test
