#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "calibration/calib_mapper.h"

namespace zt {
namespace {

CalibPoints SwappedDefaults() {
  CalibPoints points{};
  for (std::size_t i = 0; i < points.size(); ++i) {
    points[i] = {kDefaultCalibPoints[i].y, kDefaultCalibPoints[i].x};
  }
  return points;
}

std::vector<IntPoint> RawGrid() {
  std::vector<IntPoint> raws;
  for (int x = 0; x <= 4095; x += 273) {
    for (int y = 0; y <= 4095; y += 315) {
      raws.push_back({x, y});
    }
  }
  return raws;
}

std::vector<IntPoint> MapAll(const CalibPoints& points, const std::vector<IntPoint>& raws) {
  CGridMapper mapper;
  mapper.ReplacePoints(points);
  std::vector<IntPoint> results;
  for (const IntPoint& raw : raws) {
    results.push_back(mapper.MapPoint(raw.x, raw.y));
  }
  return results;
}

// The user-interface thread replaces the calibration over and over while a
// reader maps: every touch must come out as the old set or the new set maps
// it. The two sets differ in their swap flag, so a touch mapped with new
// points and the old flag (or half of the points) gives a third result.
TEST(CalibMapperConcurrencyTest, EveryTouchIsMappedWithTheOldOrTheNewSet) {
  const CalibPoints upright = kDefaultCalibPoints;
  const CalibPoints swapped = SwappedDefaults();
  const std::vector<IntPoint> raws = RawGrid();
  const std::vector<IntPoint> uprightResults = MapAll(upright, raws);
  const std::vector<IntPoint> swappedResults = MapAll(swapped, raws);

  CGridMapper live;
  live.ReplacePoints(upright);
  std::atomic<bool> replacing{true};
  std::atomic<int> mixtures{0};
  std::atomic<long> touches{0};

  std::thread reader([&] {
    // At least one full pass even if the writer finishes first.
    bool lastPass = false;
    while (!lastPass) {
      lastPass = !replacing.load();
      for (std::size_t i = 0; i < raws.size(); ++i) {
        const IntPoint result = live.MapPoint(raws[i].x, raws[i].y);
        if (!(result == uprightResults[i]) && !(result == swappedResults[i])) {
          mixtures.fetch_add(1);
        }
        touches.fetch_add(1);
      }
    }
  });

  for (int round = 0; round < 20000; ++round) {
    live.ReplacePoints(round % 2 == 0 ? swapped : upright);
  }
  replacing.store(false);
  reader.join();

  EXPECT_EQ(mixtures.load(), 0);
  EXPECT_GE(touches.load(), static_cast<long>(raws.size()));
}

}  // namespace
}  // namespace zt
