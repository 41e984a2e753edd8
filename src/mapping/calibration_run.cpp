#include "mapping/calibration_run.h"

namespace zt {

CCalibrationRun::CCalibrationRun(const LiveCalibration& before, int width, int height)
    : m_before(before), m_width(width), m_height(height) {}

void CCalibrationRun::Resize(int width, int height) {
  if (m_state == State::kEnded) {
    return;
  }
  m_width = width;
  m_height = height;
  RestartTargets();
}

void CCalibrationRun::RestartTargets() {
  m_targets = CCalibrationProcedure{};
  m_check.reset();
  m_live = LiveCalibration{};
  m_state = State::kTargets;
}

CCalibrationRun::Outcome CCalibrationRun::GetOutcome() const {
  switch (m_ending) {
    case Ending::kKept:
      return {m_live, true, true};
    case Ending::kPointsKept:
      return {m_live, true, false};
    case Ending::kCancelled:
    case Ending::kNone:
      break;
  }
  return {m_before, false, false};
}

CCalibrationProcedure& CCalibrationRun::Touch() {
  return m_state == State::kCheck ? m_check->Touch() : m_targets;
}

const CCalibrationProcedure& CCalibrationRun::Touch() const {
  return m_state == State::kCheck ? m_check->Touch() : m_targets;
}

bool CCalibrationRun::ButtonDown(IntPoint raw) {
  return Sampling() && Touch().ButtonDown(raw);
}

bool CCalibrationRun::Move(IntPoint raw) {
  return Sampling() && Touch().Move(raw);
}

bool CCalibrationRun::Release() {
  return Sampling() && Touch().Release();
}

void CCalibrationRun::Evaluate() {
  if (!Sampling()) {
    return;
  }
  const CCalibrationProcedure::Outcome outcome = Touch().Evaluate();
  if (m_state == State::kTargets && outcome == CCalibrationProcedure::Outcome::kComplete) {
    OnNineTaken();
  } else if (m_state == State::kCheck && outcome == CCalibrationProcedure::Outcome::kAccepted) {
    m_check->TakeAccepted();
    if (m_check->Complete()) {
      m_state = State::kReport;
      m_reportIdleSeconds = 0;
    }
  }
}

// From here on the finger is where the new points put it. A set the grid
// cannot map has nothing to check: it is dropped.
void CCalibrationRun::OnNineTaken() {
  if (!IsUsableCalibration(Measured())) {
    End(Ending::kCancelled, m_before.mapping);
    return;
  }
  m_check.emplace(Measured(), m_width, m_height);
  m_live = {Measured(), kMappingGrid};
  m_state = State::kCheck;
}

void CCalibrationRun::IdleTick() {
  if (!m_linkUp) {
    return;
  }
  if (m_state == State::kReport) {
    if (++m_reportIdleSeconds >= kCalibIdleTimeout) {
      Escape();
    }
  } else if (Sampling() && Touch().IdleTick()) {
    Escape();
  }
}

void CCalibrationRun::TouchOnReport() {
  m_reportIdleSeconds = 0;
}

void CCalibrationRun::Escape() {
  if (m_state == State::kTargets) {
    Cancel();
  } else if (m_state != State::kEnded) {
    End(Ending::kPointsKept, m_before.mapping);
  }
}

void CCalibrationRun::Keep(std::int32_t tickedMapping) {
  if (m_state == State::kReport) {
    End(Ending::kKept, tickedMapping);
  }
}

void CCalibrationRun::Redo() {
  if (m_state == State::kReport) {
    RestartTargets();
  }
}

void CCalibrationRun::Cancel() {
  if (m_state != State::kEnded) {
    End(Ending::kCancelled, m_before.mapping);
  }
}

void CCalibrationRun::End(Ending ending, std::int32_t mapping) {
  m_live = ending == Ending::kCancelled ? m_before : LiveCalibration{Measured(), mapping};
  m_ending = ending;
  m_state = State::kEnded;
}

IntPoint CCalibrationRun::Target() const {
  return m_state == State::kCheck ? CheckTarget(m_check->Step(), m_width, m_height)
                                  : CalibrationTarget(m_targets.Step(), m_width, m_height);
}

int CCalibrationRun::Step() const {
  return m_state == State::kCheck ? m_check->Step() : m_targets.Step();
}

bool CCalibrationRun::Held() const {
  return Sampling() && Touch().Held();
}

bool CCalibrationRun::AskedAgain() const {
  return m_state == State::kCheck && m_check->AskedAgain();
}

int CCalibrationRun::SecondsLeft() const {
  return m_state == State::kReport ? kCalibIdleTimeout - m_reportIdleSeconds
                                   : Touch().SecondsLeft();
}

CheckReport CCalibrationRun::Report() const {
  return m_check ? m_check->Report() : CheckReport{};
}

}  // namespace zt
