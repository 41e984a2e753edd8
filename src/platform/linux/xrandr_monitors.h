// The monitors of an X display, as XRandR names and places them.
#pragma once

#include <mutex>
#include <string>

#include "platform/monitors.h"

using Display = struct _XDisplay;

namespace zt {

// The screen's size as the server has it now (a round trip: the size Xlib
// keeps for a connection changes only when that connection takes XRandR's
// events).
PixelRect ScreenRect(Display* display);

// Each monitor by its XRandR name ("HDMI-1"), its place on the screen and
// whether it is the primary one; the virtual desktop is the whole screen,
// which absolute pointer units span. Layout may be called from any thread.
class XRandrMonitors final : public IMonitors {
public:
  XRandrMonitors() = default;
  XRandrMonitors(const XRandrMonitors&) = delete;
  XRandrMonitors& operator=(const XRandrMonitors&) = delete;
  ~XRandrMonitors() override;

  // False without the display or its RandR 1.5.
  bool Open(const std::string& display);
  DesktopLayout Layout() override;
  // Waits until the monitors change (true) or Stop is called (false).
  bool WaitForChange();
  // From any thread: ends the waiting.
  void Stop();

private:
  std::mutex m_lock;
  Display* m_display = nullptr;  // for Layout, under m_lock
  Display* m_events = nullptr;   // for WaitForChange
  int m_stop = -1;
  int m_eventBase = 0;
};

}  // namespace zt
