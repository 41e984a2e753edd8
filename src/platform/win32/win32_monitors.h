#pragma once

#include "platform/monitors.h"

namespace zt {

// EnumDisplayMonitors and GetMonitorInfo, in physical pixels when the
// program is aware of each monitor's DPI.
class Win32Monitors final : public IMonitors {
public:
  DesktopLayout Layout() override;
};

}  // namespace zt
