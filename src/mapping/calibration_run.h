// A calibration run from its first target to its end, as a state machine:
// the nine targets, the four check targets, the report, and its ends (Keep,
// Redo, Cancel, Escape, the idle time-out), with the calibration the
// touches are mapped through in each state and what is stored at the end.
// The window draws it and feeds it touches, keys and ticks.
#pragma once

#include <cstdint>
#include <optional>

#include "mapping/calib_mapper.h"
#include "mapping/calibration_check.h"
#include "mapping/calibration_procedure.h"

namespace zt {

// What touches are mapped through: a set of points and its mapping.
struct LiveCalibration {
  CalibPoints points = kDefaultCalibPoints;
  std::int32_t mapping = kMappingGrid;

  bool operator==(const LiveCalibration&) const = default;
};

class CCalibrationRun {
public:
  enum class State {
    kTargets,  // the default points: a touch anywhere reaches the window
    kCheck,    // the grid of the nine new points: the pointer is on the finger
    kReport,   // as the check, so that Keep, Redo and Cancel can be touched
    kEnded,
  };
  enum class Ending {
    kNone,
    kKept,        // Keep: the new points and the ticked mapping, both stored
    kPointsKept,  // Escape or the time-out after the nine: the new points
                  // stored, the mapping as it was
    kCancelled,   // Cancel, Escape or the time-out during the nine, or a set
                  // the grid cannot map: the calibration from before the run
  };

  // What a run leaves behind: the calibration to use from now on, and what
  // of it is stored.
  struct Outcome {
    LiveCalibration use;
    bool storePoints = false;
    bool storeMapping = false;
  };

  // When the window judges a touch after its button-down (Evaluate), and
  // how often it ticks without one (IdleTick).
  static constexpr std::uint32_t kEvaluateDelayMs = 1500;
  static constexpr std::uint32_t kIdleTickMs = 1000;

  // before: the calibration in force when the run starts; width x height:
  // the touch screen's monitor in pixels.
  CCalibrationRun(const LiveCalibration& before, int width, int height);

  // The monitor changed size or place (a display change): targets taken on
  // the old geometry mean nothing there, so the run starts its targets
  // again on the new one.
  void Resize(int width, int height);

  // A touch on the window at the raw point behind it: its button-down,
  // moves and button-up. Each returns true when it was taken.
  bool ButtonDown(IntPoint raw);
  bool Move(IntPoint raw);
  bool Release();
  // Judges the touch, 1.5 s after its button-down.
  void Evaluate();
  // One second without a judged touch (on the report: without a touch).
  void IdleTick();
  // A touch anywhere on the report: its countdown starts again.
  void TouchOnReport();
  // The touch screen's link went away or came back. While it is away no
  // time-out runs (touches cannot come: the user has not walked away), and
  // once it is back the run goes on where it was.
  void SetLinkUp(bool up) { m_linkUp = up; }
  bool LinkUp() const { return m_linkUp; }
  void Escape();
  void Keep(std::int32_t tickedMapping);
  void Redo();
  void Cancel();

  State GetState() const { return m_state; }
  Ending GetEnding() const { return m_ending; }
  // Also for a run that never ended (its window went first): the
  // calibration from before, nothing stored.
  Outcome GetOutcome() const;
  const LiveCalibration& Live() const { return m_live; }
  // The nine points taken; meaningful once past the targets.
  const CalibPoints& Measured() const { return m_targets.Points(); }
  // The target asked for now, its number in its series, in pixels.
  IntPoint Target() const;
  int Step() const;
  bool Held() const;
  bool AskedAgain() const;
  int SecondsLeft() const;
  // Meaningful in kReport.
  CheckReport Report() const;

private:
  CCalibrationProcedure& Touch();
  const CCalibrationProcedure& Touch() const;
  bool Sampling() const { return m_state == State::kTargets || m_state == State::kCheck; }
  void OnNineTaken();
  void RestartTargets();
  void End(Ending ending, std::int32_t mapping);

  LiveCalibration m_before;
  LiveCalibration m_live;
  int m_width;
  int m_height;
  State m_state = State::kTargets;
  Ending m_ending = Ending::kNone;
  CCalibrationProcedure m_targets;
  std::optional<CCalibrationCheck> m_check;
  int m_reportIdleSeconds = 0;
  bool m_linkUp = true;
};

}  // namespace zt
