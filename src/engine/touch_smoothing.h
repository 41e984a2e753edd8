// Smoothing of the positions of one touch: a resistive panel reports a
// resting finger with noise, and now and then a single wild reading.
#pragma once

#include <array>
#include <cstdint>

#include "mapping/calib_mapper.h"

namespace zt {

// Smoothing strengths ("Smoothing"): 0 off, 1 light, 2 medium, 3 strong.
inline constexpr std::int32_t kSmoothingOff = 0;
inline constexpr std::int32_t kSmoothingStrongest = 3;

// Filters the mapped positions (screen-scale units) of one touch, report by
// report, and starts afresh at every touch-down:
// - a single report far from the ones around it (a spike) is dropped; a
//   jump that the next report confirms is taken, one report late;
// - while the finger rests (the mean of the last few reports stays within a
//   small radius) the pointer stands still on their mean;
// - a moving finger is followed closely (a fast one all the way to each
//   report, a slow one three quarters of the way), and once it stops the
//   pointer settles on the mean of the last reports.
// The touch-down and the lift pass unfiltered: the press and the release
// happen where the finger really is.
class CTouchSmoother {
public:
  IntPoint Filter(std::int32_t status, IntPoint point, std::int32_t level);

private:
  static constexpr std::size_t kWindow = 4;
  struct Strength {
    double restRadius;  // how far the recent mean may wander while resting
    double spikeJump;   // a jump larger than this waits for confirmation
  };

  void Restart(IntPoint point);
  void Accept(IntPoint point, const Strength& strength);
  bool Far(IntPoint a, IntPoint b, double limit) const;

  std::array<IntPoint, kWindow> m_recent{};
  std::size_t m_count = 0;  // reports in m_recent, at most kWindow
  std::size_t m_next = 0;   // where the next one goes
  double m_x = 0.0;
  double m_y = 0.0;
  bool m_resting = true;
  bool m_suspect = false;
  IntPoint m_suspectPoint;
};

}  // namespace zt
