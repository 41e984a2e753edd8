// Tells a lift that never came (a bad checksum, a cable pulled mid-touch)
// from a finger that rests on a controller that reports only changes.
#pragma once

#include <cstdint>
#include <optional>

#include "mapping/calib_mapper.h"

namespace zt {

// A controller that sends a report repeating the one before it reports
// while a finger rests; once one has been seen to, a touch it leaves silent
// for kSilentIntervals of its longest report interval in that touch (never
// under kShortestSilenceMs) has lost its lift. A controller never seen to
// repeat a report is never taken to have lost one.
class CLostLiftWatch {
public:
  static constexpr std::uint32_t kShortestSilenceMs = 200;
  static constexpr std::uint32_t kSilentIntervals = 8;

  // Every touch report of the touch in progress (a touch-down starts one),
  // at tick; reading: the report's own values, as the controller sent them
  // (two readings may map to one point).
  void Report(std::int32_t status, IntPoint reading, std::uint32_t tick);
  // The touch ended (lifted, or ended on our side).
  void End() { m_down = false; }
  // Milliseconds from tick until the touch in progress counts as lost: 0
  // when it does; none while no touch can be lost.
  std::optional<std::uint32_t> Remaining(std::uint32_t tick) const;
  // Whether the controller has been seen to repeat a report while a finger
  // rests (so far, in any touch).
  bool ReportsAtRest() const { return m_repeats; }

private:
  bool m_repeats = false;
  bool m_down = false;
  IntPoint m_last;
  std::uint32_t m_lastTick = 0;
  std::uint32_t m_longestInterval = 0;
};

}  // namespace zt
