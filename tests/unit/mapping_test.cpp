// The calibration maths: the grid mapper's numbers and orientations, the
// precise mapper, the check, the monitor, the nine-target procedure and
// the run. (A set replaced while a reader maps: the engine's tests.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "mapping/calib_mapper.h"
#include "mapping/calibration_check.h"
#include "mapping/calibration_procedure.h"
#include "mapping/calibration_run.h"
#include "mapping/desktop_mapping.h"
#include "mapping/precise_mapper.h"

namespace zt {
void PrintTo(const IntPoint& point, std::ostream* out) {
  *out << "(" << point.x << ", " << point.y << ")";
}
namespace {

using Outcome = CCalibrationProcedure::Outcome;
using Ending = CCalibrationRun::Ending;
using State = CCalibrationRun::State;

// A way to mount a panel: the raw reading at screen-scale point p has its
// axes swapped first, then mirrored.
struct Mount {
  const char* name;
  bool swap, mirrorX, mirrorY;
  IntPoint operator()(IntPoint p) const {
    const IntPoint q = swap ? IntPoint{p.y, p.x} : p;
    return {mirrorX ? 4095 - q.x : q.x, mirrorY ? 4095 - q.y : q.y};
  }
};
const Mount kMountings[] = {
    {"upright", false, false, false},    {"mirrored x", false, true, false},
    {"mirrored y", false, false, true},  {"mirrored xy", false, true, true},
    {"swapped", true, false, false},     {"swapped mirrored", true, true, true},
    {"quarter turn", true, true, false}, {"other quarter turn", true, false, true}};

CalibPoints Mounted(const Mount& mount) {
  CalibPoints points{};
  for (std::size_t i = 0; i < points.size(); ++i) {
    points[i] = mount(kDefaultCalibPoints[i]);
  }
  return points;
}

CalibPoints WithPoints(std::initializer_list<std::pair<int, IntPoint>> changes) {
  CalibPoints points = kDefaultCalibPoints;
  for (const auto& [index, point] : changes) {
    points[static_cast<std::size_t>(index)] = point;
  }
  return points;
}

TEST(GridMapperTest, MapsTheseRawPointsToTheseScreenPoints) {
  struct Row {
    const char* why;
    CalibPoints points;
    IntPoint raw, expected;
  };
  CalibPoints allEqual{};
  allEqual.fill({1000, 1000});
  CalibPoints oneRow = kDefaultCalibPoints;
  for (IntPoint& point : oneRow) {
    point.y = 2048;
  }
  // Mirrored in X, with 4 and 5 moved so that the outer and inner lines of
  // the top-right quadrant disagree and corner 1's neighbours no longer
  // share its coordinates: the weights take their base from the neighbours
  // (the corner as base would give (3127, 968)).
  CalibPoints neighbours = Mounted(kMountings[1]);
  neighbours[4] = {2047, 305};
  neighbours[5] = {304, 2048};
  const Row rows[] = {
      {"default corner", kDefaultCalibPoints, {205, 205}, {204, 204}},
      {"default far corner", kDefaultCalibPoints, {3891, 3891}, {3892, 3892}},
      {"default centre", kDefaultCalibPoints, {2048, 2048}, {2048, 2048}},
      {"default inside", kDefaultCalibPoints, {3000, 3000}, {3001, 3001}},
      {"default edges", kDefaultCalibPoints, {0, 4095}, {0, 4095}},
      {"inner line decides", WithPoints({{7, {305, 2048}}}), {305, 2048}, {204, 2048}},
      {"left of the inner line", WithPoints({{7, {305, 2048}}}), {100, 2048}, {0, 2048}},
      {"ties go right", WithPoints({{4, {2000, 205}}}), {2048, 205}, {2091, 204}},
      {"ties go down", WithPoints({{7, {205, 2000}}}), {205, 2048}, {204, 2091}},
      {"X 2047 grows rightward", WithPoints({{0, {2047, 205}}}), {3000, 3000}, {3001, 3001}},
      {"X 2048 grows leftward", WithPoints({{0, {2048, 205}}}), {3000, 3000}, {3237, 3001}},
      // No weight length and a negative numerator: the low limit.
      {"zero length", WithPoints({{7, {305, 2048}}, {8, {2048, 205}}}), {1000, 100}, {998, 0}},
      {"weights based on the neighbours", neighbours, {1000, 1000}, {3124, 971}},
      {"all points equal", allEqual, {3000, 500}, {0, 0}},
      {"no Y span still gives X", oneRow, {1000, 2048}, {999, 0}},
  };
  for (const Row& row : rows) {
    CGridMapper mapper;
    mapper.ReplacePoints(row.points);
    EXPECT_EQ(mapper.MapPoint(row.raw.x, row.raw.y), row.expected) << row.why;
  }
}

TEST(GridMapperTest, EveryMountingMapsBackWithinTwoUnits) {
  CGridMapper reference;
  reference.ReplacePoints(kDefaultCalibPoints);
  for (const Mount& mount : kMountings) {
    SCOPED_TRACE(mount.name);
    CGridMapper mounted;
    mounted.ReplacePoints(Mounted(mount));
    EXPECT_EQ(mounted.SwapXY(), mount.swap ? 1 : 0);
    for (int x = 0; x <= 4095; x += 91) {
      for (int y = 0; y <= 4095; y += 91) {
        const IntPoint expected = reference.MapPoint(x, y);
        const IntPoint raw = mount({x, y});
        const IntPoint actual = mounted.MapPoint(raw.x, raw.y);
        ASSERT_LE(std::abs(actual.x - expected.x), 2) << x << "," << y;
        ASSERT_LE(std::abs(actual.y - expected.y), 2) << x << "," << y;
      }
    }
  }
}

TEST(GridMapperTest, OrientationAndTheWeightsLimits) {
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  const std::pair<std::pair<IntPoint, IntPoint>, std::int32_t> orientations[] = {
      {{{100, 100}, {200, 200}}, 0},  // equal differences stay unswapped
      {{{100, 100}, {200, 201}}, 1},
      {{{kMin, 0}, {kMax, 0}}, 0},
      {{{0, kMin}, {0, kMax}}, 1},
  };
  for (const auto& [corners, swap] : orientations) {
    CGridMapper mapper;
    mapper.SetPoints(WithPoints({{0, corners.first}, {1, corners.second}}));
    EXPECT_EQ(mapper.SwapXY(), 0);  // SetPoints leaves the flag alone
    mapper.UpdateOrientation();
    EXPECT_EQ(mapper.SwapXY(), swap) << corners.second.y;
  }
  // The weight stays inside (0, 1), also for a touch on the outer line or
  // beyond it and for a span of nothing.
  const std::pair<std::int64_t, std::int64_t> weights[] = {{5, 0},  {0, 0},  {-5, 0}, {9, 9},
                                                           {10, 9}, {-1, 9}, {0, 9}};
  for (const auto& [numerator, denominator] : weights) {
    EXPECT_GT(LimitedWeight(numerator, denominator), 0.0) << numerator << "/" << denominator;
    EXPECT_LT(LimitedWeight(numerator, denominator), 1.0) << numerator << "/" << denominator;
  }
  EXPECT_EQ(LimitedWeight(1, 2), 0.5);
}

IntPoint Raw(double x, double y) {
  return {static_cast<std::int32_t>(std::lround(x)), static_cast<std::int32_t>(std::lround(y))};
}

// Panels as what they report where a finger touches a screen-scale point:
// each maps its own nine points within a unit and a 41 x 41 grid inside the
// targets within a pixel of a 1024 x 768 screen (4 units).
TEST(PreciseMapperTest, FollowsCurvedSkewedAndMountedPanels) {
  using Panel = std::function<IntPoint(double, double)>;
  const auto bow = [](double t) { return 61.0 * (1.0 - std::pow(2.0 * t / 4095.0 - 1.0, 2)); };
  const double turn = 3.14159265358979 / 180.0;  // one degree
  std::vector<std::pair<std::string, Panel>> panels = {
      {"linear", [](double x, double y) { return Raw(0.9 * x + 150, 0.85 * y + 200); }},
      {"bowed 1.5 %", [&](double x, double y) { return Raw(x + bow(y), y + bow(x)); }},
      {"scale drifting 2 %",
       [](double x, double y) {
         return Raw(x * (1 + 0.02 * (x / 4095 - 0.5)), y * (1 + 0.02 * (y / 4095 - 0.5)));
       }},
      {"keystoned",
       [](double x, double y) { return Raw(2048 + (x - 2048) * (0.97 + 0.06 * y / 4095), y); }},
      {"rotated 1 degree", [&](double x, double y) {
         return Raw(2048 + (x - 2048) * std::cos(turn) - (y - 2048) * std::sin(turn),
                    2048 + (x - 2048) * std::sin(turn) + (y - 2048) * std::cos(turn));
       }}};
  for (const Mount& mount : kMountings) {
    panels.push_back({mount.name, [&mount](double x, double y) { return mount(Raw(x, y)); }});
  }
  for (const auto& [name, panel] : panels) {
    SCOPED_TRACE(name);
    CalibPoints points{};
    for (std::size_t i = 0; i < points.size(); ++i) {
      points[i] = panel(kDefaultCalibPoints[i].x, kDefaultCalibPoints[i].y);
    }
    CPreciseMapper mapper;
    ASSERT_TRUE(mapper.ReplacePoints(points));
    for (std::size_t i = 0; i < points.size(); ++i) {
      const IntPoint mapped = mapper.MapPoint(points[i].x, points[i].y).value();
      ASSERT_LE(std::abs(mapped.x - kDefaultCalibPoints[i].x), 1) << i;
      ASSERT_LE(std::abs(mapped.y - kDefaultCalibPoints[i].y), 1) << i;
    }
    for (double x = 205; x <= 3891; x += (3891 - 205) / 40.0) {
      for (double y = 205; y <= 3891; y += (3891 - 205) / 40.0) {
        const IntPoint raw = panel(x, y);
        const IntPoint mapped = mapper.MapPoint(raw.x, raw.y).value();
        ASSERT_LE(std::fabs(mapped.x - x), 4) << x << "," << y;
        ASSERT_LE(std::fabs(mapped.y - y), 4) << x << "," << y;
      }
    }
  }
}

// Refused: all alike, the middle column read on the left one's line, the
// nine squeezed into 4 % of the panel (its condition just beyond the limit);
// 5 % is still taken.
TEST(PreciseMapperTest, RefusesPointsThatDoNotPinItDown) {
  const auto squeezed = [](double scale) {
    CalibPoints points = kDefaultCalibPoints;
    for (IntPoint& point : points) {
      point = Raw(2048 + scale * (point.x - 2048), 2048 + scale * (point.y - 2048));
    }
    return points;
  };
  const std::pair<CalibPoints, bool> sets[] = {
      {squeezed(0.0), false},
      {WithPoints({{4, {205, 205}}, {8, {205, 2048}}, {6, {205, 3891}}}), false},
      {squeezed(0.04), false},
      {squeezed(0.05), true}};
  for (const auto& [points, usable] : sets) {
    CPreciseMapper mapper;
    EXPECT_EQ(mapper.ReplacePoints(points), usable) << points[1].x;
    EXPECT_EQ(mapper.MapPoint(2048, 2048).has_value(), usable);
  }
}

// Check touches on a 1024 x 768 screen: the targets in their order; a
// touch more than a tenth of the width away is asked again once; the report
// measures each mapping and ticks the better one, the grid on a tie.
TEST(CalibrationCheckTest, FourTargetsAMisclickAskedOnceAndTheReport) {
  const auto bowed = [](IntPoint p) {
    return Raw(p.x + 61.0 * (1.0 - std::pow(2.0 * p.y / 4095.0 - 1.0, 2)), p.y);
  };
  const IntPoint targets[] = {{256, 192}, {768, 192}, {768, 576}, {256, 576}};
  const auto rawOf = [](IntPoint target) { return IntPoint{target.x * 4, target.y * 4096 / 768}; };
  for (int i = 0; i < kCheckTargetCount; ++i) {
    EXPECT_EQ(CheckTarget(i, 1024, 768), targets[i]);
  }
  const auto touch = [](CCalibrationCheck& check, IntPoint raw) {
    check.Touch().ButtonDown(raw);
    check.Touch().Evaluate();
    return check.TakeAccepted();
  };
  CalibPoints points = kDefaultCalibPoints;
  for (IntPoint& point : points) {
    point = bowed(point);
  }
  CCalibrationCheck check(points, 1024, 768);
  EXPECT_FALSE(touch(check, {3000, 3000}));  // far from the first target: asked again
  EXPECT_TRUE(touch(check, {3000, 3000}));   // once only
  EXPECT_EQ(check.Step(), 1);
  for (int i = 1; i < kCheckTargetCount; ++i) {
    EXPECT_TRUE(touch(check, bowed(rawOf(targets[i]))));
  }
  ASSERT_TRUE(check.Complete());
  CheckReport report = check.Report();
  EXPECT_NEAR(report.grid.largest, std::hypot(750 - 256, 562.5 - 192), 20);
  EXPECT_LT(report.precise.average - report.precise.largest / 4, 1);  // the rest land on target
  EXPECT_LT(report.precise.average, report.grid.average);
  EXPECT_EQ(report.better, kMappingPrecise);

  CCalibrationCheck slip(kDefaultCalibPoints, 1024, 768);
  EXPECT_TRUE(touch(slip, rawOf({256 + 90, 192})));  // beyond a tenth of the height only
  const CheckErrors worse{9.0, 2.0}, better{9.0, 1.0};
  EXPECT_EQ(BetterMapping(worse, worse, true), kMappingGrid);  // a tie
  EXPECT_EQ(BetterMapping(worse, better, false), kMappingGrid);
  EXPECT_EQ(BetterMapping(better, worse, true), kMappingGrid);
}

// Every screen-scale point lands on the chosen monitor's pixel that a
// desktop of that one monitor would give, for monitors on each side of the
// primary one (negative origins too), read back as the system does.
TEST(DesktopMappingTest, EveryPointLandsOnTheChosenMonitor) {
  const PixelRect primary{0, 0, 1024, 768};
  const PixelRect others[] = {{1024, 0, 1824, 600},
                              {-800, 0, 0, 600},
                              {0, -600, 800, 0},
                              {100, 768, 900, 1368},
                              {-1280, -200, 0, 824}};
  auto onDesk = [](std::int32_t units, std::int32_t start, std::int32_t length) {
    return start + static_cast<std::int32_t>(std::int64_t{units} * length / 65536);
  };
  for (const PixelRect& other : others) {
    const PixelRect desk{std::min(0, other.left), std::min(0, other.top),
                         std::max(1024, other.right), std::max(768, other.bottom)};
    for (const PixelRect& monitor : {primary, other}) {
      SCOPED_TRACE(std::to_string(monitor.left) + "," + std::to_string(monitor.top));
      for (std::int32_t scale = 0; scale <= kScaleMax; ++scale) {
        const IntPoint units = ToVirtualDesk(monitor, desk, scale * 16, scale * 16);
        ASSERT_EQ(onDesk(units.x, desk.left, desk.Width()),
                  monitor.left + scale * monitor.Width() / 4096)
            << scale;
        ASSERT_EQ(onDesk(units.y, desk.top, desk.Height()),
                  monitor.top + scale * monitor.Height() / 4096)
            << scale;
      }
    }
  }
  EXPECT_EQ(ToVirtualDesk({}, {}, 1234, 5678), (IntPoint{1234, 5678}));  // no layout yet
}

TEST(DesktopMappingTest, TheNamedMonitorOrThePrimaryOne) {
  const MonitorInfo first{"\\\\.\\DISPLAY1", {0, 0, 800, 600}, {}, false};
  const MonitorInfo primary{"\\\\.\\DISPLAY2", {800, 0, 1824, 768}, {}, true};
  const DesktopLayout layout{{first, primary}, {0, 0, 1824, 768}};
  struct Row {
    DesktopLayout layout;
    const char* name;
    PixelRect rect;
    bool named;
  };
  const Row rows[] = {
      {layout, "\\\\.\\DISPLAY1", first.rect, true},
      {layout, "", primary.rect, true},
      {layout, "\\\\.\\DISPLAY9", primary.rect, false},  // gone: the primary, and say so
      {{{first}, first.rect}, "\\\\.\\DISPLAY2", first.rect, false},  // none primary: the first
      {{{}, {-10, 0, 90, 50}}, "", {-10, 0, 90, 50}, true},           // none at all: the desk
  };
  for (const Row& row : rows) {
    const MonitorChoice choice = ChooseMonitor(row.layout, row.name);
    EXPECT_EQ(choice.monitor.rect, row.rect) << row.name;
    EXPECT_EQ(choice.named, row.named) << row.name;
  }
}

TEST(CalibrationProcedureTest, TargetsAndTheSteadinessRule) {
  EXPECT_EQ(CalibrationTarget(0, 1024, 768), (IntPoint{51, 38}));
  EXPECT_EQ(CalibrationTarget(2, 1024, 768), (IntPoint{973, 730}));
  EXPECT_EQ(CalibrationTarget(5, 800, 600), (IntPoint{760, 300}));
  EXPECT_EQ(TargetMargin(1919), 96);  // 96.04: the integer part

  struct Row {
    std::vector<IntPoint> samples;
    bool accepted;
    IntPoint point;
  };
  const Row rows[] = {
      {{{1234, 3210}}, true, {1234, 3210}},
      {{{1000, 500}, {1030, 500}, {1030, 500}}, false, {980, 500}},
      {{{1000, 500}, {980, 500}}, true, {1010, 500}},  // a mean of 10 is still steady
      {{{1000, 500}, {978, 500}}, false, {1011, 500}},
      {{{1000, 500}, {1000, 522}}, false, {1000, 489}},
      // (0 - 11 - 11 - 11) / 4 = -8.25 truncates to -8
      {{{1000, 700}, {1011, 703}, {1011, 703}, {1011, 703}}, true, {992, 698}},
  };
  for (const Row& row : rows) {
    const TouchVerdict verdict = EvaluateTouch(row.samples);
    EXPECT_EQ(verdict.accepted, row.accepted) << row.samples.size();
    EXPECT_EQ(verdict.point, row.point);
  }
}

TEST(CalibrationProcedureTest, UsableCalibrations) {
  for (const Mount& mount : kMountings) {
    EXPECT_TRUE(IsUsableCalibration(Mounted(mount))) << mount.name;
  }
  // A smaller, offset panel area with every target missed by up to 120; a
  // set with all X (or all Y) equal; targets measured at others' places.
  const IntPoint misses[] = {{120, -80}, {-100, 60}, {90, 110},   {-120, -40}, {70, -120},
                             {-60, 100}, {110, -90}, {-90, -110}, {40, 120}};
  CalibPoints uneven = kDefaultCalibPoints, flatX = kDefaultCalibPoints, flatY = flatX, same{};
  for (std::size_t i = 0; i < uneven.size(); ++i) {
    uneven[i] = {uneven[i].x * 9 / 10 + 150 + misses[i].x, uneven[i].y * 9 / 10 + 90 + misses[i].y};
    flatX[i].x = 1500;
    flatY[i].y = 1500;
  }
  EXPECT_TRUE(IsUsableCalibration(uneven));
  same.fill({2048, 2048});
  CalibPoints swappedCorners = kDefaultCalibPoints;
  std::swap(swappedCorners[0], swappedCorners[1]);
  const CalibPoints unusable[] = {
      CalibPoints{}, same, flatX, flatY, swappedCorners, WithPoints({{4, kDefaultCalibPoints[8]}})};
  for (const CalibPoints& points : unusable) {
    EXPECT_FALSE(IsUsableCalibration(points)) << &points - unusable;
  }
}

// Moves and lifts without a touch are not taken; samples past the tenth
// are not counted; an unsteady touch keeps its target; the idle count.
TEST(CalibrationProcedureTest, SamplingAndTheIdleCount) {
  CCalibrationProcedure run;
  EXPECT_FALSE(run.Move({5, 5}));
  EXPECT_FALSE(run.Release());
  run.ButtonDown({1000, 1000});
  EXPECT_TRUE(run.Held());
  for (int i = 0; i < kMaxTouchSamples - 1; ++i) {
    EXPECT_TRUE(run.Move({1000, 1000}));
  }
  EXPECT_TRUE(run.Move({3000, 3000}));  // past the tenth sample: not counted
  EXPECT_EQ(run.Evaluate(), Outcome::kAccepted);
  EXPECT_FALSE(run.Move({1200, 1200}));  // an evaluated touch ignores the rest
  EXPECT_FALSE(run.Release());
  EXPECT_EQ(run.Points()[0], (IntPoint{1000, 1000}));

  for (int i = 1; i < 20; ++i) {
    EXPECT_FALSE(run.IdleTick());
  }
  EXPECT_EQ(run.SecondsLeft(), kCalibIdleTimeout - 19);
  run.ButtonDown({1000, 1000});
  run.Move({1100, 1100});
  EXPECT_EQ(run.Evaluate(), Outcome::kRejected);
  EXPECT_EQ(run.Step(), 1);
  EXPECT_EQ(run.SecondsLeft(), kCalibIdleTimeout);  // an evaluation restarts it
  for (int i = 1; i < kCalibIdleTimeout; ++i) {
    EXPECT_FALSE(run.IdleTick());
  }
  EXPECT_TRUE(run.IdleTick());
}

}  // namespace
}  // namespace zt

