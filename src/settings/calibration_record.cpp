#include "settings/calibration_record.h"

#include <cstdio>

#include "settings/settings_store.h"

namespace zt::settings {

void FormatCalibValueName(char (&name)[kCalibValueNameSize], const char* prefix, int index) {
  std::snprintf(name, sizeof name, "%s%d", prefix, index);
}

void ReadCalibrationPoints(CRegistryKey& key, CalibPoints& points) {
  char name[kCalibValueNameSize];
  for (int i = 0; i < kCalibPointCount; ++i) {
    IntPoint& point = points[static_cast<std::size_t>(i)];
    std::int32_t value = 0;
    FormatCalibValueName(name, kPointXPrefix, i);
    if (key.QueryDword(name, value)) {
      point.x = value;
    }
    FormatCalibValueName(name, kPointYPrefix, i);
    if (key.QueryDword(name, value)) {
      point.y = value;
    }
  }
}

bool WriteCalibrationPoints(CRegistryKey& key, const CalibPoints& points) {
  char name[kCalibValueNameSize];
  bool written = true;
  for (int i = 0; i < kCalibPointCount; ++i) {
    const IntPoint& point = points[static_cast<std::size_t>(i)];
    FormatCalibValueName(name, kPointXPrefix, i);
    written = key.SetDword(name, point.x) && written;
    FormatCalibValueName(name, kPointYPrefix, i);
    written = key.SetDword(name, point.y) && written;
  }
  return written;
}

}  // namespace zt::settings
