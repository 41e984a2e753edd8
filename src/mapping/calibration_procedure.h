#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "mapping/calib_mapper.h"

namespace zt {

// A touch is sampled at its button-down and at up to nine moves after it.
inline constexpr int kMaxTouchSamples = 10;
// Largest average deviation, in raw units on either axis, of a steady touch.
inline constexpr std::int32_t kSteadyTouchLimit = 10;
// Idle ticks (seconds) after which a run gives up.
inline constexpr int kCalibIdleTimeout = 30;
// How far, in screen-scale units on either axis, a measured point may land
// from its own target when mapped through the calibration it belongs to:
// the targets' own distance from the screen edges. A sound run lands within
// a few units, and even touches that miss their targets by 50 pixels stay
// well inside it; a set the grid cannot map sends points to (0, 0) or to
// the wrong side of the screen, thousands of units away.
inline constexpr std::int32_t kUsableCalibrationTolerance = 205;

// Centre in pixels of target index (0..8, in calibration point order) on a
// screen of width x height pixels.
IntPoint CalibrationTarget(int index, int width, int height);

// About 5 % of a screen size v, the targets' distance from the edges:
// v x 205 / 4096, with the integer part kept.
int TargetMargin(int size);

struct TouchVerdict {
  bool accepted = false;
  // The first sample plus the mean of its differences to all samples
  // (DX, DY); the measured point of the target when accepted.
  IntPoint point;
  IntPoint deviation;
};

// Judges the samples of one touch (at least one): accepted when the mean
// difference of sample 0 to every sample, truncated toward zero, is at most
// kSteadyTouchLimit on both axes.
TouchVerdict EvaluateTouch(std::span<const IntPoint> samples);

// Whether the nine measured points, mapped through the calibration they
// make, each land within kUsableCalibrationTolerance of their own target.
// False for sets the grid cannot map at all (coinciding points, a panel
// turned by a quarter).
bool IsUsableCalibration(const CalibPoints& measured);

// One calibration run: the nine targets in index order, the sampling of
// each touch and the idle count. The window feeds it the raw positions
// behind the mouse messages it receives and its timer ticks, and acts on
// the answers (timers, redraws, the end of the run).
class CCalibrationProcedure {
public:
  enum class Outcome {
    kNothing,   // no touch was sampled
    kRejected,  // unsteady: the same target again
    kAccepted,  // the next target
    kComplete,  // the ninth target was accepted
  };

  // False when the message is to be ignored (all nine targets are done).
  // Otherwise a new touch begins with raw as its first sample.
  bool ButtonDown(IntPoint raw);
  // True when the touch is still being sampled (raw is kept while there is
  // room for it).
  bool Move(IntPoint raw);
  // True when the touch was being sampled; sampling stops.
  bool Release();
  // Judges the current touch; later moves and its release are ignored.
  Outcome Evaluate();
  // One idle second more; true when the run has timed out.
  bool IdleTick();

  int Step() const { return m_nStep; }
  bool Held() const { return m_bHeld != 0; }
  bool Complete() const { return m_nStep >= kCalibPointCount; }
  int SecondsLeft() const { return kCalibIdleTimeout - m_nIdleSeconds; }
  // The accepted points; all nine are measured once Complete().
  const CalibPoints& Points() const { return m_points; }

private:
  std::int32_t m_bHeld = 0;
  std::int32_t m_bLatched = 0;
  std::int32_t m_nIdleSeconds = 0;
  std::int32_t m_nStep = 0;
  std::int32_t m_nSamples = 0;
  std::array<IntPoint, kMaxTouchSamples> m_samples{};
  CalibPoints m_points{};
};

}  // namespace zt
