// Helpers for the Win32 tests that show windows: bounded waits for a
// condition while this thread's messages are dispatched, and real pointer
// input through mouse_event.
#pragma once

#include <windows.h>

#include <functional>

namespace zt::test {

// Dispatches this thread's messages until done() holds or timeoutMs have
// passed; returns done().
bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000);

// Polls FindWindowA until a window appears or timeoutMs have passed.
HWND WaitForWindow(const char* className, const char* title, DWORD timeoutMs = 5000);

// The window of this process's thread whose class is className, polled
// until it appears or timeoutMs have passed.
HWND WaitForThreadWindow(DWORD threadId, const char* className, DWORD timeoutMs = 5000);

// Absolute pointer input at screen pixel (x, y).
void MouseMoveTo(int x, int y);
void MouseButton(DWORD flags);  // MOUSEEVENTF_LEFTDOWN, ...

// The centre of a window's rectangle in screen coordinates.
POINT WindowCentre(HWND window);

}  // namespace zt::test
