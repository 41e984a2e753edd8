#include "platform/win32/win32_input.h"

#include <windows.h>

namespace zt {

void Win32Input::MouseEvent(std::uint32_t flags, std::int32_t dx, std::int32_t dy,
                            std::uint32_t data, std::uintptr_t extraInfo) {
  ::mouse_event(flags, static_cast<DWORD>(dx), static_cast<DWORD>(dy), data, extraInfo);
}

std::uintptr_t Win32Input::GetMessageExtraInfo() {
  return static_cast<std::uintptr_t>(::GetMessageExtraInfo());
}

std::uint32_t Win32Input::GetDoubleClickTime() {
  return ::GetDoubleClickTime();
}

bool Win32Input::SetDoubleClickTime(std::uint32_t milliseconds) {
  return ::SetDoubleClickTime(milliseconds) != FALSE;
}

std::uint32_t Win32Input::GetTickCount() {
  return ::GetTickCount();
}

bool Win32Input::Beep(std::uint32_t frequency, std::uint32_t duration) {
  return ::Beep(frequency, duration) != FALSE;
}

}  // namespace zt
