#include "engine/press_and_hold.h"

#include <cstdlib>

namespace zt {

const char* CPressAndHold::Name(State state) {
  switch (state) {
    case State::kIdle:
      return "idle";
    case State::kResting:
      return "resting";
    case State::kArmed:
      return "armed";
    case State::kLeft:
      return "left";
  }
  return "?";
}

void CPressAndHold::Begin(IntPoint point, std::uint32_t tick, std::uint32_t holdTime,
                          std::int32_t tolerance) {
  m_state = State::kResting;
  m_origin = point;
  m_downTick = tick;
  m_holdTime = holdTime;
  m_tolerance = tolerance;
}

CPressAndHold::State CPressAndHold::Move(IntPoint point, std::uint32_t tick) {
  if (Holding()) {
    CountTime(tick);
    if (!InTolerance(point)) {
      m_state = State::kLeft;
    }
  }
  return m_state;
}

CPressAndHold::State CPressAndHold::Tick(std::uint32_t tick) {
  CountTime(tick);
  return m_state;
}

std::optional<std::uint32_t> CPressAndHold::Remaining(std::uint32_t tick) const {
  if (m_state != State::kResting) {
    return std::nullopt;
  }
  const std::uint32_t held = tick - m_downTick;
  return held >= m_holdTime ? 0 : m_holdTime - held;
}

CPressAndHold::State CPressAndHold::Lift() {
  const State found = m_state;
  m_state = State::kIdle;
  return found;
}

// The tick counter wraps every 2^32 ms: the unsigned difference is the time
// elapsed across a wrap too.
void CPressAndHold::CountTime(std::uint32_t tick) {
  if (m_state == State::kResting && tick - m_downTick >= m_holdTime) {
    m_state = State::kArmed;
  }
}

bool CPressAndHold::InTolerance(IntPoint point) const {
  return std::abs(point.x - m_origin.x) <= m_tolerance &&
         std::abs(point.y - m_origin.y) <= m_tolerance;
}

}  // namespace zt
