#include "settings/setup_changes.h"

#include <algorithm>
#include <limits>

namespace zt::setup {
namespace {

// A 64-bit result brought back into 32 bits, saturating.
std::int32_t Saturate(std::int64_t value) {
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(std::clamp(value, kMin, kMax));
}

}  // namespace

std::int32_t NextClickZone(std::int32_t zone) {
  if (zone < 0 || zone >= kClickZoneCount - 1) {
    return 0;
  }
  return zone + 1;
}

std::int32_t ClickZoneExtent(std::int32_t zone) {
  return Saturate((static_cast<std::int64_t>(zone) + 1) * kClickZoneStep);
}

std::string ClickZoneCaption(std::int32_t zone) {
  return "Click Zone" + std::to_string(static_cast<std::int64_t>(zone) + 1);
}

TargetSize TestTargetSize(std::int32_t dZoneX, std::int32_t dZoneY, std::int32_t screenWidth,
                          std::int32_t screenHeight) {
  return {Saturate(std::int64_t{dZoneX} * screenWidth / kScreenScale),
          Saturate(std::int64_t{dZoneY} * screenHeight / kScreenScale)};
}

void ApplyClickZone(CTouchDriver& engine, std::int32_t zone) {
  const std::int32_t extent = ClickZoneExtent(zone);
  EngineSettings settings = engine.Settings();
  settings.dZone = zone;
  settings.dZoneX = extent;
  settings.dZoneY = extent;
  engine.ApplySettings(settings);
}

EngineSettings MouseSettingsToSave(const CTouchDriver& engine, const MousePageValues& page) {
  EngineSettings values = engine.Settings();
  values.beep = page.beep;
  values.freq = page.frequency;
  values.duration = page.duration;
  return values;
}

bool StoreMouseSettings(settings::CSettingsStore& store, const CTouchDriver& engine,
                        const MousePageValues& page) {
  return store.SaveMouseSettings(MouseSettingsToSave(engine, page));
}

namespace {

// Puts one changed value into effect in the engine, once it has been saved.
template <typename Change>
bool ApplyWhenSaved(bool saved, CTouchDriver& engine, Change change) {
  if (!saved) {
    return false;
  }
  EngineSettings settings = engine.Settings();
  change(settings);
  engine.ApplySettings(settings);
  return true;
}

}  // namespace

bool StoreTouchMode(settings::CSettingsStore& store, CTouchDriver& engine, std::int32_t touchMode) {
  return ApplyWhenSaved(store.SaveTouchMode(touchMode), engine,
                        [touchMode](EngineSettings& settings) { settings.touchMode = touchMode; });
}

bool StoreMonitor(settings::CSettingsStore& store, CTouchDriver& engine,
                  const std::string& deviceName) {
  return ApplyWhenSaved(store.SaveMonitor(deviceName), engine,
                        [&deviceName](EngineSettings& settings) { settings.monitor = deviceName; });
}

bool StoreMapping(settings::CSettingsStore& store, CTouchDriver& engine, std::int32_t mapping) {
  return ApplyWhenSaved(store.SaveMapping(mapping), engine,
                        [mapping](EngineSettings& settings) { settings.mapping = mapping; });
}

bool StoreHoldRight(settings::CSettingsStore& store, CTouchDriver& engine,
                    std::int32_t milliseconds) {
  return ApplyWhenSaved(
      store.SaveHoldRight(milliseconds), engine,
      [milliseconds](EngineSettings& settings) { settings.holdRight = milliseconds; });
}

bool StoreSmoothing(settings::CSettingsStore& store, CTouchDriver& engine, std::int32_t level) {
  return ApplyWhenSaved(store.SaveSmoothing(level), engine,
                        [level](EngineSettings& settings) { settings.smoothing = level; });
}

bool StoreOutput(settings::CSettingsStore& store, CTouchDriver& engine, std::int32_t output) {
  return ApplyWhenSaved(store.SaveOutput(output), engine,
                        [output](EngineSettings& settings) { settings.output = output; });
}

std::string MonitorLabel(int number, const MonitorInfo& monitor) {
  return std::to_string(number) + ": " + std::to_string(monitor.rect.Width()) + " x " +
         std::to_string(monitor.rect.Height()) + (monitor.primary ? ", primary" : "");
}

bool StoreRightButton(settings::CSettingsStore& store, CTouchHost& host, std::int32_t right) {
  if (!store.SaveRight(right)) {
    return false;
  }
  if (CTouchDriver* engine = host.Driver()) {
    engine->m_bRightEnabled.store(right);
  }
  host.m_nRight = right;
  return true;
}

}  // namespace zt::setup
