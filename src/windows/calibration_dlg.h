#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "mapping/calibration_check.h"
#include "mapping/calibration_procedure.h"
#include "mapping/calibration_run.h"
#include "platform/monitors.h"
#include "settings/settings_store.h"
#include "ui/dialog.h"
#include "windows/calibration_report.h"

namespace zt {

class CTouchHost;

// The full-screen calibration window (the "Calibration" command): it draws
// a calibration run (one target at a time, the check, the report with Keep,
// Redo and Cancel and its countdown) and feeds it the raw position behind
// each mouse message, judging each touch 1.5 s after its button-down, and
// one tick a second. Whenever the run changes the calibration touches are
// mapped through, the engine takes it at once. Ends when the run ends.
class CCalibrationDlg : public ui::CDialog {
public:
  // owner: the window kept disabled while the calibration runs. The run
  // starts from the engine's calibration.
  CCalibrationDlg(CTouchHost& host, HWND owner);

  // What the run left behind, once the dialog has ended; none when the
  // window never came up.
  std::optional<CCalibrationRun::Outcome> Outcome() const;

protected:
  bool OnCreate() override;
  bool OnInitDialog() override;
  // Enter (IDOK) never ends a run: only its own course does.
  void OnOK() override;
  void OnCancel() override;
  bool OnCommand(int id, int code, HWND control) override;
  void OnTimer(UINT_PTR id) override;
  bool OnPaint() override;
  void OnDestroy() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
  // After every input: the engine maps with the run's calibration, the
  // report comes or goes, the window is redrawn or ends with the run.
  void Follow();
  void OnButtonDown();
  void OnMouseMove();
  void OnButtonUp();
  // The touch monitor changed: the window covers it again and the run
  // starts its targets anew on it.
  void OnDisplayChange();
  // Takes the engine's touch monitor (the primary screen without one).
  void TakeMonitor();
  void RestartIdleTimer();
  // Tells the run whether the engine's link is up.
  void FollowLink();
  // The engine's raw position behind the mouse message being handled; false
  // when no engine runs.
  bool TakeRawPoint(IntPoint& raw) const;
  void DrawTarget(HDC dc) const;
  void DrawTexts(HDC dc) const;

  CTouchHost& m_host;
  std::optional<CCalibrationRun> m_run;
  LiveCalibration m_applied;
  CCalibrationReport m_report;
  bool m_bCursorShown = true;
  PixelRect m_monitor;
  int m_cxScreen = 0;
  int m_cyScreen = 0;
};

// The Calibration command with a running engine: the full-screen run, then
// what the run ended with put into effect and stored; a calibration that
// cannot be stored is said so. owner stays disabled meanwhile.
void RunCalibration(HWND owner, CTouchHost& host, settings::CSettingsStore& store);

}  // namespace zt
