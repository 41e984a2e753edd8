// Touch output's frame as the system would get it, on the real monitors of
// the display (run with two monitors): a contact at the second monitor's top
// right pixel, its area clipped at the desktop's edge as the contact clips
// it, goes through FillTouchInfo, and the POINTER_TOUCH_INFO is checked
// without calling InjectTouchInput (Wine has none). Prints the frame; exits
// 1 if anything is wrong.
#undef WINVER
#undef _WIN32_WINNT
#define WINVER 0x0602
#define _WIN32_WINNT 0x0602

#include <windows.h>

#include <cstdio>

#include "mapping/desktop_mapping.h"
#include "platform/win32/win32_monitors.h"
#include "platform/win32/win32_touch_injection.h"

int main() {
  ::SetProcessDPIAware();
  zt::Win32Monitors monitors;
  const zt::MonitorChoice choice = zt::ChooseMonitor(monitors.Layout(), "\\\\.\\DISPLAY2");
  const zt::IntPoint corner = zt::MonitorPixel(choice.monitor.rect, 65535, 0);
  const int right = ::GetSystemMetrics(SM_XVIRTUALSCREEN) + ::GetSystemMetrics(SM_CXVIRTUALSCREEN);
  const zt::TouchFrame frame{
      zt::touch::kInRange | zt::touch::kInContact | zt::touch::kUpdate,
      corner.x,
      corner.y,
      {corner.x - 4, corner.y, std::min(corner.x + 4, right - 1), corner.y + 4}};
  POINTER_TOUCH_INFO info;
  zt::FillTouchInfo(frame, info);
  const POINT at = info.pointerInfo.ptPixelLocation;
  const RECT area = info.rcContact;
  const bool ok = choice.named && sizeof info == 144 && info.pointerInfo.pointerType == PT_TOUCH &&
                  info.pointerInfo.pointerId == 0 &&
                  info.pointerInfo.pointerFlags ==
                      (POINTER_FLAG_INRANGE | POINTER_FLAG_INCONTACT | POINTER_FLAG_UPDATE) &&
                  info.touchFlags == TOUCH_FLAG_NONE && info.touchMask == TOUCH_MASK_CONTACTAREA &&
                  at.x == choice.monitor.rect.right - 1 && at.y == choice.monitor.rect.top &&
                  area.right < right;
  std::printf("0x%05x at %ld,%ld area %ld,%ld-%ld,%ld\n",
              static_cast<unsigned>(info.pointerInfo.pointerFlags), at.x, at.y, area.left, area.top,
              area.right, area.bottom);
  return ok ? 0 : 1;
}
