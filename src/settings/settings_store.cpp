#include "settings/settings_store.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "engine/health.h"
#include "settings/calibration_record.h"
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

}  // namespace

CSettingsStore::CSettingsStore(IRegistry& registry, const KeyLocation& where)
    : m_registry(registry), m_where(where) {}

bool CSettingsStore::LoadHostSettings(HostSettings& settings) {
  CRegistryKey key(m_registry);
  if (!key.Open(m_where.root, m_where.subKey, reg::kKeyQueryValue)) {
    return true;
  }
  const bool portRead = ReadText(key, kPort, settings.port);
  ReadDword(key, kFirst, settings.first);
  ReadDword(key, kRight, settings.right);
  ReadDword(key, kStartUpMode, settings.startUpMode);
  return portRead;
}

bool CSettingsStore::LoadEngineSettings(EngineSettings& settings) {
  CRegistryKey key(m_registry);
  if (!key.Open(m_where.root, m_where.subKey, reg::kKeyQueryValue)) {
    return false;
  }
  EngineSettings loaded = settings;
  loaded.points = kDefaultCalibPoints;
  ReadCalibrationPoints(key, loaded.points);
  ReadDword(key, kDTime, loaded.dTime);
  ReadDword(key, kDZone, loaded.dZone);
  ReadDword(key, kDZoneX, loaded.dZoneX);
  ReadDword(key, kDZoneY, loaded.dZoneY);
  ReadDword(key, kBeep, loaded.beep);
  ReadDword(key, kFreq, loaded.freq);
  ReadDword(key, kDuration, loaded.duration);
  ReadDword(key, kTouchMode, loaded.touchMode);
  ReadDword(key, kReconnect, loaded.reconnect);
  ReadDword(key, kMapping, loaded.mapping);
  ReadDword(key, kHoldRight, loaded.holdRight);
  ReadDword(key, kHoldZone, loaded.holdZone);
  ReadDword(key, kSmoothing, loaded.smoothing);
  ReadDword(key, kOutput, loaded.output);
  std::int32_t stored = 0;
  if (key.QueryDword(kCalibrationTime, stored)) {
    m_calibrationStored = static_cast<std::uint32_t>(stored);
  }
  char monitor[kTextSize] = {};
  loaded.monitor = ReadText(key, kMonitor, monitor) ? monitor : "";
  loaded.freq = std::clamp(loaded.freq, kMinFreq, kMaxFreq);
  loaded.duration = std::clamp(loaded.duration, 0, kMaxDuration);
  loaded.holdRight = std::max(loaded.holdRight, 0);
  loaded.holdZone = loaded.holdZone < 0 ? kDefaultHoldZone : loaded.holdZone;
  settings = loaded;
  return true;
}

bool CSettingsStore::ReadWindowTitle(std::string& title) {
  title.clear();
  CRegistryKey key(m_registry);
  if (!key.Open(m_where.root, m_where.subKey, reg::kKeyQueryValue)) {
    return false;
  }
  char text[kTextSize] = {};
  title = ReadText(key, kWindowTitle, text) ? text : kDefaultWindowTitle;
  return true;
}

std::string CSettingsStore::ReadTextValue(const char* name) {
  CRegistryKey key(m_registry);
  char text[kTextSize] = {};
  return key.Open(m_where.root, m_where.subKey, reg::kKeyQueryValue) && ReadText(key, name, text)
             ? text
             : "";
}

bool CSettingsStore::SavePort(const char* port) {
  CRegistryKey key(m_registry);
  return key.Open(m_where.root, m_where.subKey, reg::kKeySetValue) && key.SetString(kPort, port) &&
         key.Close();
}

bool CSettingsStore::StoreCalibration(const CalibPoints& points) {
  return StoreCalibrationSet(&points, nullptr, "");
}

bool CSettingsStore::StoreCalibrationSet(const CalibPoints* points, const std::int32_t* mapping,
                                         const std::string& monitor) {
  CRegistryKey key(m_registry);
  if (!key.Open(m_where.root, m_where.subKey, reg::kKeySetValue)) {
    return false;
  }
  bool written = true;
  const std::int64_t now = UnixNow();
  if (points != nullptr) {
    written = WriteCalibrationPoints(key, *points) && key.SetDword(kFirst, 0) &&
              key.SetDword(kCalibrationTime, static_cast<std::int32_t>(now));
  }
  if (mapping != nullptr) {
    written = key.SetDword(kMapping, *mapping) && written;
  }
  if (!monitor.empty()) {
    written = key.SetString(kMonitor, monitor.c_str()) && written;
  }
  written = key.Close() && written;
  if (written && points != nullptr) {
    m_calibrationStored = now;
  }
  return written;
}

bool CSettingsStore::SaveMouseSettings(const EngineSettings& settings) {
  CRegistryKey key(m_registry);
  if (!key.Open(m_where.root, m_where.subKey, reg::kKeySetValue)) {
    return false;
  }
  bool written = true;
  for (const auto& [name, value] :
       {std::pair{kDTime, settings.dTime}, std::pair{kDZone, settings.dZone},
        std::pair{kDZoneX, settings.dZoneX}, std::pair{kDZoneY, settings.dZoneY},
        std::pair{kBeep, settings.beep}, std::pair{kFreq, settings.freq},
        std::pair{kDuration, settings.duration}}) {
    written = key.SetDword(name, value) && written;
  }
  return key.Close() && written;
}

bool CSettingsStore::SaveRight(std::int32_t right) {
  return WriteDword(kRight, right);
}

bool CSettingsStore::SaveTouchMode(std::int32_t touchMode) {
  return WriteDword(kTouchMode, touchMode);
}

bool CSettingsStore::SaveMapping(std::int32_t mapping) {
  return WriteDword(kMapping, mapping);
}

bool CSettingsStore::SaveHoldRight(std::int32_t milliseconds) {
  return WriteDword(kHoldRight, milliseconds);
}

bool CSettingsStore::SaveSmoothing(std::int32_t level) {
  return WriteDword(kSmoothing, level);
}

bool CSettingsStore::SaveOutput(std::int32_t output) {
  return WriteDword(kOutput, output);
}

bool CSettingsStore::SaveMonitor(const std::string& deviceName) {
  CRegistryKey key(m_registry);
  return key.Open(m_where.root, m_where.subKey, reg::kKeySetValue) &&
         key.SetString(kMonitor, deviceName.c_str()) && key.Close();
}

bool CSettingsStore::WriteDword(const char* name, std::int32_t value) {
  CRegistryKey key(m_registry);
  return key.Open(m_where.root, m_where.subKey, reg::kKeySetValue) && key.SetDword(name, value) &&
         key.Close();
}

}  // namespace zt::settings
