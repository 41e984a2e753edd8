#include "panel_transform.h"

#include <algorithm>

namespace zt::touchsim {
namespace {

std::int32_t FitField(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, 0, kFieldMax));
}

}  // namespace

PanelPoint PanelTransform::Apply(PanelPoint intended) const {
  std::int64_t x = swapAxes ? intended.y : intended.x;
  std::int64_t y = swapAxes ? intended.x : intended.y;
  if (mirrorX) {
    x = kRawMax - x;
  }
  if (mirrorY) {
    y = kRawMax - y;
  }
  return {FitField(x + offsetX), FitField(y + offsetY)};
}

}  // namespace zt::touchsim
