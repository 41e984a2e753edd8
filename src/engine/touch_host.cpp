#include "engine/touch_host.h"

#include <cstring>
#include <new>

namespace zt {

CTouchHost::CTouchHost(const EnginePlatform& platform) : m_platform(platform) {}

CTouchHost::~CTouchHost() {
  m_pDriver.reset();
}

bool CTouchHost::StartDriver(WindowHandle notifyWindow) {
  if (m_szPort[0] == '\0') {
    return false;
  }
  StopDriver();
  std::unique_ptr<CTouchDriver> driver(new (std::nothrow) CTouchDriver(m_platform));
  if (!driver || !driver->IsPortAvailable(m_szPort)) {
    return false;
  }
  CSerialConfig config;
  config.SetPortName(m_szPort);
  if (!driver->Open(config)) {
    return false;
  }
  driver->SetNotifyWindow(notifyWindow);
  driver->m_bRightEnabled.store(m_nRight);
  driver->SetTimeouts(1000, 1000);
  if (!driver->Start()) {
    return false;
  }
  m_pDriver = std::move(driver);
  return true;
}

bool CTouchHost::StopDriver() {
  if (!m_pDriver) {
    return true;
  }
  m_pDriver->RequestStop();
  m_platform.threads.Sleep(100);
  m_pDriver.reset();
  return true;
}

bool CTouchHost::LoadStartupSettings() {
  settings::HostSettings loaded;
  loaded.startUpMode = m_nStartUpMode;
  loaded.right = m_nRight;
  loaded.first = m_nFirst;
  std::memcpy(loaded.port, m_szPort, sizeof m_szPort);
  const bool ok = settings::LoadHostSettings(m_platform.registry, loaded);
  m_nStartUpMode = loaded.startUpMode;
  m_nRight = loaded.right;
  m_nFirst = loaded.first;
  std::memcpy(m_szPort, loaded.port, sizeof m_szPort);
  return ok;
}

bool CTouchHost::ReloadAndStart(WindowHandle notifyWindow) {
  LoadStartupSettings();
  return StartDriver(notifyWindow);
}

}  // namespace zt
