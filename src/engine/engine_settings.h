// The settings the engine and the host run with, as plain values. Where they
// are stored is not the engine's business: it is handed them through
// ISettingsSource and applies them in one call.
#pragma once

#include <cstdint>
#include <string>

#include "engine/serial_port.h"
#include "mapping/calib_mapper.h"
#include "mapping/precise_mapper.h"

namespace zt {

// Touch modes; any other value behaves as Normal.
inline constexpr std::int32_t kTouchModeNormal = 0;
inline constexpr std::int32_t kTouchModeClickOnTouch = 1;
inline constexpr std::int32_t kTouchModeClickOnRelease = 2;

// The press-and-hold tolerance when none is stored: about 1 % of the touch
// monitor's width, in absolute mouse units (65 536 across the monitor).
inline constexpr std::int32_t kDefaultHoldZone = 655;

// Where touches go: mouse input, or touch input where the system has it.
inline constexpr std::int32_t kOutputMouse = 0;
inline constexpr std::int32_t kOutputTouch = 1;

// What every engine start loads. The defaults are in effect while a stored
// value is absent or unreadable. dTime starts as the desktop's double-click
// time; a stored one replaces it (and becomes the desktop's too).
struct EngineSettings {
  std::int32_t dTime = 0;
  std::int32_t dZone = 1;
  std::int32_t dZoneX = 1;
  std::int32_t dZoneY = 1;
  std::int32_t beep = 0;
  std::int32_t freq = 600;
  std::int32_t duration = 600;
  std::int32_t touchMode = kTouchModeNormal;
  CalibPoints points = kDefaultCalibPoints;
  std::int32_t reconnect = 1;  // 0: a lost link is not tried again
  std::string monitor;         // device name of the touch screen's monitor
  std::int32_t mapping = kMappingGrid;
  std::int32_t holdRight = 0;  // ms a resting touch takes to become a right click; 0: never
  std::int32_t holdZone = kDefaultHoldZone;
  std::int32_t smoothing = 0;  // 0 off, 1 light, 2 medium, 3 strong
  std::int32_t output = kOutputMouse;

  bool operator==(const EngineSettings&) const = default;
};

// What the host keeps from start-up: the port and three switches.
struct HostSettings {
  std::int32_t startUpMode = 0;
  std::int32_t right = 0;
  std::int32_t first = 1;
  char port[CSerialConfig::kPortNameSize] = {};
};

// Where the host gets its settings from (the registry, in the program).
class ISettingsSource {
public:
  virtual ~ISettingsSource() = default;
  // Values that cannot be read leave their field as it is. False only when
  // the port name could not be read from a store that exists.
  virtual bool LoadHostSettings(HostSettings& settings) = 0;
  // settings holds the values to keep for what is absent. False when the
  // store cannot be read at all.
  virtual bool LoadEngineSettings(EngineSettings& settings) = 0;
};

}  // namespace zt
