// Touch output's frames as the system would get them, on the real monitors
// of the display (run with two monitors): a contact at the touch monitor's
// far corner goes through the contact and FillTouchInfo, and each
// POINTER_TOUCH_INFO is checked without calling InjectTouchInput (Wine has
// none). Prints what is wrong, one line each; exits 1 if anything is.
#undef WINVER
#undef _WIN32_WINNT
#define WINVER 0x0602
#define _WIN32_WINNT 0x0602

#include <windows.h>

#include <cstdio>
#include <vector>

#include "engine/touch_contact.h"
#include "mapping/desktop_mapping.h"
#include "platform/win32/win32_input.h"
#include "platform/win32/win32_monitors.h"
#include "platform/win32/win32_threads.h"
#include "platform/win32/win32_touch_injection.h"

namespace {

struct Recorder final : zt::ITouchInjection {
  bool Initialize() override { return true; }
  std::uint32_t Inject(const zt::TouchFrame& frame) override {
    POINTER_TOUCH_INFO info;
    zt::FillTouchInfo(frame, info);
    infos.push_back(info);
    return zt::touch::kInjected;
  }
  std::vector<POINTER_TOUCH_INFO> infos;
};

int failures = 0;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::printf("%s\n", what);
    ++failures;
  }
}

}  // namespace

int main() {
  ::SetProcessDPIAware();
  zt::Win32Monitors monitors;
  const zt::DesktopLayout layout = monitors.Layout();
  const zt::MonitorChoice choice = zt::ChooseMonitor(layout, "\\\\.\\DISPLAY2");
  Check(choice.named, "no second monitor");
  const zt::PixelRect desk{
      ::GetSystemMetrics(SM_XVIRTUALSCREEN), ::GetSystemMetrics(SM_YVIRTUALSCREEN),
      ::GetSystemMetrics(SM_XVIRTUALSCREEN) + ::GetSystemMetrics(SM_CXVIRTUALSCREEN),
      ::GetSystemMetrics(SM_YVIRTUALSCREEN) + ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
  Recorder recorder;
  zt::Win32Threads threads;
  zt::Win32Input input;
  {
    zt::CTouchContact contact(recorder, threads, input, nullptr);
    contact.SetDesktop(desk);
    const zt::IntPoint corner = zt::MonitorPixel(choice.monitor.rect, 65535, 0);
    contact.Down(corner);
    contact.Up();
  }
  const UINT32 flags[] = {POINTER_FLAG_INRANGE | POINTER_FLAG_INCONTACT | POINTER_FLAG_DOWN,
                          POINTER_FLAG_INRANGE | POINTER_FLAG_INCONTACT | POINTER_FLAG_UPDATE,
                          POINTER_FLAG_UP};
  const zt::PixelRect& on = choice.monitor.rect;
  Check(recorder.infos.size() == 3 && sizeof(POINTER_TOUCH_INFO) == 144,
        "not DOWN, UPDATE and UP of the system's 144-byte POINTER_TOUCH_INFO");
  for (std::size_t i = 0; i < recorder.infos.size() && i < 3; ++i) {
    const POINTER_TOUCH_INFO& info = recorder.infos[i];
    const POINT at = info.pointerInfo.ptPixelLocation;
    const RECT area = info.rcContact;
    Check(info.pointerInfo.pointerType == PT_TOUCH && info.pointerInfo.pointerId == 0 &&
              info.pointerInfo.pointerFlags == flags[i] && info.touchFlags == TOUCH_FLAG_NONE &&
              info.touchMask == TOUCH_MASK_CONTACTAREA,
          "not a touch pointer 0 with the frame's flags and a contact area");
    Check(at.x == on.right - 1 && at.y == on.top, "not the second monitor's top right pixel");
    Check(area.left >= desk.left && area.top >= desk.top && area.right < desk.right &&
              area.bottom < desk.bottom && area.left <= at.x && at.x <= area.right,
          "the contact area is not inside the desktop round the point");
    std::printf("frame %u: 0x%05x at %ld,%ld area %ld,%ld-%ld,%ld\n", static_cast<unsigned>(i),
                static_cast<unsigned>(info.pointerInfo.pointerFlags), at.x, at.y, area.left,
                area.top, area.right, area.bottom);
  }
  return failures == 0 ? 0 : 1;
}
