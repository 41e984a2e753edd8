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

class Reader {
public:
  Reader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

  std::int32_t NextInt() {
    std::uint32_t bits = 0;
    for (int shift = 0; shift < 32; shift += 8) {
      const std::uint32_t byte = m_offset < m_size ? m_data[m_offset] : 0;
      bits |= byte << shift;
      ++m_offset;
    }
    return static_cast<std::int32_t>(bits);
  }

private:
  const std::uint8_t* m_data;
  std::size_t m_size;
  std::size_t m_offset = 0;
};

void CheckOnScreen(const zt::IntPoint& point) {
  if (point.x < 0 || point.x > zt::kScaleMax || point.y < 0 || point.y > zt::kScaleMax) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Reader reader(data, size);
  zt::CalibPoints points{};
  for (zt::IntPoint& point : points) {
    point.x = reader.NextInt();
    point.y = reader.NextInt();
  }
  const std::int32_t rawX = reader.NextInt();
  const std::int32_t rawY = reader.NextInt();

  zt::CGridMapper mapper;
  mapper.ReplacePoints(points);
  CheckOnScreen(mapper.MapPoint(rawX, rawY));
  // As the engine passes it: limited to the controller's 12-bit scale.
  CheckOnScreen(mapper.MapPoint(std::clamp(rawX, 0, 4095), std::clamp(rawY, 0, 4095)));
  return 0;
}
