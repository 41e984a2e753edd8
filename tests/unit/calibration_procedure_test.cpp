#include "calibration/calibration_procedure.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <utility>
#include <vector>

namespace zt {

void PrintTo(const IntPoint& point, std::ostream* out);

namespace {

using Outcome = CCalibrationProcedure::Outcome;
using Transform = std::function<IntPoint(IntPoint)>;

TouchVerdict Evaluate(const std::vector<IntPoint>& samples) {
  return EvaluateTouch(samples);
}

CalibPoints Transformed(const Transform& transform) {
  CalibPoints points{};
  for (std::size_t i = 0; i < points.size(); ++i) {
    points[i] = transform(kDefaultCalibPoints[i]);
  }
  return points;
}

// One steady touch with no moves at raw.
Outcome Tap(CCalibrationProcedure& run, IntPoint raw) {
  EXPECT_TRUE(run.ButtonDown(raw));
  EXPECT_TRUE(run.Release());
  return run.Evaluate();
}

TEST(EvaluateTouchTest, OneSampleIsAcceptedExactly) {
  const TouchVerdict verdict = Evaluate({{1234, 3210}});
  EXPECT_TRUE(verdict.accepted);
  EXPECT_EQ(verdict.deviation, (IntPoint{0, 0}));
  EXPECT_EQ(verdict.point, (IntPoint{1234, 3210}));
}

TEST(EvaluateTouchTest, TwoMovesThirtyAwayAreRejected) {
  const TouchVerdict verdict = Evaluate({{1000, 500}, {1030, 500}, {1030, 500}});
  EXPECT_FALSE(verdict.accepted);
  EXPECT_EQ(verdict.deviation, (IntPoint{-20, 0}));
}

TEST(EvaluateTouchTest, AFingerRestingStillIsAccepted) {
  const TouchVerdict verdict = Evaluate({{1000, 500}, {1000, 500}, {1000, 500}});
  EXPECT_TRUE(verdict.accepted);
  EXPECT_EQ(verdict.point, (IntPoint{1000, 500}));
}

TEST(EvaluateTouchTest, AnAverageDeviationOfTenIsAcceptedAndElevenRejected) {
  const TouchVerdict ten = Evaluate({{1000, 500}, {980, 500}});
  EXPECT_TRUE(ten.accepted);
  EXPECT_EQ(ten.deviation, (IntPoint{10, 0}));
  EXPECT_EQ(ten.point, (IntPoint{1010, 500}));

  EXPECT_FALSE(Evaluate({{1000, 500}, {978, 500}}).accepted);
  EXPECT_TRUE(Evaluate({{1000, 500}, {1000, 520}}).accepted);
  EXPECT_FALSE(Evaluate({{1000, 500}, {1000, 522}}).accepted);
}

TEST(EvaluateTouchTest, TheMeanDifferenceTruncatesTowardZero) {
  // (0 - 11 - 11 - 11) / 4 = -8.25: the first sample moves by -8, not -9.
  const TouchVerdict verdict = Evaluate({{1000, 700}, {1011, 703}, {1011, 703}, {1011, 703}});
  EXPECT_TRUE(verdict.accepted);
  EXPECT_EQ(verdict.deviation, (IntPoint{-8, -2}));
  EXPECT_EQ(verdict.point, (IntPoint{992, 698}));
}

TEST(CalibrationTargetTest, PositionsOn1024By768) {
  const std::vector<IntPoint> expected{{51, 38},   {973, 38},  {973, 730}, {51, 730}, {512, 38},
                                       {973, 384}, {512, 730}, {51, 384},  {512, 384}};
  for (int i = 0; i < kCalibPointCount; ++i) {
    EXPECT_EQ(CalibrationTarget(i, 1024, 768), expected[static_cast<std::size_t>(i)]) << i;
  }
}

TEST(CalibrationTargetTest, PositionsOn800By600) {
  const std::vector<IntPoint> expected{{40, 30},   {760, 30},  {760, 570}, {40, 570}, {400, 30},
                                       {760, 300}, {400, 570}, {40, 300},  {400, 300}};
  for (int i = 0; i < kCalibPointCount; ++i) {
    EXPECT_EQ(CalibrationTarget(i, 800, 600), expected[static_cast<std::size_t>(i)]) << i;
  }
}

TEST(CalibrationTargetTest, MarginKeepsTheIntegerPart) {
  EXPECT_EQ(TargetMargin(1024), 51);  // 51.25
  EXPECT_EQ(TargetMargin(768), 38);   // 38.4
  EXPECT_EQ(TargetMargin(1919), 96);  // 96.04
  EXPECT_EQ(TargetMargin(0), 0);
}

TEST(UsableCalibrationTest, TheDefaultsAreUsable) {
  EXPECT_TRUE(IsUsableCalibration(kDefaultCalibPoints));
}

TEST(UsableCalibrationTest, MirroredAndSwappedPanelsAreUsable) {
  const std::vector<Transform> mounts{
      [](IntPoint p) {
        return IntPoint{4095 - p.x, p.y};
      },
      [](IntPoint p) {
        return IntPoint{p.x, 4095 - p.y};
      },
      [](IntPoint p) {
        return IntPoint{4095 - p.x, 4095 - p.y};
      },
      [](IntPoint p) {
        return IntPoint{p.y, p.x};
      },
      [](IntPoint p) {
        return IntPoint{4095 - p.y, 4095 - p.x};
      },
  };
  for (std::size_t i = 0; i < mounts.size(); ++i) {
    EXPECT_TRUE(IsUsableCalibration(Transformed(mounts[i]))) << "mount " << i;
  }
}

TEST(UsableCalibrationTest, AnUnevenButSoundRunIsUsable) {
  // A smaller panel area, offset, with every target missed by up to 120
  // raw units (about 30 pixels on a 1024-pixel screen).
  const std::vector<IntPoint> misses{{120, -80}, {-100, 60}, {90, 110},   {-120, -40}, {70, -120},
                                     {-60, 100}, {110, -90}, {-90, -110}, {40, 120}};
  CalibPoints points = Transformed([](IntPoint p) {
    return IntPoint{p.x * 9 / 10 + 150, p.y * 9 / 10 + 90};
  });
  for (std::size_t i = 0; i < points.size(); ++i) {
    points[i].x += misses[i].x;
    points[i].y += misses[i].y;
  }
  EXPECT_TRUE(IsUsableCalibration(points));
}

TEST(UsableCalibrationTest, CoincidingPointsAreNotUsable) {
  CalibPoints zeros{};
  EXPECT_FALSE(IsUsableCalibration(zeros));
  CalibPoints same{};
  same.fill({2048, 2048});
  EXPECT_FALSE(IsUsableCalibration(same));
}

TEST(UsableCalibrationTest, ZeroSpansOnOneAxisAreNotUsable) {
  EXPECT_FALSE(IsUsableCalibration(Transformed([](IntPoint p) { return IntPoint{1500, p.y}; })));
  EXPECT_FALSE(IsUsableCalibration(Transformed([](IntPoint p) { return IntPoint{p.x, 1500}; })));
}

TEST(UsableCalibrationTest, QuarterTurnedPanelsAreNotUsable) {
  EXPECT_FALSE(IsUsableCalibration(Transformed([](IntPoint p) {
    return IntPoint{4095 - p.y, p.x};
  })));
  EXPECT_FALSE(IsUsableCalibration(Transformed([](IntPoint p) {
    return IntPoint{p.y, 4095 - p.x};
  })));
}

TEST(UsableCalibrationTest, ATargetMeasuredAtAnotherTargetIsNotUsable) {
  CalibPoints points = kDefaultCalibPoints;
  points[4] = kDefaultCalibPoints[8];
  EXPECT_FALSE(IsUsableCalibration(points));
  points = kDefaultCalibPoints;
  std::swap(points[0], points[1]);
  EXPECT_FALSE(IsUsableCalibration(points));
}

TEST(CalibrationProcedureTest, StartsAtTheFirstTargetWithTheFullCountdown) {
  const CCalibrationProcedure run;
  EXPECT_EQ(run.Step(), 0);
  EXPECT_FALSE(run.Held());
  EXPECT_FALSE(run.Complete());
  EXPECT_EQ(run.SecondsLeft(), 30);
}

TEST(CalibrationProcedureTest, NineSteadyTouchesCompleteTheRun) {
  CCalibrationProcedure run;
  for (int i = 0; i < kCalibPointCount - 1; ++i) {
    EXPECT_EQ(Tap(run, {100 + i, 200 + i}), Outcome::kAccepted);
    EXPECT_EQ(run.Step(), i + 1);
  }
  EXPECT_EQ(Tap(run, {108, 208}), Outcome::kComplete);
  EXPECT_TRUE(run.Complete());
  for (int i = 0; i < kCalibPointCount; ++i) {
    EXPECT_EQ(run.Points()[static_cast<std::size_t>(i)], (IntPoint{100 + i, 200 + i}));
  }
  EXPECT_FALSE(run.ButtonDown({1, 1}));
  EXPECT_EQ(run.Evaluate(), Outcome::kNothing);
  EXPECT_EQ(run.Step(), kCalibPointCount);
}

TEST(CalibrationProcedureTest, TheButtonDownHoldsAndTheReleaseLetsGo) {
  CCalibrationProcedure run;
  EXPECT_FALSE(run.Move({5, 5}));
  EXPECT_FALSE(run.Release());
  run.ButtonDown({1000, 1000});
  EXPECT_TRUE(run.Held());
  EXPECT_TRUE(run.Release());
  EXPECT_FALSE(run.Held());
  EXPECT_FALSE(run.Move({3000, 3000}));
  EXPECT_EQ(run.Evaluate(), Outcome::kAccepted);
  EXPECT_EQ(run.Points()[0], (IntPoint{1000, 1000}));
}

TEST(CalibrationProcedureTest, AnUnsteadyTouchKeepsTheTarget) {
  CCalibrationProcedure run;
  run.ButtonDown({1000, 1000});
  run.Move({1030, 1000});
  run.Move({1030, 1000});
  EXPECT_EQ(run.Evaluate(), Outcome::kRejected);
  EXPECT_EQ(run.Step(), 0);
  EXPECT_EQ(Tap(run, {1500, 1500}), Outcome::kAccepted);
  EXPECT_EQ(run.Points()[0], (IntPoint{1500, 1500}));
}

TEST(CalibrationProcedureTest, OnlyTheFirstTenSamplesCount) {
  CCalibrationProcedure run;
  run.ButtonDown({1000, 1000});
  for (int i = 0; i < kMaxTouchSamples - 1; ++i) {
    EXPECT_TRUE(run.Move({1000, 1000}));
  }
  EXPECT_TRUE(run.Move({3000, 3000}));
  EXPECT_TRUE(run.Move({3000, 3000}));
  EXPECT_EQ(run.Evaluate(), Outcome::kAccepted);
  EXPECT_EQ(run.Points()[0], (IntPoint{1000, 1000}));
}

TEST(CalibrationProcedureTest, AnEvaluatedTouchIgnoresItsLaterMovesAndRelease) {
  CCalibrationProcedure run;
  run.ButtonDown({1000, 1000});
  EXPECT_EQ(run.Evaluate(), Outcome::kAccepted);
  EXPECT_FALSE(run.Move({1200, 1200}));
  EXPECT_FALSE(run.Release());
  EXPECT_EQ(run.Evaluate(), Outcome::kNothing);
  EXPECT_EQ(run.Step(), 1);
}

TEST(CalibrationProcedureTest, ATouchMadeAgainIsJudgedFromItsOwnButtonDown) {
  CCalibrationProcedure run;
  run.ButtonDown({1000, 1000});
  run.Move({1400, 1400});
  run.Release();
  run.ButtonDown({2000, 2100});
  run.Move({2000, 2100});
  EXPECT_EQ(run.Evaluate(), Outcome::kAccepted);
  EXPECT_EQ(run.Points()[0], (IntPoint{2000, 2100}));
}

TEST(CalibrationProcedureTest, ThirtyIdleTicksTimeOut) {
  CCalibrationProcedure run;
  for (int i = 1; i < kCalibIdleTimeout; ++i) {
    EXPECT_FALSE(run.IdleTick()) << i;
    EXPECT_EQ(run.SecondsLeft(), kCalibIdleTimeout - i);
  }
  EXPECT_TRUE(run.IdleTick());
}

TEST(CalibrationProcedureTest, AnEvaluationRestartsTheCountdown) {
  CCalibrationProcedure run;
  for (int i = 0; i < 20; ++i) {
    run.IdleTick();
  }
  run.ButtonDown({1000, 1000});
  run.Move({1100, 1100});
  EXPECT_EQ(run.Evaluate(), Outcome::kRejected);
  EXPECT_EQ(run.SecondsLeft(), kCalibIdleTimeout);
}

}  // namespace
}  // namespace zt
