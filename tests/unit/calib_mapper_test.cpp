#include "calibration/calib_mapper.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <limits>
#include <ostream>
#include <string>

namespace zt {

void PrintTo(const IntPoint& point, std::ostream* out) {
  *out << "(" << point.x << ", " << point.y << ")";
}

namespace {

using Transform = std::function<IntPoint(IntPoint)>;

CalibPoints TransformedDefaults(const Transform& transform) {
  CalibPoints points{};
  for (std::size_t i = 0; i < points.size(); ++i) {
    points[i] = transform(kDefaultCalibPoints[i]);
  }
  return points;
}

void Load(CGridMapper& mapper, const CalibPoints& points) {
  mapper.ReplacePoints(points);
}

struct MapCase {
  IntPoint raw;
  IntPoint expected;
};

void ExpectMaps(const CGridMapper& mapper, const std::vector<MapCase>& cases) {
  for (const MapCase& c : cases) {
    EXPECT_EQ(mapper.MapPoint(c.raw.x, c.raw.y), c.expected)
        << "raw (" << c.raw.x << ", " << c.raw.y << ")";
  }
}

TEST(CalibMapperTest, BaseConstructionSetsTheFourCornersOnly) {
  const CCalibMapper mapper;
  const CalibPoints points = mapper.Points();
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(points[i], kDefaultCalibPoints[i]) << i;
  }
  for (std::size_t i = 4; i < points.size(); ++i) {
    EXPECT_EQ(points[i], (IntPoint{0, 0})) << i;
  }
  EXPECT_EQ(mapper.SwapXY(), 0);
}

TEST(CalibMapperTest, BaseSetDefaultsWritesCornersAndKeepsTheFlag) {
  CCalibMapper mapper;
  CalibPoints swapped{};
  swapped.fill({1000, 1000});
  swapped[1] = {1000, 3000};
  mapper.ReplacePoints(swapped);
  ASSERT_EQ(mapper.SwapXY(), 1);

  mapper.SetDefaults();
  const CalibPoints points = mapper.Points();
  EXPECT_EQ(points[0], kDefaultCalibPoints[0]);
  EXPECT_EQ(points[3], kDefaultCalibPoints[3]);
  EXPECT_EQ(points[4], (IntPoint{1000, 1000}));
  EXPECT_EQ(mapper.SwapXY(), 1);
}

TEST(CalibMapperTest, GridSetDefaultsWritesAllNineAndKeepsTheFlag) {
  CGridMapper mapper;
  CalibPoints swapped{};
  swapped.fill({1000, 1000});
  swapped[1] = {1000, 3000};
  mapper.ReplacePoints(swapped);

  mapper.SetDefaults();
  EXPECT_EQ(mapper.Points(), kDefaultCalibPoints);
  EXPECT_EQ(mapper.SwapXY(), 1);
  mapper.UpdateOrientation();
  EXPECT_EQ(mapper.SwapXY(), 0);
}

TEST(CalibMapperTest, ClampLimitsToTheRange) {
  const CGridMapper mapper;
  EXPECT_EQ(mapper.Clamp(5000, 0, 4095), 4095);
  EXPECT_EQ(mapper.Clamp(-1, 0, 4095), 0);
  EXPECT_EQ(mapper.Clamp(17, 0, 4095), 17);
  EXPECT_EQ(mapper.Clamp(4095, 0, 4095), 4095);
  // hi is tested first.
  EXPECT_EQ(mapper.Clamp(5, 10, 0), 0);
}

struct OrientationCase {
  IntPoint p0;
  IntPoint p1;
  std::int32_t swap;
};

TEST(CalibMapperTest, UpdateOrientationSwapsOnlyWhenYDiffersMore) {
  const OrientationCase cases[] = {
      {{205, 205}, {3891, 205}, 0},
      {{205, 205}, {205, 3891}, 1},
      {{100, 100}, {200, 200}, 0},  // equal differences stay unswapped
      {{100, 100}, {200, 201}, 1},
      {{std::numeric_limits<std::int32_t>::min(), 0},
       {std::numeric_limits<std::int32_t>::max(), 0},
       0},
      {{0, std::numeric_limits<std::int32_t>::min()},
       {0, std::numeric_limits<std::int32_t>::max()},
       1},
  };
  for (const OrientationCase& c : cases) {
    CGridMapper mapper;
    mapper.SetDefaults();
    CalibPoints points = mapper.Points();
    points[0] = c.p0;
    points[1] = c.p1;
    mapper.SetPoints(points);
    mapper.UpdateOrientation();
    EXPECT_EQ(mapper.SwapXY(), c.swap) << c.p0.x << "," << c.p0.y << " " << c.p1.x << "," << c.p1.y;
  }
}

TEST(CalibMapperTest, SetPointsLeavesTheFlagUntilUpdateOrientation) {
  CGridMapper mapper;
  CalibPoints points = kDefaultCalibPoints;
  points[1] = {205, 3891};
  mapper.SetPoints(points);
  EXPECT_EQ(mapper.SwapXY(), 0);
  mapper.UpdateOrientation();
  EXPECT_EQ(mapper.SwapXY(), 1);
}

TEST(LimitedWeightTest, LimitsToTheOpenUnitRange) {
  struct WeightCase {
    std::int64_t numerator;
    std::int64_t denominator;
    double expected;
  };
  const WeightCase cases[] = {
      {5, 10, 0.5},        {0, 10, 0.0000001},  {-3, 10, 0.0000001},
      {10, 10, 0.9999999}, {11, 10, 0.9999999}, {1, 0, 0.9999999},
      {0, 0, 0.0000001},   {-1, 0, 0.0000001},  {204, 2047, 204.0 / 2047.0},
  };
  for (const WeightCase& c : cases) {
    EXPECT_EQ(LimitedWeight(c.numerator, c.denominator), c.expected)
        << c.numerator << "/" << c.denominator;
  }
}

class GridMapperTest : public ::testing::Test {
protected:
  GridMapperTest() { mapper.ReplacePoints(kDefaultCalibPoints); }

