#include "calibration/calibration_run.h"

#include "app/main_dialog.h"
#include "calibration/calibration_dialog.h"
#include "calibration/calibration_procedure.h"
#include "calibration/calibration_record.h"

namespace zt {

// While the window is up the engine maps with the default calibration, so
// the pointer follows the finger over the whole screen and the window
// receives every touch. The main window stays disabled meanwhile, so that
// none of its commands can start another run or replace the engine.
void RunCalibration(CTouchMainDlg& mainWindow) {
  CTouchHost& host = mainWindow.Host();
  CTouchDriver* engine = host.Driver();
  if (engine == nullptr) {
    return;
  }
  CCalibrationDlg dialog(host, mainWindow.GetSafeHwnd());
  engine->SaveCalibration();
  ResetCalibration(engine->LiveMapper());

  const bool measured = dialog.DoModal() == IDOK && dialog.Complete();
  if (host.Driver() != engine) {
    return;  // another engine, which loaded the stored calibration itself
  }
  // A set the grid cannot map would leave the touch screen unusable: it
  // is dropped like a cancelled run.
  if (measured && IsUsableCalibration(dialog.Points())) {
    ApplyAndStoreCalibration(mainWindow.Platform().registry, engine->LiveMapper(), dialog.Points());
  } else {
    engine->RestoreCalibration();
  }
}

}  // namespace zt
