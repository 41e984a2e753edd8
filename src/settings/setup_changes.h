// What the setup pages do to the running engine and the registry. Every
// change takes effect in the engine and is saved in the same step; the
// pages themselves only read their controls and call these.
#pragma once

#include <cstdint>
#include <string>

#include "engine/touch_host.h"
#include "settings/settings_store.h"

namespace zt::setup {

// Click zones are numbered 0..3 and shown as "Click Zone1".."Click Zone4".
inline constexpr std::int32_t kClickZoneCount = 4;
// Each zone step widens the double-tap zone by this many absolute units.
inline constexpr std::int32_t kClickZoneStep = 100;
// The test target takes the zone's extent as 4096ths of the screen.
inline constexpr std::int64_t kScreenScale = 4096;

// The zone the zone button moves to: 0, 1, 2, 3, then 0 again. A value
// outside 0..3 (stored by hand) also goes to 0.
std::int32_t NextClickZone(std::int32_t zone);

// The zone's DZoneX and DZoneY: (zone + 1) x 100, held within 32 bits.
std::int32_t ClickZoneExtent(std::int32_t zone);

// "Click Zone%d" with zone + 1.
std::string ClickZoneCaption(std::int32_t zone);

struct TargetSize {
  std::int32_t width = 0;
  std::int32_t height = 0;
  bool operator==(const TargetSize&) const = default;
};

// The test target's size in pixels: DZoneX x cx / 4096 by DZoneY x cy / 4096,
// truncated toward zero.
TargetSize TestTargetSize(std::int32_t dZoneX, std::int32_t dZoneY, std::int32_t screenWidth,
                          std::int32_t screenHeight);

// Sets the engine's DZONE, DZoneX and DZoneY for zone; saves nothing.
void ApplyClickZone(CTouchDriver& engine, std::int32_t zone);

// What the mouse page adds to the engine's values when it saves.
struct MousePageValues {
  std::int32_t beep = 0;
  std::int32_t frequency = 0;
  std::int32_t duration = 0;
};

// The seven values of a mouse-page save: DTime and the zone from the
// engine, beep, frequency and duration from the page.
EngineSettings MouseSettingsToSave(const CTouchDriver& engine, const MousePageValues& page);

// Saves those seven values. True when they were written.
bool StoreMouseSettings(settings::CSettingsStore& store, const CTouchDriver& engine,
                        const MousePageValues& page);

// Saves "TouchMode" and, only when it was written,
// puts the engine in that mode. True when it did.
bool StoreTouchMode(settings::CSettingsStore& store, CTouchDriver& engine, std::int32_t touchMode);

// Saves "Monitor" and, only when it was written,
// sends the engine's touches to that monitor. True when it did.
bool StoreMonitor(settings::CSettingsStore& store, CTouchDriver& engine,
                  const std::string& deviceName);
// Saves "Mapping" and, only when it was written,
// maps the engine's touches that way. True when it did.
bool StoreMapping(settings::CSettingsStore& store, CTouchDriver& engine, std::int32_t mapping);
// Save "HoldRight" (the press-and-hold time) or "Smoothing" and, only when
// they were written, put it into effect. True when they were.
bool StoreHoldRight(settings::CSettingsStore& store, CTouchDriver& engine,
                    std::int32_t milliseconds);
bool StoreSmoothing(settings::CSettingsStore& store, CTouchDriver& engine, std::int32_t level);
// Saves "Output" and, only when it could, makes the engine's touches mouse or
// touch input (the mouse where the system has no touch injection).
bool StoreOutput(settings::CSettingsStore& store, CTouchDriver& engine, std::int32_t output);
// How the monitor list names a monitor: "2: 800 x 600", "1: 1024 x 768, primary".
std::string MonitorLabel(int number, const MonitorInfo& monitor);

// Saves "Right" and, only when it was written, makes
// it the host's "Right" and the running engine's m_bRightEnabled. True
// when it did; the caller then shows or hides the indicator.
bool StoreRightButton(settings::CSettingsStore& store, CTouchHost& host, std::int32_t right);

}  // namespace zt::setup
