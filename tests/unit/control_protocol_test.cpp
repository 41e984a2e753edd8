// The daemon's and the command's own lines: what one writes the other reads
// back the same, and what is not one of them is refused whole.
#include "app/linux/control_protocol.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/input.h"

namespace zt {
namespace {

TEST(ControlProtocolTest, ParamsListsAreTakenWholeOrNotAtAll) {
  SensitivityParams values{1, 2, 3, 4};
  EXPECT_TRUE(ParseParams("delay=5,pressure=900", values));
  EXPECT_EQ(ParamsAnswer(values), "OK pressure=900 downcount=2 upcount=3 delay=5");
  EXPECT_TRUE(ParseParams("downcount=0,upcount=65535", values));
  EXPECT_EQ(ParamsAnswer(values), "OK pressure=900 downcount=0 upcount=65535 delay=5");
  for (const char* bad :
       {"", "pressure=65536", "pressure=-1", "pressure=", "pressure", "bogus=1", "pressure=1,",
        ",pressure=1", "pressure=1,,delay=2", "pressure=0x1000F", "pressure=1 "}) {
    SensitivityParams unchanged{1, 2, 3, 4};
    EXPECT_FALSE(ParseParams(bad, unchanged)) << bad;
  }
}

TEST(ControlProtocolTest, CalibrationLinesGoThereAndBack) {
  const struct {
    std::uint32_t flags;
    const char* line;
    TouchKind kind;
  } touches[] = {
      {mouse::kAbsolute | mouse::kMove, "move 4095 0", TouchKind::kMove},
      {mouse::kAbsolute | mouse::kMove | mouse::kLeftDown, "down 4095 0", TouchKind::kDown},
      {mouse::kRightDown, "down 4095 0", TouchKind::kDown},
      {mouse::kLeftUp, "up", TouchKind::kUp},
  };
  for (const auto& touch : touches) {
    IntPoint raw;
    EXPECT_EQ(TouchLine(touch.flags, {4095, 0}), touch.line);
    EXPECT_EQ(ParseTouchLine(touch.line, raw), touch.kind) << touch.line;
    EXPECT_EQ(raw, (touch.kind == TouchKind::kUp ? IntPoint{} : IntPoint{4095, 0}));
  }
  LiveCalibration inForce{kDefaultCalibPoints, kMappingPrecise};
  inForce.points[4] = {4095, 0};
  for (const std::optional<std::string>& monitor :
       {std::optional<std::string>("HDMI 1"), std::optional<std::string>(""),
        std::optional<std::string>()}) {
    std::optional<std::string> back = "before";
    LiveCalibration calibration;
    EXPECT_TRUE(ParseCalibrationStart(CalibrationStartAnswer(inForce, monitor), calibration, back));
    EXPECT_EQ(back, monitor);
    EXPECT_EQ(calibration, inForce);
  }
  std::optional<std::string> monitor;
  LiveCalibration calibration;
  const std::string start = CalibrationStartAnswer(inForce, std::nullopt);
  for (const std::string& bad : {std::string("OK screen"), start.substr(0, start.rfind(' ')),
                                 "OK 2" + start.substr(4), start + "s"}) {
    EXPECT_FALSE(ParseCalibrationStart(bad, calibration, monitor)) << bad;
  }
  IntPoint raw;
  for (const char* bad : {"down 1", "move 1 2 3", "hover 1 2", "down -1 2", "up 1"}) {
    EXPECT_EQ(ParseTouchLine(bad, raw), TouchKind::kNone) << bad;
  }

  CCalibrationRun::Outcome outcome;
  outcome.use.mapping = kMappingPrecise;
  outcome.storePoints = true;
  for (int i = 0; i < kCalibPointCount; ++i) {  // every point apart, X from Y
    outcome.use.points[static_cast<std::size_t>(i)] = {4095 - i, 100 + i};
  }
  const std::string line = OutcomeLine(outcome);
  CCalibrationRun::Outcome back;
  ASSERT_TRUE(ParseOutcome(line, back));
  EXPECT_EQ(back.use, outcome.use);
  EXPECT_EQ(std::make_pair(back.storePoints, back.storeMapping), std::make_pair(true, false));
  for (const std::string& bad :
       {line + " 7", line.substr(0, line.rfind(' ')), "begin" + line.substr(3),
        "end 2" + line.substr(5), line.substr(0, 8) + "2" + line.substr(9),
        line.substr(0, line.rfind(' ')) + " 70000"}) {
    EXPECT_FALSE(ParseOutcome(bad, back)) << bad;
  }
}

}  // namespace
}  // namespace zt
