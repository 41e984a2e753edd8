#pragma once

#include <windows.h>

#include <string>

#include "mapping/calibration_procedure.h"
#include "platform/monitors.h"
#include "settings/settings_store.h"
#include "ui/dialog.h"

namespace zt {

class CTouchHost;

// The full-screen calibration window (the "Calibration" command): one target at a time, each touch
// sampled through the engine's raw position while the finger rests on it
// and judged 1.5 s after its button-down. Ends with IDOK after the ninth
// accepted target, with IDCANCEL on Escape or after 30 idle seconds.
class CCalibrationDlg : public ui::CDialog {
public:
  // owner: the window kept disabled while the calibration runs.
  CCalibrationDlg(CTouchHost& host, HWND owner);

  // True once all nine targets have been accepted.
  bool Complete() const { return m_run.Complete(); }
  // The measured raw point of each target; meaningful only when Complete().
  const CalibPoints& Points() const { return m_run.Points(); }

protected:
  bool OnCreate() override;
  bool OnInitDialog() override;
  // Ends the run with success, but only once all nine targets are measured:
  // Enter sends IDOK too, and is ignored before then.
  void OnOK() override;
  void OnTimer(UINT_PTR id) override;
  bool OnPaint() override;
  void OnDestroy() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
  void OnButtonDown();
  void OnMouseMove();
  void OnButtonUp();
  void OnEvaluate();
  void OnIdleTick();
  void RestartIdleTimer();
  void Redraw();
  // The engine's raw position behind the mouse message being handled; false
  // when no engine runs.
  bool TakeRawPoint(IntPoint& raw) const;
  void DrawTarget(HDC dc) const;
  void DrawTexts(HDC dc) const;

  CTouchHost& m_host;
  CCalibrationProcedure m_run;
  PixelRect m_monitor;
  int m_cxScreen = 0;
  int m_cyScreen = 0;
  std::string m_strStep;
};

// The Calibration command with a running engine: the full-screen run, then
// the new calibration applied and stored, or the previous one restored.
// owner stays disabled meanwhile.
void RunCalibration(HWND owner, CTouchHost& host, settings::CSettingsStore& store);

}  // namespace zt
