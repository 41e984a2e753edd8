// Press-and-hold: a touch that rests for the hold time becomes a right
// click at its lift.
#pragma once

#include <cstdint>
#include <optional>

#include "mapping/calib_mapper.h"

namespace zt {

// The hold of one touch, decided from the tick counts of its reports and of
// the engine's timer. What the ring round the finger shows is what this
// decides: it fills while resting, is full when armed, and goes when the
// touch leaves the tolerance or lifts. Every event is a transition:
//   idle    --Begin-->  resting
//   resting --a report or the timer after the hold time, within the tolerance-->  armed
//   resting, armed --a report outside the tolerance-->  left  (a drag)
//   any --Lift or Cancel-->  idle; Lift says what it found
class CPressAndHold {
public:
  enum class State : std::uint8_t {
    kIdle,     // no touch held
    kResting,  // within the tolerance, before the hold time
    kArmed,    // within the tolerance after the hold time: the lift is a right click
    kLeft,     // left the tolerance: an ordinary touch from there on
  };
  static const char* Name(State state);

  // The touch went down at point (absolute units) at tick; holdTime in ms,
  // tolerance in absolute units on either axis.
  void Begin(IntPoint point, std::uint32_t tick, std::uint32_t holdTime, std::int32_t tolerance);
  // A report of the touch; returns the new state.
  State Move(IntPoint point, std::uint32_t tick);
  // Time passes with no report; returns the new state.
  State Tick(std::uint32_t tick);
  // Milliseconds from tick until the hold time ends; none unless resting.
  std::optional<std::uint32_t> Remaining(std::uint32_t tick) const;
  // The lift (its reading is not trusted: it is no move); returns the state
  // it found and goes idle.
  State Lift();
  void Cancel() { m_state = State::kIdle; }

  State GetState() const { return m_state; }
  // Resting or armed: the ring shows.
  bool Holding() const { return m_state == State::kResting || m_state == State::kArmed; }
  IntPoint Origin() const { return m_origin; }
  bool InTolerance(IntPoint point) const;

private:
  void CountTime(std::uint32_t tick);

  State m_state = State::kIdle;
  IntPoint m_origin;
  std::uint32_t m_downTick = 0;
  std::uint32_t m_holdTime = 0;
  std::int32_t m_tolerance = 0;
};

}  // namespace zt
