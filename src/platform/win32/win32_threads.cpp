#include "platform/win32/win32_threads.h"

#include <windows.h>

#include <new>

namespace zt {
namespace {

HANDLE ToHandle(std::uintptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

struct ThreadStart {
  ThreadRoutine routine;
  void* argument;
};

// The entry point the system calls: nothing the routine throws goes back
// into the system.
DWORD WINAPI RunThread(LPVOID parameter) {
  const ThreadStart start = *static_cast<ThreadStart*>(parameter);
  delete static_cast<ThreadStart*>(parameter);
  try {
    start.routine(start.argument);
  } catch (...) {
    return 1;
  }
  return 0;
}

}  // namespace

ThreadHandle Win32Threads::CreateThread(ThreadRoutine routine, void* argument) {
  auto* start = new (std::nothrow) ThreadStart{routine, argument};
  if (start == nullptr) {
    return kNoThread;
  }
  HANDLE thread = ::CreateThread(nullptr, 0, RunThread, start, 0, nullptr);
  if (thread == nullptr) {
    delete start;
    return kNoThread;
  }
  return reinterpret_cast<ThreadHandle>(thread);
}

bool Win32Threads::SetThreadPriorityHighest(ThreadHandle thread) {
  return ::SetThreadPriority(ToHandle(thread), THREAD_PRIORITY_HIGHEST) != FALSE;
}

void Win32Threads::WaitForThread(ThreadHandle thread) {
  ::WaitForSingleObject(ToHandle(thread), INFINITE);
}

void Win32Threads::CloseThread(ThreadHandle thread) {
  ::CloseHandle(ToHandle(thread));
}

void Win32Threads::LeaveRunning(ThreadHandle thread) {
  m_leftRunning.fetch_add(1);
  CloseThread(thread);
}

void Win32Threads::Sleep(std::uint32_t milliseconds) {
  ::Sleep(milliseconds);
}

}  // namespace zt
