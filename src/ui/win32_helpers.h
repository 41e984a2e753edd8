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

// Registers the common control classes (trackbar, property sheet) once.
void EnsureCommonControls();

}  // namespace zt::ui
