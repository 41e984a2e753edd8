// The settings key of the registry: where every setting is stored, under
// which name, and how it is read and written. Every load or save opens the
// existing key, reads or writes, and closes it again.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/engine_settings.h"
#include "mapping/calib_mapper.h"
#include "platform/registry.h"

namespace zt::settings {

// Where the settings live. Tests pass a key of their own.
struct KeyLocation {
  RegKeyHandle root;
  const char* subKey;
};

inline constexpr KeyLocation kSettingsKey{reg::kHkeyLocalMachine,
                                          "Software\\Corvantic\\ZeltraTouch"};

// Value names.
inline constexpr char kPort[] = "Port";
inline constexpr char kFirst[] = "First";
inline constexpr char kRight[] = "Right";
inline constexpr char kStartUpMode[] = "StartUpMode";
inline constexpr char kWindowTitle[] = "ZeltraTouch";
inline constexpr char kPointXPrefix[] = "PX";
inline constexpr char kPointYPrefix[] = "PY";
inline constexpr char kDTime[] = "DTime";
inline constexpr char kDZone[] = "DZONE";
inline constexpr char kDZoneX[] = "DZoneX";
inline constexpr char kDZoneY[] = "DZoneY";
inline constexpr char kBeep[] = "Beep";
inline constexpr char kFreq[] = "Freq";
inline constexpr char kDuration[] = "Duration";
inline constexpr char kTouchMode[] = "TouchMode";
inline constexpr char kReconnect[] = "Reconnect";
inline constexpr char kMonitor[] = "Monitor";
inline constexpr char kMapping[] = "Mapping";
inline constexpr char kHoldRight[] = "HoldRight";
inline constexpr char kHoldZone[] = "HoldZone";
inline constexpr char kSmoothing[] = "Smoothing";
inline constexpr char kOutput[] = "Output";
// When the calibration was stored, in Unix seconds (written with it).
inline constexpr char kCalibrationTime[] = "CalibrationTime";
// Where the health metrics are written; none: nowhere.
inline constexpr char kMetrics[] = "Metrics";
// When the last touch began, in Unix seconds: the unit's own record, kept
// across restarts (settings/last_touch_record.h), not a setting.
inline constexpr char kLastTouch[] = "LastTouch";
// The values stored as text; every other one is a number.
inline constexpr const char* kTextValueNames[] = {kPort, kWindowTitle, kMonitor, kMetrics};

inline constexpr char kDefaultWindowTitle[] = "TactivoV1.12 ";

// Text values are read into buffers of this size; a longer text (1024 or
// more characters) counts as absent, so it always fits with its NUL.
inline constexpr std::size_t kTextSize = CSerialConfig::kPortNameSize;

// A stored tone is brought into the range the tone generator accepts, so a
// bad value can neither be refused nor keep a beep thread for days.
inline constexpr std::int32_t kMinFreq = 37;
inline constexpr std::int32_t kMaxFreq = 32767;
inline constexpr std::int32_t kMaxDuration = 5000;

class CSettingsStore : public ISettingsSource {
public:
  // The registry the store reads, for the other keys of the system.
  IRegistry& Registry() const { return m_registry; }
  explicit CSettingsStore(IRegistry& registry, const KeyLocation& where = kSettingsKey);

  // Reads "Port", then "First", "Right" and "StartUpMode". True also when
  // the key cannot be opened.
  bool LoadHostSettings(HostSettings& settings) override;
  // Reads PX0, PY0 .. PX8, PY8 over the default points, then "DTime",
  // "DZONE", "DZoneX", "DZoneY", "Beep", "Freq", "Duration", "TouchMode".
  // False, with settings unchanged, when the key cannot be opened.
  bool LoadEngineSettings(EngineSettings& settings) override;
  // The main window's title: the stored "ZeltraTouch" text, the default
  // title when that is absent or too long, and empty when the key cannot be
  // opened. Returns whether the key could be opened.
  bool ReadWindowTitle(std::string& title);
  // Another text value of the key, such as a platform's own (the Linux
  // daemon's socket path): empty when it is absent, too long, or the key
  // cannot be opened.
  std::string ReadTextValue(const char* name);

  // Each save writes nothing when the key cannot be opened for writing, and
  // is true only when every value was written and the key closed well
  // (where the registry keeps what was set at the close, one save is one
  // write).
  bool SavePort(const char* port);
  // PX0, PY0 .. PX8, PY8, then "First" = 0 and "CalibrationTime" = now.
  bool StoreCalibration(const CalibPoints& points);
  // What a calibration keeps, in one save: its points (as StoreCalibration)
  // when given, its mapping when given, and the monitor it was taken on
  // when not empty.
  bool StoreCalibrationSet(const CalibPoints* points, const std::int32_t* mapping,
                           const std::string& monitor);
  // "DTime", "DZONE", "DZoneX", "DZoneY", "Beep", "Freq", "Duration", all
  // seven every time.
  bool SaveMouseSettings(const EngineSettings& settings);
  bool SaveRight(std::int32_t right);
  bool SaveTouchMode(std::int32_t touchMode);
  bool SaveMonitor(const std::string& deviceName);
  bool SaveMapping(std::int32_t mapping);
  bool SaveHoldRight(std::int32_t milliseconds);
  bool SaveSmoothing(std::int32_t level);
  bool SaveOutput(std::int32_t output);

  // When the calibration was stored (Unix seconds), as the last engine
  // settings load read it or the last calibration store wrote it; 0 when
  // not known.
  std::int64_t CalibrationStored() const { return m_calibrationStored.load(); }

private:
  // Opens the key for writing and writes one REG_DWORD.
  bool WriteDword(const char* name, std::int32_t value);

  IRegistry& m_registry;
  KeyLocation m_where;
  std::atomic<std::int64_t> m_calibrationStored{0};
};

}  // namespace zt::settings
