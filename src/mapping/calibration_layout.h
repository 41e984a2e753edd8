// How a calibration run is drawn, for every platform's window alike:
// lengths in pixels at 96 DPI (a window scales them to its own), colours,
// and the places of the report's rows and buttons.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "mapping/calibration_check.h"
#include "platform/monitors.h"

namespace zt::calibration_layout {

// A target: a circle with a cross-hair reaching 3 pixels beyond it.
inline constexpr int kTargetRadius = 20;
inline constexpr int kCrossHalfLength = 23;
// The step's text and the idle countdown, below the window's centre (on the
// report, the countdown below its buttons).
inline constexpr int kStepTextDown = 22;
inline constexpr int kCountdownLeft = 60;
inline constexpr int kCountdownDown = 40;
inline constexpr int kReportCountdownDown = 130;
inline constexpr int kReportFontHeight = 26;

struct Colour {
  std::uint8_t red;
  std::uint8_t green;
  std::uint8_t blue;
};
inline constexpr Colour kHeld{0, 0, 255};     // while a touch is held
inline constexpr Colour kWaiting{0, 255, 0};  // a target to touch
inline constexpr Colour kAgain{255, 160, 0};  // a check target missed once
inline constexpr Colour kInk{0, 0, 0};        // outlines and texts

// The report, in the middle of the window: the heading, a row for each
// mapping's errors, and the three buttons, all sized for a finger.
enum class ReportItem { kHeading, kStandard, kPrecise, kKeep, kRedo, kCancel };

// Where item lies in a window of width x height, each length passed
// through scale (the window's DPI).
PixelRect ReportItemRect(ReportItem item, int width, int height,
                         const std::function<int(int)>& scale);
// What item says on that report.
std::string ReportItemText(ReportItem item, const CheckReport& report);

}  // namespace zt::calibration_layout
