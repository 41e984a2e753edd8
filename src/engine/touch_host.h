#pragma once

#include <cstdint>
#include <memory>

#include "engine/engine_settings.h"
#include "engine/touch_driver.h"

namespace zt {

// Holds the start-up settings and owns at most one running engine, which it
// starts with the settings its source holds.
class CTouchHost {
public:
  CTouchHost(const EnginePlatform& platform, ISettingsSource& settings);
  CTouchHost(const CTouchHost&) = delete;
  CTouchHost& operator=(const CTouchHost&) = delete;
  virtual ~CTouchHost();

  // Stops any running engine and starts a new one on the stored port, with
  // notifyWindow receiving its notifications. The new engine opens the
  // port on its reader thread; one that does not open is waited for
  // (LinkState::kWaiting), or with "Reconnect" 0 left closed
  // (LinkState::kCantOpen). An empty port leaves a running engine alone.
  // On failure no engine remains. A finger left down by the engine
  // stopped before clicks nothing at its lift.
  bool StartDriver(WindowHandle notifyWindow);
  // Stops the running engine, if any, within CTouchDriver::kStopLimitMs
  // and the port's close limit, whatever its driver does: the engine is
  // destroyed, or left to end by itself when its reader is stuck in the
  // driver. Always true.
  bool StopDriver();
  // Reads "Port", "First", "Right" and "StartUpMode"; false only when the
  // key exists but "Port" cannot be read.
  bool LoadStartupSettings();
  // Loads the start-up settings and starts an engine with them (the port
  // Apply: the engine restarts even on the same port). When they cannot be
  // loaded no engine remains.
  bool ReloadAndStart(WindowHandle notifyWindow);
  // As ReloadAndStart, but an engine connected on the stored port takes
  // them in place (ApplyToConnectedDriver): settings pushed while a finger
  // may be down.
  bool ReloadAndApply(WindowHandle notifyWindow);
  // An engine connected on the stored port takes the stored settings in
  // place, as the setup sheet gives them: the port stays open, and a touch
  // in progress keeps its shape to its lift. False when there is no such
  // engine, or the settings cannot be read: it must be started anew.
  bool ApplyToConnectedDriver();

  IMonitors& Monitors() const { return m_platform.monitors; }
  const EnginePlatform& Platform() const { return m_platform; }
  // The running engine, or nullptr.
  CTouchDriver* Driver() const { return m_pDriver.get(); }
  // The running engine while its link is connected, or nullptr.
  CTouchDriver* ConnectedDriver() const;

  std::int32_t m_nStartUpMode = 0;
  std::int32_t m_nRight = 0;
  std::int32_t m_nFirst = 1;
  char m_szPort[CSerialConfig::kPortNameSize] = {};

private:
  // The stored engine settings over the defaults; a stored double-click
  // time becomes the desktop's.
  bool LoadEngineSettings(EngineSettings& settings);

  EnginePlatform m_platform;
  ISettingsSource& m_settings;
  std::unique_ptr<CTouchDriver> m_pDriver;
  // The last engine stopped with a finger down: the next one swallows that
  // finger's lift, as the stopped one would have.
  bool m_liftToSwallow = false;
};

}  // namespace zt
