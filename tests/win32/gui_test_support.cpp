#include "gui_test_support.h"

#include <string>

namespace zt::test {
namespace {

constexpr DWORD kPollMs = 20;

LONG ToAbsolute(int pixel, int screenSize) {
  // The inverse of pixel = floor(a * size / 65536), rounded up.
  return static_cast<LONG>((static_cast<long long>(pixel) * 65536 + screenSize - 1) / screenSize);
}

struct ThreadWindowSearch {
  const char* className;
  HWND found;
};

BOOL CALLBACK MatchClass(HWND window, LPARAM parameter) {
  auto& search = *reinterpret_cast<ThreadWindowSearch*>(parameter);
  char className[64] = {};
  ::GetClassNameA(window, className, sizeof className);
  if (std::string(className) == search.className && ::IsWindowVisible(window)) {
    search.found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  for (;;) {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageA(&message);
    }
    if (done()) {
      return true;
    }
    if (::GetTickCount64() >= deadline) {
      return false;
    }
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, kPollMs, QS_ALLINPUT);
  }
}

HWND WaitForWindow(const char* className, const char* title, DWORD timeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  for (;;) {
    if (HWND window = ::FindWindowA(className, title)) {
      return window;
    }
    if (::GetTickCount64() >= deadline) {
      return nullptr;
    }
    ::Sleep(kPollMs);
  }
}

HWND WaitForThreadWindow(DWORD threadId, const char* className, DWORD timeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  for (;;) {
    ThreadWindowSearch search{className, nullptr};
    ::EnumThreadWindows(threadId, MatchClass, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) {
      return search.found;
    }
    if (::GetTickCount64() >= deadline) {
      return nullptr;
    }
    ::Sleep(kPollMs);
  }
}

void MouseMoveTo(int x, int y) {
  ::mouse_event(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE,
                static_cast<DWORD>(ToAbsolute(x, ::GetSystemMetrics(SM_CXSCREEN))),
                static_cast<DWORD>(ToAbsolute(y, ::GetSystemMetrics(SM_CYSCREEN))), 0, 0);
}

void MouseButton(DWORD flags) {
  ::mouse_event(flags, 0, 0, 0, 0);
}

POINT WindowCentre(HWND window) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

}  // namespace zt::test