namespace zt {
namespace {

// Touches the targets a steady finger on a mounted panel would, until the
// run reaches state.
void TouchUntil(CCalibrationRun& run, const std::function<IntPoint(IntPoint)>& mount, int width,
                int height, State state) {
  while (run.GetState() != state && run.GetState() != State::kEnded) {
    const IntPoint pixel = run.Target();
    run.ButtonDown(mount({pixel.x * 4096 / width, pixel.y * 4096 / height}));
    run.Release();
    run.Evaluate();
  }
}

// A run along every path, on panels mounted upright, mirrored and turned a
// quarter, on a 1024 x 768 and an 800 x 600 monitor: the default while the
// nine are taken, from the check on the grid of the new points (a touch
// lands where the finger is), and what each end leaves in effect.
TEST(CalibrationRunTest, EveryPathInEveryMountingAndMonitor) {
  const LiveCalibration before{Mounted(kMountings[5]), kMappingPrecise};
  const auto idle = [](CCalibrationRun& run, int seconds) {
    for (int i = 0; i < seconds; ++i) {
      run.IdleTick();
    }
  };
  struct Path {
    const char* name;
    State from;
    std::function<void(CCalibrationRun&, const std::function<void(State)>&)> step;
    Ending ending;
    std::int32_t mapping;
  };
  const Path paths[] = {
      {"redo, keep", State::kReport,
       [](auto& run, auto& touchUntil) {
         run.Redo();
         EXPECT_EQ(run.Live(), LiveCalibration{});
         touchUntil(State::kReport);
         run.Keep(kMappingGrid);
       },
       Ending::kKept, kMappingGrid},
      {"keep", State::kReport, [](auto& run, auto&) { run.Keep(kMappingPrecise); }, Ending::kKept,
       kMappingPrecise},
      {"cancel", State::kReport, [](auto& run, auto&) { run.Cancel(); }, Ending::kCancelled, 0},
      {"report left alone", State::kReport,
       [&](auto& run, auto&) {
         idle(run, kCalibIdleTimeout - 1);
         run.TouchOnReport();
         idle(run, kCalibIdleTimeout - 1);
         idle(run, 1);
       },
       Ending::kPointsKept, kMappingPrecise},
      {"escape in the check", State::kCheck, [](auto& run, auto&) { run.Escape(); },
       Ending::kPointsKept, kMappingPrecise},
      {"check left alone", State::kCheck, [&](auto& run, auto&) { idle(run, kCalibIdleTimeout); },
       Ending::kPointsKept, kMappingPrecise},
      {"link lost in the check and back, left alone", State::kCheck,
       [&](auto& run, auto&) {
         run.SetLinkUp(false);
         idle(run, 2 * kCalibIdleTimeout);
         EXPECT_EQ(run.GetState(), State::kCheck);
         run.SetLinkUp(true);
         idle(run, kCalibIdleTimeout);
       },
       Ending::kPointsKept, kMappingPrecise},
      {"escape in the targets", State::kTargets, [](auto& run, auto&) { run.Escape(); },
       Ending::kCancelled, 0},
  };
  for (const Mount* mount : {&kMountings[0], &kMountings[3], &kMountings[6]}) {
    for (const auto& size : {std::pair{1024, 768}, std::pair{800, 600}}) {
      const int width = size.first;
      const int height = size.second;
      for (const Path& path : paths) {
        SCOPED_TRACE(std::string(mount->name) + ", " + std::to_string(width) + ", " + path.name);
        CCalibrationRun run(before, width, height);
        const auto touchUntil = [&](State state) { TouchUntil(run, *mount, width, height, state); };
        EXPECT_EQ(run.Live(), LiveCalibration{});
        touchUntil(path.from == State::kTargets ? State::kTargets : State::kCheck);
        if (run.GetState() == State::kCheck) {
          EXPECT_EQ(run.Live(), (LiveCalibration{run.Measured(), kMappingGrid}));
          CGridMapper live;
          live.ReplacePoints(run.Live().points);
          const IntPoint pixel = CheckTarget(3, width, height);
          const IntPoint scaled{pixel.x * 4096 / width, pixel.y * 4096 / height};
          const IntPoint raw = (*mount)(scaled);
          const IntPoint mapped = live.MapPoint(raw.x, raw.y);
          EXPECT_LE(std::abs(mapped.x - scaled.x) + std::abs(mapped.y - scaled.y), 4);
        }
        touchUntil(path.from);
        path.step(run, touchUntil);
        EXPECT_EQ(run.GetState(), State::kEnded);
        EXPECT_EQ(run.GetEnding(), path.ending);
        const LiveCalibration kept{run.Measured(), path.mapping};
        const CCalibrationRun::Outcome outcome = run.GetOutcome();
        EXPECT_EQ(outcome.use, path.ending == Ending::kCancelled ? before : kept);
        EXPECT_EQ(outcome.storePoints, path.ending != Ending::kCancelled);
        EXPECT_EQ(outcome.storeMapping, path.ending == Ending::kKept);
      }
    }
  }
  // A display change: the targets start again on the new geometry; a run
  // that never ended leaves the calibration from before, storing nothing.
  CCalibrationRun moved(before, 1024, 768);
  TouchUntil(moved, kMountings[0], 1024, 768, State::kCheck);
  moved.Resize(800, 600);
  EXPECT_EQ(moved.GetState(), State::kTargets);
  EXPECT_EQ(moved.Live(), LiveCalibration{});
  EXPECT_EQ(moved.Target(), CalibrationTarget(moved.Step(), 800, 600));
  EXPECT_EQ(moved.Step(), CCalibrationRun(before, 800, 600).Step());
  const CCalibrationRun::Outcome unended = moved.GetOutcome();
  EXPECT_EQ(unended.use, before);
  EXPECT_FALSE(unended.storePoints || unended.storeMapping);
  TouchUntil(moved, kMountings[0], 800, 600, State::kReport);
  moved.Keep(kMappingGrid);
  EXPECT_TRUE(moved.GetOutcome().storePoints);
  // A set the grid cannot map ends the run after the nine, as a cancel.
  CCalibrationRun collapsed(before, 1024, 768);
  TouchUntil(
      collapsed,
      [](IntPoint) {
        return IntPoint{2048, 2048};
      },
      1024, 768, State::kCheck);
  EXPECT_EQ(collapsed.GetEnding(), Ending::kCancelled);
  EXPECT_EQ(collapsed.Live(), before);
}

}  // namespace
}  // namespace zt
