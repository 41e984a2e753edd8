#include "platform/win32/win32_messages.h"

#include <windows.h>

namespace zt {

bool Win32Messages::Post(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                         std::intptr_t lParam) {
  return ::PostMessageA(reinterpret_cast<HWND>(window), message, wParam,
                        static_cast<LPARAM>(lParam)) != FALSE;
}

}  // namespace zt
