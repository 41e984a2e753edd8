// Maps arbitrary raw points through arbitrary calibrations and checks that
// every result lies on the screen scale. Input: nine calibration points and
// one raw point, each coordinate four little-endian bytes; missing bytes
// read as zero.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "mapping/calib_mapper.h"

namespace {

// The next four bytes as a little-endian int; past the end they read as 0.
std::int32_t NextInt(const std::uint8_t* data, std::size_t size, std::size_t& offset) {
  std::uint32_t bits = 0;
  for (int shift = 0; shift < 32; shift += 8, ++offset) {
    bits |= std::uint32_t{offset < size ? data[offset] : std::uint8_t{0}} << shift;
  }
  return static_cast<std::int32_t>(bits);
}

void CheckOnScreen(const zt::IntPoint& point) {
  if (point.x < 0 || point.x > zt::kScaleMax || point.y < 0 || point.y > zt::kScaleMax) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::size_t offset = 0;
  zt::CalibPoints points{};
  for (zt::IntPoint& point : points) {
    point.x = NextInt(data, size, offset);
    point.y = NextInt(data, size, offset);
  }
  const std::int32_t rawX = NextInt(data, size, offset);
  const std::int32_t rawY = NextInt(data, size, offset);

  zt::CGridMapper mapper;
  mapper.ReplacePoints(points);
  CheckOnScreen(mapper.MapPoint(rawX, rawY));
  // As the engine passes it: limited to the controller's 12-bit scale.
  CheckOnScreen(mapper.MapPoint(std::clamp(rawX, 0, 4095), std::clamp(rawY, 0, 4095)));
  return 0;
}
