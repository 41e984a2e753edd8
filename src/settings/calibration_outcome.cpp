#include "settings/calibration_outcome.h"

namespace zt::settings {

bool KeepCalibrationOutcome(CTouchDriver& engine, CSettingsStore& store,
                            const CCalibrationRun::Outcome& outcome, const std::string& monitor) {
  const bool stores = outcome.storePoints || outcome.storeMapping;
  if (stores && !monitor.empty()) {
    EngineSettings settings = engine.Settings();
    settings.monitor = monitor;
    engine.ApplySettings(settings);
  }
  engine.UseCalibration(outcome.use);
  return !stores ||
         store.StoreCalibrationSet(outcome.storePoints ? &outcome.use.points : nullptr,
                                   outcome.storeMapping ? &outcome.use.mapping : nullptr, monitor);
}

}  // namespace zt::settings
