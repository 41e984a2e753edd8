#include "panel_transform.h"

#include <algorithm>
#include <cmath>

namespace zt::touchsim {
namespace {

std::int32_t FitField(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, 0, kFieldMax));
}

// The bend of a grid line at position t of the other axis.
std::int64_t Bend(std::int32_t bow, std::int32_t t) {
  const double across = 2.0 * t / kRawMax - 1.0;
  return std::lround(bow * (1.0 - across * across));
}

}  // namespace

PanelPoint PanelTransform::Apply(PanelPoint intended) const {
  const std::int64_t bentX = intended.x + Bend(bow, intended.y);
  const std::int64_t bentY = intended.y + Bend(bow, intended.x);
  std::int64_t x = swapAxes ? bentY : bentX;
  std::int64_t y = swapAxes ? bentX : bentY;
  if (mirrorX) {
    x = kRawMax - x;
  }
  if (mirrorY) {
    y = kRawMax - y;
  }
  return {FitField(x + offsetX), FitField(y + offsetY)};
}

}  // namespace zt::touchsim
