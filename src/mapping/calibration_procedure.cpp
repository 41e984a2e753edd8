#include "mapping/calibration_procedure.h"

#include <algorithm>
#include <cstdlib>

namespace zt {
namespace {

constexpr std::int64_t kMarginNumerator = 205;
constexpr std::int64_t kMarginDenominator = 4096;

bool WithinTolerance(IntPoint mapped, IntPoint target) {
  return std::abs(mapped.x - target.x) <= kUsableCalibrationTolerance &&
         std::abs(mapped.y - target.y) <= kUsableCalibrationTolerance;
}

int ClampToRaw(std::int32_t value) {
  return std::clamp(value, 0, kScaleMax);
}

}  // namespace

int TargetMargin(int size) {
  return static_cast<int>(std::int64_t{size} * kMarginNumerator / kMarginDenominator);
}

IntPoint CalibrationTarget(int index, int width, int height) {
  const int left = TargetMargin(width);
  const int right = width - TargetMargin(width);
  const int top = TargetMargin(height);
  const int bottom = height - TargetMargin(height);
  const int middleX = width / 2;
  const int middleY = height / 2;
  switch (index) {
    case 0:
      return {left, top};
    case 1:
      return {right, top};
    case 2:
      return {right, bottom};
    case 3:
      return {left, bottom};
    case 4:
      return {middleX, top};
    case 5:
      return {right, middleY};
    case 6:
      return {middleX, bottom};
    case 7:
      return {left, middleY};
    default:
      return {middleX, middleY};
  }
}

TouchVerdict EvaluateTouch(std::span<const IntPoint> samples) {
  TouchVerdict verdict;
  if (samples.empty()) {
    return verdict;
  }
  const IntPoint first = samples.front();
  std::int64_t sumX = 0;
  std::int64_t sumY = 0;
  for (const IntPoint& sample : samples) {
    sumX += std::int64_t{first.x} - sample.x;
    sumY += std::int64_t{first.y} - sample.y;
  }
  const auto count = static_cast<std::int64_t>(samples.size());
  verdict.deviation = {static_cast<std::int32_t>(sumX / count),
                       static_cast<std::int32_t>(sumY / count)};
  verdict.accepted = std::abs(verdict.deviation.x) <= kSteadyTouchLimit &&
                     std::abs(verdict.deviation.y) <= kSteadyTouchLimit;
  verdict.point = {first.x + verdict.deviation.x, first.y + verdict.deviation.y};
  return verdict;
}

bool IsUsableCalibration(const CalibPoints& measured) {
  CGridMapper mapper;
  mapper.ReplacePoints(measured);
  for (std::size_t i = 0; i < measured.size(); ++i) {
    const IntPoint mapped = mapper.MapPoint(ClampToRaw(measured[i].x), ClampToRaw(measured[i].y));
    if (!WithinTolerance(mapped, kDefaultCalibPoints[i])) {
      return false;
    }
  }
  return true;
}

bool CCalibrationProcedure::ButtonDown(IntPoint raw) {
  if (Complete()) {
    return false;
  }
  m_bHeld = 1;
  m_bLatched = 0;
  m_samples[0] = raw;
  m_nSamples = 1;
  return true;
}

bool CCalibrationProcedure::Move(IntPoint raw) {
  if (m_bHeld == 0 || m_bLatched != 0) {
    return false;
  }
  if (m_nSamples < kMaxTouchSamples) {
    m_samples[static_cast<std::size_t>(m_nSamples)] = raw;
    ++m_nSamples;
  }
  return true;
}

bool CCalibrationProcedure::Release() {
  if (m_bHeld == 0 || m_bLatched != 0) {
    return false;
  }
  m_bHeld = 0;
  return true;
}

CCalibrationProcedure::Outcome CCalibrationProcedure::Evaluate() {
  m_nIdleSeconds = 0;
  m_bLatched = 1;
  m_bHeld = 0;
  const auto count = static_cast<std::size_t>(m_nSamples);
  m_nSamples = 0;
  if (count == 0) {
    return Outcome::kNothing;
  }
  const TouchVerdict verdict = EvaluateTouch(std::span(m_samples).first(count));
  if (!verdict.accepted) {
    return Outcome::kRejected;
  }
  if (!Complete()) {
    m_points[static_cast<std::size_t>(m_nStep)] = verdict.point;
  }
  ++m_nStep;
  return Complete() ? Outcome::kComplete : Outcome::kAccepted;
}

bool CCalibrationProcedure::IdleTick() {
  ++m_nIdleSeconds;
  return m_nIdleSeconds >= kCalibIdleTimeout;
}

}  // namespace zt
