#include "mapping/calibration_check.h"

#include <algorithm>
#include <cmath>

namespace zt {

IntPoint CheckTarget(int index, int width, int height) {
  const bool right = index == 1 || index == 2;
  const bool bottom = index >= 2;
  return {width * (right ? 3 : 1) / 4, height * (bottom ? 3 : 1) / 4};
}

std::int32_t BetterMapping(const CheckErrors& grid, const CheckErrors& precise,
                           bool preciseUsable) {
  return preciseUsable && precise.average < grid.average ? kMappingPrecise : kMappingGrid;
}

CCalibrationCheck::CCalibrationCheck(const CalibPoints& measured, int width, int height)
    : m_width(width), m_height(height) {
  m_grid.ReplacePoints(measured);
  m_precise.ReplacePoints(measured);
}

// A screen-scale point as a pixel, to its distance from check target index.
double CCalibrationCheck::Distance(IntPoint mapped, int index) const {
  const IntPoint target = CheckTarget(index, m_width, m_height);
  const double x = mapped.x * static_cast<double>(m_width) / 4096.0;
  const double y = mapped.y * static_cast<double>(m_height) / 4096.0;
  return std::hypot(x - target.x, y - target.y);
}

bool CCalibrationCheck::TakeAccepted() {
  if (Complete()) {
    return false;
  }
  const IntPoint raw = m_touch.Points()[0];
  m_touch = CCalibrationProcedure{};
  const bool misclick = Distance(m_grid.MapPoint(raw.x, raw.y), m_step) > m_width / 10.0;
  if (misclick && !m_askedAgain) {
    m_askedAgain = true;
    return false;
  }
  m_raw[static_cast<std::size_t>(m_step)] = raw;
  m_askedAgain = false;
  ++m_step;
  return true;
}

CheckReport CCalibrationCheck::Report() const {
  CheckReport report;
  report.preciseUsable = m_precise.IsUsable();
  for (int i = 0; i < m_step; ++i) {
    const IntPoint raw = m_raw[static_cast<std::size_t>(i)];
    const double grid = Distance(m_grid.MapPoint(raw.x, raw.y), i);
    const double precise = Distance(m_precise.MapPoint(raw.x, raw.y).value_or(IntPoint{}), i);
    report.grid.largest = std::max(report.grid.largest, grid);
    report.precise.largest = std::max(report.precise.largest, precise);
    report.grid.average += grid / m_step;
    report.precise.average += precise / m_step;
  }
  report.better = BetterMapping(report.grid, report.precise, report.preciseUsable);
  return report;
}

}  // namespace zt
