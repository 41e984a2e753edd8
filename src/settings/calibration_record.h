// The calibration record's registry form: the nine points as the REG_DWORD
// values PX0, PY0, PX1, PY1 .. PX8, PY8.
#pragma once

#include "mapping/calib_mapper.h"
#include "settings/registry_key.h"

namespace zt::settings {

// Room for "PX0" .. "PY8" and their NUL.
inline constexpr int kCalibValueNameSize = 8;

// Builds the value name of one coordinate: prefix ("PX" or "PY") followed by
// the point's index in decimal.
void FormatCalibValueName(char (&name)[kCalibValueNameSize], const char* prefix, int index);

// Reads the eighteen coordinates from an open key into points, in that
// interleaved order; a coordinate that cannot be read keeps its value.
void ReadCalibrationPoints(CRegistryKey& key, CalibPoints& points);

// Writes them in the same order. A failed write does not stop the others;
// true when every one was written.
bool WriteCalibrationPoints(CRegistryKey& key, const CalibPoints& points);

}  // namespace zt::settings
