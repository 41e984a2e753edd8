#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "mapping/calibration_check.h"
#include "mapping/calibration_procedure.h"
#include "platform/monitors.h"
#include "settings/settings_store.h"
#include "ui/dialog.h"
#include "windows/calibration_report.h"

namespace zt {

class CTouchHost;

// The full-screen calibration window (the "Calibration" command): one target at a time, each touch
// sampled through the engine's raw position while the finger rests on it
// and judged 1.5 s after its button-down. After the ninth target (of a set
// the grid can map) four check targets follow, then the report of both
// mappings with Keep, Redo and Cancel. Ends with IDOK on Keep, or when the
// check is cancelled (Escape, 30 idle seconds) or skipped; with IDCANCEL
// on Cancel, or on Escape or 30 idle seconds during the nine targets.
class CCalibrationDlg : public ui::CDialog {
public:
  // owner: the window kept disabled while the calibration runs.
  CCalibrationDlg(CTouchHost& host, HWND owner);

  // True once all nine targets have been accepted.
  bool Complete() const { return m_run.Complete(); }
  // The measured raw point of each target; meaningful only when Complete().
  const CalibPoints& Points() const { return m_run.Points(); }
  // The mapping ticked at Keep; nothing when the check did not end so.
  std::optional<std::int32_t> ChosenMapping() const { return m_chosenMapping; }

protected:
  bool OnCreate() override;
  bool OnInitDialog() override;
  // Ends the run with success, but only once all nine targets are measured:
  // Enter sends IDOK too, and is ignored before then.
  void OnOK() override;
  // Escape: during the check it cancels only the check.
  void OnCancel() override;
  bool OnCommand(int id, int code, HWND control) override;
  void OnTimer(UINT_PTR id) override;
  bool OnPaint() override;
  void OnDestroy() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
  enum class Phase { kTargets, kCheck, kReport };

  // The touch being sampled: on a target or on a check target.
  CCalibrationProcedure& Touch();
  const CCalibrationProcedure& Touch() const;
  void StartCheck();
  void Finish();
  void Redo();
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
  Phase m_phase = Phase::kTargets;
  std::optional<CCalibrationCheck> m_check;
  CCalibrationReport m_report;
  std::optional<std::int32_t> m_chosenMapping;
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
