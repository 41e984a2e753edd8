#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "calibration/calib_mapper.h"
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

// Defaults, in effect while a value is absent or unreadable.
inline constexpr std::int32_t kDefaultStartUpMode = 0;
inline constexpr std::int32_t kDefaultRight = 0;
inline constexpr std::int32_t kDefaultFirst = 1;
inline constexpr char kDefaultWindowTitle[] = "TactivoV1.12 ";
inline constexpr std::int32_t kDefaultDZone = 1;
inline constexpr std::int32_t kDefaultDZoneX = 1;
inline constexpr std::int32_t kDefaultDZoneY = 1;
inline constexpr std::int32_t kDefaultBeep = 0;
inline constexpr std::int32_t kDefaultFreq = 600;
inline constexpr std::int32_t kDefaultDuration = 600;
inline constexpr std::int32_t kDefaultTouchMode = 0;

// Text values are read into buffers of this size; a longer text (1024 or
// more characters) counts as absent, so it always fits with its NUL.
inline constexpr std::size_t kTextSize = 1024;

// The start-up settings the host keeps.
struct HostSettings {
  std::int32_t startUpMode = kDefaultStartUpMode;
  std::int32_t right = kDefaultRight;
  std::int32_t first = kDefaultFirst;
  char port[kTextSize] = {};
};

// The engine's stored settings. dTime has no stored default: the engine
// starts it from the system's double-click time.
struct EngineSettings {
  std::int32_t dTime = 0;
  std::int32_t dZone = kDefaultDZone;
  std::int32_t dZoneX = kDefaultDZoneX;
  std::int32_t dZoneY = kDefaultDZoneY;
  std::int32_t beep = kDefaultBeep;
  std::int32_t freq = kDefaultFreq;
  std::int32_t duration = kDefaultDuration;
  std::int32_t touchMode = kDefaultTouchMode;
};

// Receives a stored "DTime" so that it becomes the system double-click time.
using SetDoubleClickTimeFn = std::function<void(std::int32_t milliseconds)>;

// Reads "Port", then "First", "Right" and "StartUpMode". Values that cannot
// be read leave their field as it is. False only when the key opened and
// "Port" could not be read; true also when the key cannot be opened.
bool LoadHostSettings(IRegistry& registry, HostSettings& settings,
                      const KeyLocation& where = kSettingsKey);

// Resets the live mapper to the default calibration, then reads PX0, PY0 ..
// PX8, PY8 into it, then "DTime" (passed to setDoubleClickTime when present),
// "DZONE", "DZoneX", "DZoneY", "Beep", "Freq", "Duration", "TouchMode".
// settings holds the engine's current values on entry; absent values keep
// them. False when the key cannot be opened (the mapper then holds the
// defaults and settings is unchanged).
bool LoadEngineSettings(IRegistry& registry, EngineSettings& settings, CGridMapper& liveMapper,
                        const SetDoubleClickTimeFn& setDoubleClickTime,
                        const KeyLocation& where = kSettingsKey);

// The main window's title: the stored "ZeltraTouch" text, the default title
// when that is absent or too long, and empty when the key cannot be opened.
// Returns whether the key could be opened.
bool ReadWindowTitle(IRegistry& registry, std::string& title,
                     const KeyLocation& where = kSettingsKey);

// Each save opens the key for writing and writes nothing when that fails.

// True only when "Port" was written.
bool SavePort(IRegistry& registry, const char* port, const KeyLocation& where = kSettingsKey);
// PX0, PY0 .. PX8, PY8, then "First" = 0. True when the key could be opened.
bool StoreCalibration(IRegistry& registry, const CalibPoints& points,
                      const KeyLocation& where = kSettingsKey);
// "DTime", "DZONE", "DZoneX", "DZoneY", "Beep", "Freq", "Duration", all seven
// every time ("TouchMode" is not part of the mouse settings). True when the
// key could be opened.
bool SaveMouseSettings(IRegistry& registry, const EngineSettings& settings,
                       const KeyLocation& where = kSettingsKey);
// True when the key could be opened.
bool SaveRight(IRegistry& registry, std::int32_t right, const KeyLocation& where = kSettingsKey);
// True when the key could be opened.
bool SaveTouchMode(IRegistry& registry, std::int32_t touchMode,
                   const KeyLocation& where = kSettingsKey);

}  // namespace zt::settings
