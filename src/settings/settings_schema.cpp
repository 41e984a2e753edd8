#include "settings/settings_schema.h"

#include <cstring>

#include "calibration/calibration_record.h"
#include "settings/registry_key.h"

namespace zt::settings {
namespace {

// Copies the value into field only when it is a readable REG_DWORD, so a
// failed read never changes a setting.
void ReadDword(CRegistryKey& key, const char* name, std::int32_t& field) {
  std::int32_t value = 0;
  if (key.QueryDword(name, value)) {
    field = value;
  }
}

// Reads a text value of any stored type. It ends at its first NUL or after
// the bytes received; a text that fills the whole buffer without a NUL is
// too long and counts as absent. text changes only on success.
bool ReadText(CRegistryKey& key, const char* name, char (&text)[kTextSize]) {
  char buffer[kTextSize] = {};
  std::uint32_t size = kTextSize;
  if (!key.QueryValue(name, buffer, size) || size > kTextSize) {
    return false;
  }
  const std::size_t length = strnlen(buffer, size);
  if (length == kTextSize) {
    return false;
  }
  std::memcpy(text, buffer, length);
  text[length] = '\0';
  return true;
}

bool OpenForReading(CRegistryKey& key, const KeyLocation& where) {
  return key.Open(where.root, where.subKey, reg::kKeyQueryValue);
}

bool OpenForWriting(CRegistryKey& key, const KeyLocation& where) {
  return key.Open(where.root, where.subKey, reg::kKeySetValue);
}

}  // namespace

bool LoadHostSettings(IRegistry& registry, HostSettings& settings, const KeyLocation& where) {
  CRegistryKey key(registry);
  if (!OpenForReading(key, where)) {
    return true;
  }
  const bool portRead = ReadText(key, kPort, settings.port);
  ReadDword(key, kFirst, settings.first);
  ReadDword(key, kRight, settings.right);
  ReadDword(key, kStartUpMode, settings.startUpMode);
  key.Close();
  return portRead;
}

bool LoadEngineSettings(IRegistry& registry, EngineSettings& settings, CGridMapper& liveMapper,
                        const SetDoubleClickTimeFn& setDoubleClickTime, const KeyLocation& where) {
  ResetCalibration(liveMapper);
  CRegistryKey key(registry);
  if (!OpenForReading(key, where)) {
    return false;
  }
  CalibPoints points = kDefaultCalibPoints;
  ReadCalibrationPoints(key, points);

  std::int32_t dTime = 0;
  if (key.QueryDword(kDTime, dTime)) {
    if (setDoubleClickTime) {
      setDoubleClickTime(dTime);
    }
    settings.dTime = dTime;
  }
  ReadDword(key, kDZone, settings.dZone);
  ReadDword(key, kDZoneX, settings.dZoneX);
  ReadDword(key, kDZoneY, settings.dZoneY);
  ReadDword(key, kBeep, settings.beep);
  ReadDword(key, kFreq, settings.freq);
  ReadDword(key, kDuration, settings.duration);
  ReadDword(key, kTouchMode, settings.touchMode);
  key.Close();

  liveMapper.ReplacePoints(points);
  return true;
}

bool ReadWindowTitle(IRegistry& registry, std::string& title, const KeyLocation& where) {
  title.clear();
  CRegistryKey key(registry);
  if (!OpenForReading(key, where)) {
    return false;
  }
  char text[kTextSize] = {};
  title = ReadText(key, kWindowTitle, text) ? text : kDefaultWindowTitle;
  key.Close();
  return true;
}

bool SavePort(IRegistry& registry, const char* port, const KeyLocation& where) {
  CRegistryKey key(registry);
  if (!OpenForWriting(key, where)) {
    return false;
  }
  const bool written = key.SetString(kPort, port);
  key.Close();
  return written;
}

bool StoreCalibration(IRegistry& registry, const CalibPoints& points, const KeyLocation& where) {
  CRegistryKey key(registry);
  if (!OpenForWriting(key, where)) {
    return false;
  }
  WriteCalibrationPoints(key, points);
  key.SetDword(kFirst, 0);
  key.Close();
  return true;
}

bool SaveMouseSettings(IRegistry& registry, const EngineSettings& settings,
                       const KeyLocation& where) {
  CRegistryKey key(registry);
  if (!OpenForWriting(key, where)) {
    return false;
  }
  key.SetDword(kDTime, settings.dTime);
  key.SetDword(kDZone, settings.dZone);
  key.SetDword(kDZoneX, settings.dZoneX);
  key.SetDword(kDZoneY, settings.dZoneY);
  key.SetDword(kBeep, settings.beep);
  key.SetDword(kFreq, settings.freq);
  key.SetDword(kDuration, settings.duration);
  key.Close();
  return true;
}

bool SaveRight(IRegistry& registry, std::int32_t right, const KeyLocation& where) {
  CRegistryKey key(registry);
  if (!OpenForWriting(key, where)) {
    return false;
  }
  key.SetDword(kRight, right);
  key.Close();
  return true;
}

bool SaveTouchMode(IRegistry& registry, std::int32_t touchMode, const KeyLocation& where) {
  CRegistryKey key(registry);
  if (!OpenForWriting(key, where)) {
    return false;
  }
  key.SetDword(kTouchMode, touchMode);
  key.Close();
  return true;
}

}  // namespace zt::settings
