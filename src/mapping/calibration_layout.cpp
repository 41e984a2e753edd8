#include "mapping/calibration_layout.h"

#include <cstdio>

namespace zt::calibration_layout {
namespace {

constexpr int kLineWidth = 560;
constexpr int kLineHeight = 48;
constexpr int kButtonWidth = 170;
constexpr int kButtonHeight = 70;
constexpr int kGap = 30;

std::string ErrorsText(const char* name, const CheckErrors& errors) {
  char text[96];
  std::snprintf(text, sizeof text, "%s: largest %.1f px, average %.1f px", name, errors.largest,
                errors.average);
  return text;
}

}  // namespace

PixelRect ReportItemRect(ReportItem item, int width, int height,
                         const std::function<int(int)>& scale) {
  const int index = static_cast<int>(item);
  if (item <= ReportItem::kPrecise) {  // rows -1, 0 and 1 above the centre
    const int left = (width - scale(kLineWidth)) / 2;
    const int top =
        height / 2 - 2 * scale(kLineHeight) - scale(kGap) + (index - 1) * scale(kLineHeight);
    return {left, top, left + scale(kLineWidth), top + scale(kLineHeight)};
  }
  const int step = scale(kButtonWidth) + scale(kGap);
  const int left = (width - 3 * scale(kButtonWidth) - 2 * scale(kGap)) / 2 +
                   (index - static_cast<int>(ReportItem::kKeep)) * step;
  const int top = height / 2 + scale(kGap);
  return {left, top, left + scale(kButtonWidth), top + scale(kButtonHeight)};
}

std::string ReportItemText(ReportItem item, const CheckReport& report) {
  switch (item) {
    case ReportItem::kHeading:
      return "How far the check touches landed:";
    case ReportItem::kStandard:
      return ErrorsText("Standard", report.grid);
    case ReportItem::kPrecise:
      return report.preciseUsable ? ErrorsText("Precise", report.precise)
                                  : "Precise: not possible with these points";
    case ReportItem::kKeep:
      return "Keep";
    case ReportItem::kRedo:
      return "Redo";
    case ReportItem::kCancel:
      break;
  }
  return "Cancel";
}

}  // namespace zt::calibration_layout
