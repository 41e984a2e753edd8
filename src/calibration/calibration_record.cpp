#include "calibration/calibration_record.h"

#include <cstdio>

namespace zt {

void FormatCalibValueName(char (&name)[kCalibValueNameSize], const char* prefix, int index) {
  std::snprintf(name, sizeof name, "%s%d", prefix, index);
}

void ReadCalibrationPoints(CRegistryKey& key, CalibPoints& points) {
  char name[kCalibValueNameSize];
  for (int i = 0; i < kCalibPointCount; ++i) {
    IntPoint& point = points[static_cast<std::size_t>(i)];
    std::int32_t value = 0;
    FormatCalibValueName(name, settings::kPointXPrefix, i);
    if (key.QueryDword(name, value)) {
      point.x = value;
    }
    FormatCalibValueName(name, settings::kPointYPrefix, i);
    if (key.QueryDword(name, value)) {
      point.y = value;
    }
  }
}

void WriteCalibrationPoints(CRegistryKey& key, const CalibPoints& points) {
  char name[kCalibValueNameSize];
  for (int i = 0; i < kCalibPointCount; ++i) {
    const IntPoint& point = points[static_cast<std::size_t>(i)];
    FormatCalibValueName(name, settings::kPointXPrefix, i);
    key.SetDword(name, point.x);
    FormatCalibValueName(name, settings::kPointYPrefix, i);
    key.SetDword(name, point.y);
  }
}

void ResetCalibration(CGridMapper& liveMapper) {
  liveMapper.ReplacePoints(kDefaultCalibPoints);
}

void SaveCalibrationPoints(const CGridMapper& liveMapper, CGridMapper& backupMapper) {
  backupMapper.SetPoints(liveMapper.Points());
}

void RestoreCalibrationPoints(const CGridMapper& backupMapper, CGridMapper& liveMapper) {
  liveMapper.ReplacePoints(backupMapper.Points());
}

bool ApplyAndStoreCalibration(IRegistry& registry, CGridMapper& liveMapper,
                              const CalibPoints& measured, const settings::KeyLocation& where) {
  liveMapper.ReplacePoints(measured);
  return settings::StoreCalibration(registry, measured, where);
}

}  // namespace zt
