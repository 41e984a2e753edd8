// Where touches go on a desktop of several monitors: the monitor chosen by
// its device name, and the point on it in the units of mouse input that
// spans the whole virtual desktop.
#pragma once

#include <string>

#include "mapping/calib_mapper.h"
#include "platform/monitors.h"

namespace zt {

struct MonitorChoice {
  MonitorInfo monitor;
  bool named = false;  // false: a monitor was named and is not there
};

// The monitor of that device name; when the name is empty or names no
// monitor there, the primary one (or the first, when none says it is
// primary). Without any monitor: a monitor the size of the virtual desktop.
MonitorChoice ChooseMonitor(const DesktopLayout& layout, const std::string& deviceName);

// The pixel of the virtual desktop that a point in absolute units over the
// monitor (0..65535 each way) lies on.
IntPoint MonitorPixel(const PixelRect& monitor, std::int32_t ax, std::int32_t ay);

// Turns a point in absolute units over the monitor (0..65535 each way, 16
// to a screen-scale step) into absolute units over the virtual desktop: the
// point lands on the monitor's pixel that the same units give on a desktop
// of that one monitor, shifted to where the monitor lies. An empty desktop
// leaves the point as it is.
IntPoint ToVirtualDesk(const PixelRect& monitor, const PixelRect& desk, std::int32_t ax,
                       std::int32_t ay);

}  // namespace zt
