#include "engine/lost_lift_watch.h"

#include <algorithm>

#include "engine/controller_protocol.h"

namespace zt {

void CLostLiftWatch::Report(std::int32_t status, IntPoint reading, std::uint32_t tick) {
  if (status == kTouchEnds) {
    End();
    return;
  }
  if (status == kTouchBegins || !m_down) {
    m_down = true;
    m_longestInterval = 0;
  } else {
    m_repeats = m_repeats || reading == m_last;
    m_longestInterval = std::max(m_longestInterval, tick - m_lastTick);
  }
  m_last = reading;
  m_lastTick = tick;
}

// The tick counter wraps every 2^32 ms: differences are taken across it.
std::optional<std::uint32_t> CLostLiftWatch::Remaining(std::uint32_t tick) const {
  if (!m_down || !m_repeats) {
    return std::nullopt;
  }
  const std::uint32_t silence =
      std::max(kShortestSilenceMs, kSilentIntervals * std::min(m_longestInterval, 1000U));
  const std::uint32_t since = tick - m_lastTick;
  return since >= silence ? 0 : silence - since;
}

}  // namespace zt