  CGridMapper mapper;
};

TEST_F(GridMapperTest, DefaultsAreTheIdentityWithinOneUnit) {
  ExpectMaps(mapper, {
                         {{205, 205}, {204, 204}},
                         {{3891, 205}, {3892, 204}},
                         {{3891, 3891}, {3892, 3892}},
                         {{205, 3891}, {204, 3892}},
                         {{2048, 205}, {2048, 204}},
                         {{205, 2048}, {204, 2048}},
                         {{2048, 2048}, {2048, 2048}},
                         {{1000, 1000}, {999, 999}},
                         {{3000, 3000}, {3001, 3001}},
                         {{0, 0}, {0, 0}},
                         {{4095, 4095}, {4095, 4095}},
                     });
}

TEST_F(GridMapperTest, CentreRowIsDecidedByTheInnerLine) {
  CalibPoints points = kDefaultCalibPoints;
  points[7] = {305, 2048};
  Load(mapper, points);
  EXPECT_EQ(mapper.MapPoint(305, 2048).x, 204);
  EXPECT_EQ(mapper.MapPoint(100, 2048).x, 0);
}

TEST_F(GridMapperTest, MirroredPanel) {
  Load(mapper, TransformedDefaults([](IntPoint p) { return IntPoint{4095 - p.x, 4095 - p.y}; }));
  EXPECT_EQ(mapper.SwapXY(), 0);
  ExpectMaps(mapper, {
                         {{3890, 3890}, {204, 204}},
                         {{205, 205}, {3891, 3891}},
                     });
}

TEST_F(GridMapperTest, SwappedPanel) {
  Load(mapper, TransformedDefaults([](IntPoint p) { return IntPoint{p.y, p.x}; }));
  EXPECT_EQ(mapper.SwapXY(), 1);
  ExpectMaps(mapper, {
                         {{205, 3891}, {3892, 204}},
                         {{1000, 3000}, {3001, 999}},
                     });
}

TEST_F(GridMapperTest, QuarterTurnedPanelIsNotMapped) {
  Load(mapper, TransformedDefaults([](IntPoint p) { return IntPoint{4095 - p.y, p.x}; }));
  EXPECT_EQ(mapper.SwapXY(), 1);
  EXPECT_EQ(mapper.Points()[0], (IntPoint{3890, 205}));
  ExpectMaps(mapper, {
                         {{3890, 205}, {0, 0}},
                         {{2048, 2048}, {0, 0}},
                         {{0, 0}, {0, 0}},
                         {{4095, 4095}, {0, 0}},
                     });
}

TEST_F(GridMapperTest, OtherQuarterTurnIsNotMappedEither) {
  Load(mapper, TransformedDefaults([](IntPoint p) { return IntPoint{p.y, 4095 - p.x}; }));
  EXPECT_EQ(mapper.SwapXY(), 1);
  ExpectMaps(mapper, {
                         {{205, 3890}, {0, 0}},
                         {{1000, 1000}, {0, 0}},
                     });
}

TEST_F(GridMapperTest, AllPointsEqualGiveZeroSpans) {
  CalibPoints points{};
  points.fill({1000, 1000});
  Load(mapper, points);
  ExpectMaps(mapper, {
                         {{0, 0}, {0, 0}},
                         {{1000, 1000}, {0, 0}},
                         {{3000, 500}, {0, 0}},
                         {{4095, 4095}, {0, 0}},
                     });
}

TEST_F(GridMapperTest, ZeroYSpanStillGivesX) {
  // Every point on one raw row: X lines are sound, Y lines have no span.
  CalibPoints points = kDefaultCalibPoints;
  for (IntPoint& point : points) {
    point.y = 2048;
  }
  Load(mapper, points);
  EXPECT_EQ(mapper.MapPoint(1000, 2048), (IntPoint{999, 0}));
}

TEST_F(GridMapperTest, ZeroWeightDenominatorTakesTheLowLimitForANegativeNumerator) {
  // Points 0 and 8 share their raw Y, so the top-left X weight has no
  // length; the touch lies above them, so the weight is 0.0000001 and the
  // outer projection 999 decides (999 * 0.9999999 + 939 * 0.0000001).
  // Point 4 shares that Y too, so the inner Y line is degenerate.
  CalibPoints points = kDefaultCalibPoints;
  points[7] = {305, 2048};
  points[8] = {2048, 205};
  Load(mapper, points);
  EXPECT_EQ(mapper.MapPoint(1000, 100), (IntPoint{998, 0}));
}

TEST_F(GridMapperTest, TiesWithTheCentreGoToTheRightHalf) {
  // With point 4 left of the centre point the two halves give different X
  // on the centre column: 2091 on the right, 2092 on the left.
  CalibPoints points = kDefaultCalibPoints;
  points[4] = {2000, 205};
  Load(mapper, points);
  EXPECT_EQ(mapper.MapPoint(2048, 205), (IntPoint{2091, 204}));
}

TEST_F(GridMapperTest, TiesWithTheCentreGoToTheBottomHalf) {
  CalibPoints points = kDefaultCalibPoints;
  points[7] = {205, 2000};
  Load(mapper, points);
  EXPECT_EQ(mapper.MapPoint(205, 2048), (IntPoint{204, 2091}));
}

TEST_F(GridMapperTest, TopLeftReadingOf2048CountsAsTheHighHalf) {
  // x0 = 2047: raw X grows rightward as usual.
  CalibPoints points = kDefaultCalibPoints;
  points[0] = {2047, 205};
  Load(mapper, points);
  EXPECT_EQ(mapper.MapPoint(3000, 3000), (IntPoint{3001, 3001}));

  // x0 = 2048: raw X is taken to grow leftward, so the touch lands in the
  // bottom-left quadrant.
  points[0] = {2048, 205};
  Load(mapper, points);
  EXPECT_EQ(mapper.SwapXY(), 0);
  EXPECT_EQ(mapper.MapPoint(3000, 3000), (IntPoint{3237, 3001}));
}

TEST_F(GridMapperTest, LeftwardXDownwardYTakesTheWeightBaseFromTheNeighbours) {
  // Mirrored in X, with points 4 and 5 moved so that the outer and inner
  // lines of the top-right quadrant disagree and the neighbours of corner 1
  // no longer share its coordinates. Raw (1000, 1000) lies in that quadrant.
  // X: outer 1000, inner 940, weight (695 + 193) / 1936 from point 4's Y,
  //    q = 972, X = 4096 - 972 (the corner as base would give 3127).
  // Y: outer 999, inner 939, weight (696 + 193) / 1936 from point 5's X,
  //    Y = 971 (the corner as base would give 968).
  CalibPoints points = TransformedDefaults([](IntPoint p) { return IntPoint{4095 - p.x, p.y}; });
  points[4] = {2047, 305};
  points[5] = {304, 2048};
  Load(mapper, points);
  ASSERT_EQ(mapper.SwapXY(), 0);
  EXPECT_EQ(mapper.MapPoint(1000, 1000), (IntPoint{3124, 971}));
}

// Six ways to mount the panel: the raw reading at screen-scale point p.
struct MountCase {
  std::string name;
  Transform mount;
};

void PrintTo(const MountCase& mount, std::ostream* out) {
  *out << mount.name;
}

class MountTest : public ::testing::TestWithParam<MountCase> {};

TEST_P(MountTest, MapsBackToTheUnmountedResultWithinTwoUnits) {
  CGridMapper reference;
  reference.ReplacePoints(kDefaultCalibPoints);
  CGridMapper mounted;
  mounted.ReplacePoints(TransformedDefaults(GetParam().mount));

  for (int x = 0; x <= 4095; x += 91) {
    for (int y = 0; y <= 4095; y += 91) {
      const IntPoint expected = reference.MapPoint(x, y);
      const IntPoint raw = GetParam().mount({x, y});
      const IntPoint actual = mounted.MapPoint(raw.x, raw.y);
      ASSERT_LE(std::abs(actual.x - expected.x), 2) << "screen (" << x << ", " << y << ")";
      ASSERT_LE(std::abs(actual.y - expected.y), 2) << "screen (" << x << ", " << y << ")";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(SixOrientations, MountTest,
                         ::testing::Values(MountCase{"Upright", [](IntPoint p) { return p; }},
                                           MountCase{"MirroredX",
                                                     [](IntPoint p) {
                                                       return IntPoint{4095 - p.x, p.y};
                                                     }},
                                           MountCase{"MirroredY",
                                                     [](IntPoint p) {
                                                       return IntPoint{p.x, 4095 - p.y};
                                                     }},
                                           MountCase{"MirroredBoth",
                                                     [](IntPoint p) {
                                                       return IntPoint{4095 - p.x, 4095 - p.y};
                                                     }},
                                           MountCase{"Swapped",
                                                     [](IntPoint p) {
                                                       return IntPoint{p.y, p.x};
                                                     }},
                                           MountCase{"SwappedMirrored",
                                                     [](IntPoint p) {
                                                       return IntPoint{4095 - p.y, 4095 - p.x};
                                                     }}),
                         [](const ::testing::TestParamInfo<MountCase>& info) {
                           return info.param.name;
                         });

TEST(GridMapperExtremesTest, ExtremePointsStayInRange) {
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  CGridMapper mapper;
  CalibPoints points = kDefaultCalibPoints;
  points[0] = {kMin, kMin};
  points[2] = {kMax, kMax};
  points[4] = {kMax, kMin};
  points[8] = {kMin, kMax};
  mapper.ReplacePoints(points);
  const int raws[] = {kMin, -1, 0, 2048, 4095, kMax};
  for (int x : raws) {
    for (int y : raws) {
      const IntPoint result = mapper.MapPoint(x, y);
      EXPECT_GE(result.x, 0);
      EXPECT_LE(result.x, 4095);
      EXPECT_GE(result.y, 0);
      EXPECT_LE(result.y, 4095);
    }
  }
}

}  // namespace
}  // namespace zt
