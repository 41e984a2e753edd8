#include "mapping/desktop_mapping.h"

#include <algorithm>

namespace zt {
namespace {

constexpr std::int64_t kAbsoluteRange = 65536;

// The pixel of a span that absolute units give, as the system turns them
// into a pixel of one monitor.
std::int64_t PixelOf(std::int32_t units, std::int32_t start, std::int32_t length) {
  return start + std::clamp<std::int64_t>(units, 0, kAbsoluteRange - 1) * length / kAbsoluteRange;
}

// The pixel that absolute units give on the monitor, then the fewest units
// over the desk that reach it: whether the system truncates or rounds them
// back into a pixel, it is that one, as a desk is narrower than half the
// units.
std::int32_t Axis(std::int32_t units, std::int32_t start, std::int32_t length,
                  std::int32_t deskStart, std::int32_t deskLength) {
  const std::int64_t pixel = PixelOf(units, start, length);
  const std::int64_t onDesk = std::clamp<std::int64_t>(pixel - deskStart, 0, deskLength - 1);
  return static_cast<std::int32_t>((onDesk * kAbsoluteRange + deskLength - 1) / deskLength);
}

}  // namespace

MonitorChoice ChooseMonitor(const DesktopLayout& layout, const std::string& deviceName) {
  const auto& monitors = layout.monitors;
  const auto named = std::find_if(monitors.begin(), monitors.end(), [&](const MonitorInfo& m) {
    return !deviceName.empty() && m.deviceName == deviceName;
  });
  if (named != monitors.end()) {
    return {*named, true};
  }
  const auto primary = std::find_if(monitors.begin(), monitors.end(),
                                    [](const MonitorInfo& m) { return m.primary; });
  if (primary != monitors.end()) {
    return {*primary, deviceName.empty()};
  }
  if (!monitors.empty()) {
    return {monitors.front(), deviceName.empty()};
  }
  return {MonitorInfo{"", layout.virtualDesk, layout.virtualDesk, true}, deviceName.empty()};
}

IntPoint MonitorPixel(const PixelRect& monitor, std::int32_t ax, std::int32_t ay) {
  return {static_cast<std::int32_t>(PixelOf(ax, monitor.left, monitor.Width())),
          static_cast<std::int32_t>(PixelOf(ay, monitor.top, monitor.Height()))};
}

IntPoint ToVirtualDesk(const PixelRect& monitor, const PixelRect& desk, std::int32_t ax,
                       std::int32_t ay) {
  if (desk.IsEmpty() || monitor.IsEmpty()) {
    return {ax, ay};
  }
  return {Axis(ax, monitor.left, monitor.Width(), desk.left, desk.Width()),
          Axis(ay, monitor.top, monitor.Height(), desk.top, desk.Height())};
}

}  // namespace zt
