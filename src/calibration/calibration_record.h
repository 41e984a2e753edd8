#pragma once

#include "calibration/calib_mapper.h"
#include "platform/registry.h"
#include "settings/registry_key.h"
#include "settings/settings_schema.h"

namespace zt {

// Room for "PX0" .. "PY8" and their NUL.
inline constexpr int kCalibValueNameSize = 8;

// Builds the value name of one coordinate: prefix ("PX" or "PY") followed by
// the point's index in decimal.
void FormatCalibValueName(char (&name)[kCalibValueNameSize], const char* prefix, int index);

// Reads PX0, PY0, PX1, PY1 .. PX8, PY8 from an open key into points; a
// coordinate that cannot be read keeps the value it had.
void ReadCalibrationPoints(CRegistryKey& key, CalibPoints& points);

// Writes the eighteen coordinates in the same interleaved order. A failed
// write does not stop the others.
void WriteCalibrationPoints(CRegistryKey& key, const CalibPoints& points);

// The default calibration with its orientation, in one step.
void ResetCalibration(CGridMapper& liveMapper);

// Copies the live points into the backup; the backup's flag is not touched.
void SaveCalibrationPoints(const CGridMapper& liveMapper, CGridMapper& backupMapper);

// Copies the backup's points back into the live mapper and recomputes its
// orientation in the same step.
void RestoreCalibrationPoints(const CGridMapper& backupMapper, CGridMapper& liveMapper);

// Puts a measured calibration into effect at once, then stores it with
// "First" = 0. Returns whether it was stored; when the key cannot be opened
// the new points stay in effect but nothing is written.
bool ApplyAndStoreCalibration(IRegistry& registry, CGridMapper& liveMapper,
                              const CalibPoints& measured,
                              const settings::KeyLocation& where = settings::kSettingsKey);

}  // namespace zt
