#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zt {

// A rectangle of virtual-desktop pixels; right and bottom lie just outside.
struct PixelRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;

  std::int32_t Width() const { return right - left; }
  std::int32_t Height() const { return bottom - top; }
  bool IsEmpty() const { return Width() <= 0 || Height() <= 0; }
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

struct MonitorInfo {
  std::string deviceName;  // the GDI device name, such as \\.\DISPLAY2
  PixelRect rect;
  PixelRect work;  // without the taskbar and other docked bars
  bool primary = false;
};

struct DesktopLayout {
  std::vector<MonitorInfo> monitors;
  PixelRect virtualDesk;  // the rectangle round every monitor
};

// The monitors as the system has them now.
class IMonitors {
public:
  virtual ~IMonitors() = default;
  virtual DesktopLayout Layout() = 0;
};

}  // namespace zt
