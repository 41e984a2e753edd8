// Tells a lift that never came (a bad checksum, a cable pulled mid-touch)
// from a finger that rests on a controller that reports only changes.
#pragma once

#include <cstdint>
#include <optional>

#include "mapping/calib_mapper.h"

namespace zt {

// Once a controller has been seen to report while a finger rests, a touch
// it leaves silent for kSilentIntervals of its longest report interval in
// that touch (never under kShortestSilenceMs) has lost its lift. A
// controller never seen to is never taken to have lost one. It is seen to
// by a report that repeats the one before it, or by a run of at least
// kSteadyRunReports through a resting finger (readings within kRestSpread
// of the run's first), no interval over 1.5 of the run's mean, that covers
// kSteadyRunMs (each report one mean interval: the 100 reports of a
// one-second touch do). One that reports only changes skips each sample
// whose reading did not change, which a resting finger gives now and then,
// so a run that long without a skip comes from a controller that streams.
class CLostLiftWatch {
public:
  static constexpr std::uint32_t kShortestSilenceMs = 200;
  static constexpr std::uint32_t kSilentIntervals = 8;
  static constexpr std::uint32_t kSteadyRunMs = 1000;
  static constexpr std::uint32_t kSteadyRunReports = 20;
  // Raw units, about 1.5 % of the panel: wide of a resting finger's noise
  // on a noisy panel (2 px on a 1 024-px one is 8 raw units).
  static constexpr std::int32_t kRestSpread = 64;

  // Every touch report of the touch in progress (a touch-down starts one),
  // at tick; reading: the report's own values, as the controller sent them
  // (two readings may map to one point).
  void Report(std::int32_t status, IntPoint reading, std::uint32_t tick);
  // The touch ended (lifted, or ended on our side).
  void End() { m_down = false; }
  // Milliseconds from tick until the touch in progress counts as lost: 0
  // when it does; none while no touch can be lost.
  std::optional<std::uint32_t> Remaining(std::uint32_t tick) const;
  // Whether the controller has been seen to report while a finger rests
  // (so far, in any touch).
  bool ReportsAtRest() const { return m_reportsAtRest; }

private:
  void StartRun(IntPoint reading, std::uint32_t tick);
  // Takes a report into the run of steady reports at rest, or starts a new
  // run with it; true once the run is long enough.
  bool ExtendRun(IntPoint reading, std::uint32_t tick);

  bool m_reportsAtRest = false;
  bool m_down = false;
  IntPoint m_last;
  std::uint32_t m_lastTick = 0;
  std::uint32_t m_longestInterval = 0;
  IntPoint m_runFirst;
  std::uint32_t m_runStart = 0;
  std::uint32_t m_runReports = 0;
  std::uint32_t m_runLongest = 0;
};

}  // namespace zt
