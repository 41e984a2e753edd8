// What the end of a calibration run does, on Windows and on Linux alike.
#pragma once

#include <string>

#include "engine/touch_driver.h"
#include "mapping/calibration_run.h"
#include "settings/settings_store.h"

namespace zt::settings {

// Puts the calibration a run leaves behind in force on engine and stores
// what the run keeps, in one save, with the monitor the run was taken on
// when one is given (it is then the engine's too). False when that could
// not be stored: the calibration is in force all the same.
bool KeepCalibrationOutcome(CTouchDriver& engine, CSettingsStore& store,
                            const CCalibrationRun::Outcome& outcome,
                            const std::string& monitor = {});

}  // namespace zt::settings
