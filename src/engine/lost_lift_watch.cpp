#include "engine/lost_lift_watch.h"

#include <algorithm>
#include <cstdlib>

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
    StartRun(reading, tick);
  } else {
    m_longestInterval = std::max(m_longestInterval, tick - m_lastTick);
    const bool steady = ExtendRun(reading, tick);
    m_reportsAtRest = m_reportsAtRest || reading == m_last || steady;
  }
  m_last = reading;
  m_lastTick = tick;
}

void CLostLiftWatch::StartRun(IntPoint reading, std::uint32_t tick) {
  m_runFirst = reading;
  m_runStart = tick;
  m_runReports = 1;
  m_runLongest = 0;
}

// The tick counter wraps every 2^32 ms: differences are taken across it.
// A long interval early in a run shows once the run's mean has settled.
bool CLostLiftWatch::ExtendRun(IntPoint reading, std::uint32_t tick) {
  const std::uint64_t runTime = tick - m_runStart;
  m_runLongest = std::max(m_runLongest, tick - m_lastTick);
  const bool steady = 2ULL * m_runLongest * m_runReports <= 3ULL * runTime;
  const bool resting = std::abs(reading.x - m_runFirst.x) <= kRestSpread &&
                       std::abs(reading.y - m_runFirst.y) <= kRestSpread;
  if (!steady || !resting) {
    StartRun(reading, tick);
    return false;
  }
  ++m_runReports;
  return m_runReports >= kSteadyRunReports &&
         runTime * m_runReports >= std::uint64_t{kSteadyRunMs} * (m_runReports - 1);
}

std::optional<std::uint32_t> CLostLiftWatch::Remaining(std::uint32_t tick) const {
  if (!m_down || !m_reportsAtRest) {
    return std::nullopt;
  }
  const std::uint32_t silence =
      std::max(kShortestSilenceMs, kSilentIntervals * std::min(m_longestInterval, 1000U));
  const std::uint32_t since = tick - m_lastTick;
  return since >= silence ? 0 : silence - since;
}

}  // namespace zt
