// The monitors of an X display, as XRandR names and places them.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "platform/monitors.h"

using Display = struct _XDisplay;

namespace zt {

// The screen's size as the server has it now (a round trip: the size Xlib
// keeps for a connection changes only when that connection takes XRandR's
// events).
PixelRect ScreenRect(Display* display);

// A connection that is lost (the X server ended) sets lost, and the calls
// on it fail from then on, instead of Xlib's default: ending the process
// from whichever thread met the loss.
void SurviveLoss(Display* display, std::atomic<bool>& lost);

// Why the display named (empty: DISPLAY) cannot be opened, for the log.
std::string WhyNoDisplay(const std::string& name);

// Each monitor by its XRandR name ("HDMI-1"), its place on the screen and
// whether it is the primary one; the virtual desktop is the whole screen,
// which absolute pointer units span. Without an open display, no monitors
// and an empty desktop. Layout may be called from any thread.
class XRandrMonitors final : public IMonitors {
public:
  XRandrMonitors();
  XRandrMonitors(const XRandrMonitors&) = delete;
  XRandrMonitors& operator=(const XRandrMonitors&) = delete;
  ~XRandrMonitors() override;

  // False without the display or its RandR 1.5.
  bool Open(const std::string& display);
  // Lets go of the display (also one that was lost).
  void Close();
  DesktopLayout Layout() override;
  // Waits until the monitors change (true), the display is lost or Stop is
  // called (false).
  bool WaitForChange();
  bool Lost() const { return m_lost.load(); }
  // Waits up to ms unless Stop is called meanwhile; false when it was.
  bool Pause(int ms);
  // From any thread: ends the waits, this one and every later one.
  void Stop();

private:
  std::mutex m_lock;
  Display* m_display = nullptr;  // for Layout, under m_lock
  Display* m_events = nullptr;   // for WaitForChange
  std::atomic<bool> m_lost{false};
  int m_stop = -1;
  int m_eventBase = 0;
};

}  // namespace zt
