#pragma once

#include <array>
#include <mutex>
#include <optional>

#include "mapping/calib_mapper.h"

namespace zt {

// "Mapping": how raw points become screen points. Any other value acts as
// the grid mapping.
inline constexpr std::int32_t kMappingGrid = 0;
inline constexpr std::int32_t kMappingPrecise = 1;

// The precise mapping: per screen axis a tensor-product quadratic of the raw
// point (the nine terms 1, u, v, u², uv, v², u²v, uv², u²v² of the raw
// coordinates scaled to 0..1) that passes through the nine calibration
// points exactly. It follows panels whose grid lines bow, whose scale
// drifts, or that sit rotated or keystoned, in any mounting, with no
// orientation rule. Like the grid mapper it may be replaced while a reader
// thread maps: the new set swaps in whole.
class CPreciseMapper {
public:
  // Solves the system for points once. False (and no mapping) when the
  // points give a singular or badly conditioned system: the caller maps
  // with the grid then.
  bool ReplacePoints(const CalibPoints& points);
  bool IsUsable() const;
  // The screen-scale point, limited to 0..4095; nothing while the points
  // in effect are not usable.
  std::optional<IntPoint> MapPoint(int rawX, int rawY) const;

private:
  using Coefficients = std::array<double, 9>;  // one for each term

  mutable std::mutex m_lock;
  bool m_usable = false;
  Coefficients m_x{};
  Coefficients m_y{};
};

}  // namespace zt
