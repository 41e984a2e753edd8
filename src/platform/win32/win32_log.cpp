#include "platform/win32/win32_log.h"

#include <windows.h>

#include <string>

namespace zt {

void Win32Log::Write(std::string_view line) {
  const std::string text = "ZeltraTouch: " + std::string(line) + "\n";
  ::OutputDebugStringA(text.c_str());
}

}  // namespace zt
