#pragma once

#include <cstdint>
#include <memory>

#include "engine/touch_driver.h"
#include "settings/settings_schema.h"

namespace zt {

// Holds the start-up settings and owns at most one running engine.
class CTouchHost {
public:
  explicit CTouchHost(const EnginePlatform& platform);
  CTouchHost(const CTouchHost&) = delete;
  CTouchHost& operator=(const CTouchHost&) = delete;
  virtual ~CTouchHost();

  // Stops any running engine and starts a new one on the stored port, with
  // notifyWindow receiving its notifications. An empty port leaves a
  // running engine alone. On failure no engine remains.
  bool StartDriver(WindowHandle notifyWindow);
  // Stops the running engine, if any: clears its running flag, waits 100 ms
  // and destroys it. Always true.
  bool StopDriver();
  // Reads "Port", "First", "Right" and "StartUpMode"; false only when the
  // key exists but "Port" cannot be read.
  bool LoadStartupSettings();
  bool ReloadAndStart(WindowHandle notifyWindow);

  // The running engine, or nullptr.
  CTouchDriver* Driver() const { return m_pDriver.get(); }

  std::int32_t m_nStartUpMode = settings::kDefaultStartUpMode;
  std::int32_t m_nRight = settings::kDefaultRight;
  std::int32_t m_nFirst = settings::kDefaultFirst;
  char m_szPort[settings::kTextSize] = {};

private:
  EnginePlatform m_platform;
  std::unique_ptr<CTouchDriver> m_pDriver;
};

}  // namespace zt
