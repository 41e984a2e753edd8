#include "calibration/calibration_record.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fake_registry.h"

namespace zt {
namespace {

using test::DwordBytes;
using test::FakeRegistry;

constexpr RegKeyHandle kRoot = reg::kHkeyLocalMachine;
constexpr char kPath[] = "Software\\Corvantic\\ZeltraTouch";

CalibPoints SwappedDefaults() {
  CalibPoints points{};
  for (std::size_t i = 0; i < points.size(); ++i) {
    points[i] = {kDefaultCalibPoints[i].y, kDefaultCalibPoints[i].x};
  }
  return points;
}

class CalibrationRecordTest : public ::testing::Test {
protected:
  CalibrationRecordTest() { live.ReplacePoints(kDefaultCalibPoints); }

  bool Load() {
    settings::EngineSettings engine;
    return settings::LoadEngineSettings(registry, engine, live, nullptr);
  }

  FakeRegistry registry;
  CGridMapper live;
  CGridMapper backup;
};

TEST(CalibValueNameTest, PrefixFollowedByTheIndex) {
  char name[kCalibValueNameSize];
  FormatCalibValueName(name, "PX", 0);
  EXPECT_STREQ(name, "PX0");
  FormatCalibValueName(name, "PY", 8);
  EXPECT_STREQ(name, "PY8");
}

TEST_F(CalibrationRecordTest, EmptyKeyGivesTheIdentity) {
  registry.CreateKey(kRoot, kPath);
  live.ReplacePoints(SwappedDefaults());
  ASSERT_TRUE(Load());
  EXPECT_EQ(live.Points(), kDefaultCalibPoints);
  EXPECT_EQ(live.SwapXY(), 0);
  EXPECT_EQ(live.MapPoint(1000, 1000), (IntPoint{999, 999}));
  EXPECT_EQ(live.MapPoint(3000, 3000), (IntPoint{3001, 3001}));
}

TEST_F(CalibrationRecordTest, OnlyPx3Present) {
  registry.CreateKey(kRoot, kPath);
  registry.PutDword(kRoot, kPath, "PX3", 300);
  ASSERT_TRUE(Load());
  CalibPoints expected = kDefaultCalibPoints;
  expected[3].x = 300;
  EXPECT_EQ(live.Points(), expected);
}

TEST_F(CalibrationRecordTest, ValuesOfAnotherTypeOrSizeAreIgnored) {
  registry.CreateKey(kRoot, kPath);
  registry.PutString(kRoot, kPath, "PX0", "300", true);
  registry.Put(kRoot, kPath, "PY0", reg::kRegBinary, DwordBytes(300));
  registry.PutQword(kRoot, kPath, "PX1", 300);
  registry.Put(kRoot, kPath, "PY1", reg::kRegDword, {0x2C, 0x01, 0, 0, 0, 0, 0, 0});
  registry.PutDword(kRoot, kPath, "PY2", 3000);
  ASSERT_TRUE(Load());
  CalibPoints expected = kDefaultCalibPoints;
  expected[2].y = 3000;
  EXPECT_EQ(live.Points(), expected);
}

TEST_F(CalibrationRecordTest, LoadReadsAllEighteenAndRecomputesTheOrientation) {
  registry.CreateKey(kRoot, kPath);
  const CalibPoints swapped = SwappedDefaults();
  for (std::size_t i = 0; i < swapped.size(); ++i) {
    registry.PutDword(kRoot, kPath, "PX" + std::to_string(i),
                      static_cast<std::uint32_t>(swapped[i].x));
    registry.PutDword(kRoot, kPath, "PY" + std::to_string(i),
                      static_cast<std::uint32_t>(swapped[i].y));
  }
  ASSERT_TRUE(Load());
  EXPECT_EQ(live.Points(), swapped);
  EXPECT_EQ(live.SwapXY(), 1);
}

TEST_F(CalibrationRecordTest, MissingKeyLeavesTheDefaults) {
  live.ReplacePoints(SwappedDefaults());
  EXPECT_FALSE(Load());
  EXPECT_EQ(live.Points(), kDefaultCalibPoints);
  EXPECT_EQ(live.SwapXY(), 0);
}

TEST_F(CalibrationRecordTest, ResetPutsTheDefaultsInWithTheirOrientation) {
  live.ReplacePoints(SwappedDefaults());
  ResetCalibration(live);
  EXPECT_EQ(live.Points(), kDefaultCalibPoints);
  EXPECT_EQ(live.SwapXY(), 0);
}

TEST_F(CalibrationRecordTest, SaveCopiesThePointsButNotTheFlag) {
  live.ReplacePoints(SwappedDefaults());
  ASSERT_EQ(backup.SwapXY(), 0);
  SaveCalibrationPoints(live, backup);
  EXPECT_EQ(backup.Points(), SwappedDefaults());
  EXPECT_EQ(backup.SwapXY(), 0);
}

TEST_F(CalibrationRecordTest, RestoreCopiesThePointsAndRecomputesTheFlag) {
  backup.SetPoints(SwappedDefaults());  // flag left at 0
  RestoreCalibrationPoints(backup, live);
  EXPECT_EQ(live.Points(), SwappedDefaults());
  EXPECT_EQ(live.SwapXY(), 1);
  EXPECT_EQ(backup.SwapXY(), 0);
}

TEST_F(CalibrationRecordTest, CancelledRunRestoresTheOldPointsAndWritesNothing) {
  registry.CreateKey(kRoot, kPath);
  CalibPoints old = kDefaultCalibPoints;
  old[8] = {2000, 2100};
  live.ReplacePoints(old);

  SaveCalibrationPoints(live, backup);
  ResetCalibration(live);
  EXPECT_EQ(live.MapPoint(1000, 1000), (IntPoint{999, 999}));
  RestoreCalibrationPoints(backup, live);

  EXPECT_EQ(live.Points(), old);
  EXPECT_TRUE(registry.Writes().empty());
}

TEST_F(CalibrationRecordTest, CompletedRunAppliesAndStoresEighteenValuesThenFirst) {
  registry.CreateKey(kRoot, kPath);
  registry.PutDword(kRoot, kPath, "First", 1);
  const CalibPoints measured = SwappedDefaults();

  EXPECT_TRUE(ApplyAndStoreCalibration(registry, live, measured));

  EXPECT_EQ(live.Points(), measured);
  EXPECT_EQ(live.SwapXY(), 1);
  EXPECT_EQ(live.MapPoint(1000, 3000), (IntPoint{3001, 999}));

  const std::vector<FakeRegistry::Write> writes = registry.Writes();
  ASSERT_EQ(writes.size(), 19U);
  for (std::size_t i = 0; i < measured.size(); ++i) {
    EXPECT_EQ(writes[2 * i].name, "PX" + std::to_string(i));
    EXPECT_EQ(writes[2 * i].type, reg::kRegDword);
    EXPECT_EQ(writes[2 * i].data, DwordBytes(static_cast<std::uint32_t>(measured[i].x)));
    EXPECT_EQ(writes[2 * i + 1].name, "PY" + std::to_string(i));
    EXPECT_EQ(writes[2 * i + 1].data, DwordBytes(static_cast<std::uint32_t>(measured[i].y)));
  }
  EXPECT_EQ(writes[18].name, "First");
  EXPECT_EQ(registry.Get(kRoot, kPath, "First")->data, DwordBytes(0));
}

TEST_F(CalibrationRecordTest, StoredRunLoadsBackTheSame) {
  registry.CreateKey(kRoot, kPath);
  CalibPoints measured = kDefaultCalibPoints;
  measured[5] = {3800, 2100};
  ASSERT_TRUE(ApplyAndStoreCalibration(registry, live, measured));
  live.ReplacePoints(kDefaultCalibPoints);
  ASSERT_TRUE(Load());
  EXPECT_EQ(live.Points(), measured);
}

TEST_F(CalibrationRecordTest, RunWithoutAWritableKeyStillTakesEffect) {
  const CalibPoints measured = SwappedDefaults();
  EXPECT_FALSE(ApplyAndStoreCalibration(registry, live, measured));
  EXPECT_EQ(live.Points(), measured);
  EXPECT_EQ(live.SwapXY(), 1);

  registry.CreateKey(kRoot, kPath);
  registry.SetReadOnly(kRoot, kPath, true);
  live.ReplacePoints(kDefaultCalibPoints);
  EXPECT_FALSE(ApplyAndStoreCalibration(registry, live, measured));
  EXPECT_EQ(live.Points(), measured);
  EXPECT_TRUE(registry.Writes().empty());
}

}  // namespace
}  // namespace zt
