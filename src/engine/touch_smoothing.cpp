#include "engine/touch_smoothing.h"

#include <algorithm>
#include <cmath>

#include "engine/controller_protocol.h"

namespace zt {
namespace {

// Screen-scale units (4 096 across the monitor). The rest radius is about
// five times the noise (one standard deviation) of a resting finger that
// each level is meant for: a touch rests on its first, unfiltered report,
// whose own noise the radius must cover too.
constexpr double kFollow = 0.75;  // of the way to a slow finger's report
constexpr double kRestRadius[] = {24.0, 40.0, 56.0};
constexpr double kSpikeJump[] = {240.0, 160.0, 120.0};

}  // namespace

bool CTouchSmoother::Far(IntPoint a, IntPoint b, double limit) const {
  const double dx = a.x - b.x;
  const double dy = a.y - b.y;
  return dx * dx + dy * dy > limit * limit;
}

void CTouchSmoother::Restart(IntPoint point) {
  m_recent.fill(point);
  m_count = 1;
  m_next = 1 % kWindow;
  m_x = point.x;
  m_y = point.y;
  m_resting = true;
  m_suspect = false;
}

IntPoint CTouchSmoother::Filter(std::int32_t status, IntPoint point, std::int32_t level) {
  // A move with no touch before it (a lost touch-down) starts one too.
  if (level <= kSmoothingOff || level > kSmoothingStrongest || status != kTouchContinues ||
      m_count == 0) {
    Restart(point);
    return point;
  }
  const auto index = static_cast<std::size_t>(level - 1);
  const Strength strength{kRestRadius[index], kSpikeJump[index]};
  const IntPoint last = m_recent[(m_next + kWindow - 1) % kWindow];
  if (m_suspect) {
    m_suspect = false;
    if (!Far(point, m_suspectPoint, strength.spikeJump)) {
      // It was the finger, moving fast: the pointer goes there at once.
      m_x = m_suspectPoint.x;
      m_y = m_suspectPoint.y;
      m_resting = false;
      Accept(m_suspectPoint, strength);
    } else if (Far(point, last, strength.spikeJump)) {
      m_suspect = true;  // another lone jump: it waits in turn
      m_suspectPoint = point;
    }
  } else if (Far(point, last, strength.spikeJump)) {
    m_suspect = true;
    m_suspectPoint = point;
  }
  if (!m_suspect) {
    Accept(point, strength);
  }
  return {static_cast<std::int32_t>(std::lround(m_x)), static_cast<std::int32_t>(std::lround(m_y))};
}

void CTouchSmoother::Accept(IntPoint point, const Strength& strength) {
  m_recent[m_next] = point;
  m_next = (m_next + 1) % kWindow;
  m_count = std::min(m_count + 1, kWindow);
  double meanX = 0.0;
  double meanY = 0.0;
  for (std::size_t i = 0; i < m_count; ++i) {
    const IntPoint recent = m_recent[(m_next + kWindow - 1 - i) % kWindow];
    meanX += recent.x / static_cast<double>(m_count);
    meanY += recent.y / static_cast<double>(m_count);
  }
  if (m_resting) {
    const double dx = meanX - m_x;
    const double dy = meanY - m_y;
    m_resting = dx * dx + dy * dy <= strength.restRadius * strength.restRadius;
    if (m_resting) {
      return;
    }
  }
  // Moving: at rest again once the last reports lie close round their mean.
  bool still = m_count == kWindow;
  for (std::size_t i = 0; still && i < m_count; ++i) {
    const IntPoint recent = m_recent[i];
    const double dx = recent.x - meanX;
    const double dy = recent.y - meanY;
    still = 4.0 * (dx * dx + dy * dy) <= strength.restRadius * strength.restRadius;
  }
  if (still) {
    m_resting = true;
    m_x = meanX;
    m_y = meanY;
    return;
  }
  // A fast finger is followed all the way: its own steps dwarf the noise.
  const IntPoint previous = m_recent[(m_next + kWindow - 2) % kWindow];
  const bool fast = Far(point, previous, strength.restRadius / 2.0);
  m_x += (fast ? 1.0 : kFollow) * (point.x - m_x);
  m_y += (fast ? 1.0 : kFollow) * (point.y - m_y);
}

}  // namespace zt
