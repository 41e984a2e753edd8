#pragma once

#include <cstdint>

namespace zt::touchsim {

// A position on the panel's raw scale. Reports carry each axis as an
// unsigned 16-bit field; a working panel stays within 0..4095.
struct PanelPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;

  bool operator==(const PanelPoint&) const = default;
};

inline constexpr std::int32_t kRawMax = 4095;
inline constexpr std::int32_t kFieldMax = 65535;

// How the simulated panel is made and mounted: turns the point a script
// means into the point the panel reports. In order: bow the grid lines (a
// line of the other axis bends by bow raw units at its middle, none at its
// ends: x + bow (1 - (2y/4095 - 1)^2), and so for y), swap the axes, mirror
// the reported axes (v becomes 4095 - v), add the offset, and keep the
// result within the report's 16-bit field.
struct PanelTransform {
  bool swapAxes = false;
  bool mirrorX = false;
  bool mirrorY = false;
  std::int32_t offsetX = 0;
  std::int32_t offsetY = 0;
  std::int32_t bow = 0;

  PanelPoint Apply(PanelPoint intended) const;
};

}  // namespace zt::touchsim
