// Small typed stand-ins for Win32 macros whose C casts the compiler warns
// about, and access to the module that holds the program's resources.
#pragma once

#include <windows.h>

namespace zt::ui {

// MAKEINTRESOURCEA: a resource identified by number instead of by name.
inline const char* ResourceName(unsigned id) {
  return reinterpret_cast<const char*>(static_cast<ULONG_PTR>(static_cast<WORD>(id)));
}

inline int LowWord(WPARAM value) {
  return static_cast<int>(value & 0xFFFF);
}

inline int HighWord(WPARAM value) {
  return static_cast<int>((value >> 16) & 0xFFFF);
}

// Packs two 16-bit values into an LPARAM, as MAKELPARAM does.
inline LPARAM MakeLParam(int low, int high) {
  return static_cast<LPARAM>((static_cast<DWORD>(high & 0xFFFF) << 16) |
                             static_cast<DWORD>(low & 0xFFFF));
}

// The executable's module: dialog templates, icons and strings live there.
inline HINSTANCE ResourceModule() {
  return ::GetModuleHandleA(nullptr);
}

// A length of pixels at 96 DPI as many pixels at the DPI of the window's
// monitor (the program is aware of each monitor's DPI); unchanged where the
// system cannot say (before Windows 10 1607).
inline int ScaleForDpi(HWND window, int pixels) {
  using GetDpiForWindowCall = UINT(WINAPI*)(HWND);
  static const auto getDpi = reinterpret_cast<GetDpiForWindowCall>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
  const UINT dpi = getDpi != nullptr ? getDpi(window) : 0;
  return dpi != 0 ? ::MulDiv(pixels, static_cast<int>(dpi), 96) : pixels;
}

// Registers the common control classes (trackbar, property sheet) once.
void EnsureCommonControls();

}  // namespace zt::ui
