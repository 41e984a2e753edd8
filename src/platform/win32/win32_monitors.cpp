#include "platform/win32/win32_monitors.h"

#include <windows.h>

namespace zt {
namespace {

PixelRect ToPixelRect(const RECT& rect) {
  return {rect.left, rect.top, rect.right, rect.bottom};
}

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC /*dc*/, LPRECT /*rect*/, LPARAM layout) {
  MONITORINFOEXA info{};
  info.cbSize = sizeof info;
  if (::GetMonitorInfoA(monitor, &info) != FALSE) {
    reinterpret_cast<DesktopLayout*>(layout)->monitors.push_back(
        {info.szDevice, ToPixelRect(info.rcMonitor), ToPixelRect(info.rcWork),
         (info.dwFlags & MONITORINFOF_PRIMARY) != 0});
  }
  return TRUE;
}

}  // namespace

DesktopLayout Win32Monitors::Layout() {
  DesktopLayout layout;
  ::EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&layout));
  const int left = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
  const int top = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
  layout.virtualDesk = {left, top, left + ::GetSystemMetrics(SM_CXVIRTUALSCREEN),
                        top + ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
  return layout;
}

}  // namespace zt
