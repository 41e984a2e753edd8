#include "platform/std_threads.h"

#include <chrono>
#include <thread>

namespace zt {
namespace {

struct StdThread {
  std::thread thread;
};

StdThread* AsThread(ThreadHandle handle) {
  return reinterpret_cast<StdThread*>(handle);
}

}  // namespace

// A thread that cannot be made is reported as kNoThread, and nothing that
// the routine throws leaves the thread.
ThreadHandle StdThreads::CreateThread(ThreadRoutine routine, void* argument) {
  try {
    auto* holder = new StdThread{std::thread([routine, argument] {
      try {
        routine(argument);
      } catch (...) {  // NOLINT(bugprone-empty-catch): a thread has nobody to tell
      }
    })};
    return reinterpret_cast<ThreadHandle>(holder);
  } catch (...) {
    return kNoThread;
  }
}

bool StdThreads::SetThreadPriorityHighest(ThreadHandle thread) {
  return thread != kNoThread;
}

void StdThreads::WaitForThread(ThreadHandle thread) {
  StdThread* holder = AsThread(thread);
  if (holder != nullptr && holder->thread.joinable()) {
    holder->thread.join();
  }
}

void StdThreads::CloseThread(ThreadHandle thread) {
  StdThread* holder = AsThread(thread);
  if (holder == nullptr) {
    return;
  }
  if (holder->thread.joinable()) {
    holder->thread.detach();
  }
  delete holder;
}

void StdThreads::LeaveRunning(ThreadHandle thread) {
  m_leftRunning.fetch_add(1);
  CloseThread(thread);
}

void StdThreads::Sleep(std::uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace zt
