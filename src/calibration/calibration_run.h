#pragma once

namespace zt {

class CTouchMainDlg;

// The Calibration command with a running engine: the full-screen run, then
// the new calibration applied and stored, or the previous one restored.
void RunCalibration(CTouchMainDlg& mainWindow);

}  // namespace zt
